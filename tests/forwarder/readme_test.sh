#!/usr/bin/env bash
# The README's "An Orthanc to copy" as written, on a scratch root, the share a
# local folder; apt-get, useradd, mount, editor and systemctl stand-ins check
# what the real ones need.   readme_test.sh README.md TAVIREX-DICOM UNIT
set -euo pipefail
readme=$1 program=$2 unit=$3
root=$(mktemp -d) && trap 'rm -rf "$root"' EXIT
mkdir -p "$root/fake" "$root/bin" "$root/etc/systemd/system"
block() { # the first code block of a kind after the paragraph that starts with $2
  awk -v kind="$1" -v after="$2" 'index($0, after) == 1 { on = 1 } inside && $0 == "```" { exit }
    inside; on && $0 == "```" kind { inside = 1 }' "$readme"
}
here() { sed "s#/etc/#$root/etc/#g; s#/srv/#$root/srv/#g; s#/usr/local/bin/#$root/bin/#g; s#/var/lib/#$root/var/lib/#g"; }
block ini '**The settings file**' | here >"$root/settings"
block sh '**An Orthanc to copy.**' | here |
  sed "s#build/linux/src/forwarder/tavirex-dicom#$program#; s#src/forwarder/tavirex-dicom.service#$unit#" >"$root/steps"
fake() { printf '#!/usr/bin/env bash\nset -eu\nroot=%s\n%s\n' "$root" "$2" >"$root/fake/$1" && chmod +x "$root/fake/$1"; }
fake useradd 'echo "${@: -1}" >>"$root/users"'
fake mount 'user=$(grep -o "uid=[^,]*" <<<"$*" | cut -d= -f2)
grep -qx "$user" "$root/users" 2>/dev/null || { echo "mount: no user $user yet" >&2; exit 1; }
[[ -d $4 ]]'
fake editor 'cp "$root/settings" "$1"' && ln -s /bin/true "$root/fake/apt-get"
fake systemctl '[[ $1 == enable ]] || exit 0
unit=$root/etc/systemd/system/$3.service
outbox=$(sed -n "s/^outbox = //p" "$root/etc/tavirex-dicom.conf")
grep -qx "ReadWritePaths=${outbox#$root}" "$unit" || { echo "systemctl: ReadWritePaths= is not ${outbox#$root}" >&2; exit 1; }
sed "s#/usr/local/bin/#$root/bin/#; s#/etc/#$root/etc/#" "$unit" >"$root/check.service"
systemd-analyze verify "$root/check.service"
$(sed -n "s/^ExecStart=//p" "$root/check.service") --once'
TAVIREX_DICOM_CONFIG=$root/etc/tavirex-dicom.conf PATH="$root/fake:$root/bin:$PATH" bash -euo pipefail "$root/steps"
