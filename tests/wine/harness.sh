# What the wine64 harnesses of tavirex.dll and its packages share.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
readonly CLSID='{F5AC7033-9A62-4F34-B236-150506C4F30C}'
readonly LIBID='{1BD4659E-F3F2-4ADB-B930-DB14CD710E0C}'
readonly IID_OBJECT='{135F58BB-E0BE-4DF1-BFD3-D5B9EDED4ACC}'
readonly IID_COLLECTION='{9B49AE0E-4C5D-4AF8-B21B-8AA052E54C5A}'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# parse_options "NAME..." ARGS: --NAME VALUE (with "-" for "_" in NAME) sets
# the variable NAME, empty otherwise; the arguments left are the cases[].
parse_options() {
  local allowed=" $1 " name
  shift
  for name in $allowed; do printf -v "$name" '%s' ''; done
  while [[ $# -gt 1 && "$1" == --* ]]; do
    name="${1#--}" && name="${name//-/_}"
    [[ "$allowed" == *" $name "* ]] || { echo "unknown option $1" >&2; exit 2; }
    printf -v "$name" '%s' "$2" && shift 2
  done
  cases=("$@")
}

# use_prefix DIR SECONDS: the prefix, and how long a Windows program may run
# (a message box nobody answers would block for ever).
use_prefix() {
  export WINEPREFIX="$1" TAVIREX_WINE_TIMEOUT="${TAVIREX_WINE_TIMEOUT:-$2}"
  drive="$WINEPREFIX/drive_c"
}

# One Wine session for all the cases of a run, from the prefix case to the end
# case (or ten minutes idle). Debian's wineserver keeps none once its programs
# end, and a program started while the last session was still shutting down,
# or the next one booting, now and then failed before it ran.
case_prefix() {
  "$root/scripts/wine-prefix" --fresh >/dev/null
  (source "$root/scripts/wine-env" && "$WINESERVER" -p600 </dev/null >/dev/null 2>&1)
  wine_run cmd /c exit >/dev/null || fail "the session did not start"
}
case_end() { (source "$root/scripts/wine-env" && "$WINESERVER" -k); }

# Runs a Windows program; prints its output without CRs and Wine's messages.
wine_run() { "$root/scripts/wine-run" "$@" 2>/dev/null | tr -d '\r'; }
windows() { printf 'Z:%s' "${1//\//\\}"; }

# windows_file NAME LINE...: C:\windows\NAME with CRLF lines; none without lines.
windows_file() {
  rm -f "$drive/windows/$1"
  if [[ $# -gt 1 ]]; then printf '%s\r\n' "${@:2}" >"$drive/windows/$1"; fi
}
# The host's INI, which creating the object reads (without it a message box
# would wait), and the equipment INI with the lines given.
write_inis() {
  windows_file praxo32.ini '[System]' 'PgmsDir=C:\TavirexHost\Programs' \
    'DataDir=C:\TavirexHost\Data\'
  windows_file PXEquip.ini "$@"
}

# (un)register [ARGS]: regsvr32 of $DLL_WIN, the Windows path of the DLL.
register() { wine_run regsvr32 /s "$@" "$DLL_WIN" || fail "regsvr32 $* $DLL_WIN: $?"; }
unregister() { wine_run regsvr32 /u /s "$@" "$DLL_WIN" || fail "regsvr32 /u $* $DLL_WIN: $?"; }

# Runs reg.exe commands in one wine process (a process start costs about a
# second); prints their output, then "done". A batch that died runs again.
reg_batch() {
  local output
  { printf '@echo off\r\n' && printf '%s\r\n' "$@" 'echo done'; } >"$drive/tavirex-reg.cmd"
  for _ in 1 2; do
    output="$(wine_run cmd /c 'C:\tavirex-reg.cmd' || true)"
    [[ "$output" != *done ]] || break
  done
  printf '%s\n' "$output"
}

server_keys=()
for base in HKCR 'HKCU\Software\Classes'; do
  server_keys+=("$base\\CLSID\\$CLSID" "$base\\Tavirex.clsTavirex" "$base\\Tavirex.clsTavirex.1"
    "$base\\TypeLib\\$LIBID" "$base\\Interface\\$IID_OBJECT" "$base\\Interface\\$IID_COLLECTION")
done

# registry_dump [/reg:32] [/reg:64] [KEY...]: every key ("key|") and value
# ("key|name|data") under the keys (the server's by default), sorted.
registry_dump() {
  local views=() commands=() key view
  while [[ "${1:-}" == /reg:* ]]; do views+=("$1") && shift; done
  [[ $# -gt 0 ]] || set -- "${server_keys[@]}"
  for view in "${views[@]:-}"; do
    for key in "$@"; do commands+=("reg query \"$key\" /s $view"); done
  done
  reg_batch "${commands[@]}" | awk -F'    ' '
    /^HKEY_/ { key = $0; print key "|"; next }
    NF >= 4 && $3 ~ /^REG_/ { print key "|" $2 "|" $4 }
    { last = $0 }
    END { if (last != "done") print "the registry could not be read|" }' | sort
}

# check_values WHAT [DUMP ARGS]: fails for each line on stdin not in the dump.
check_values() {
  local dump line
  dump="$(registry_dump "${@:2}")"
  while IFS= read -r line; do grep -qxF -- "$line" <<<"$dump" || fail "$1: missing $line"; done
}

# Fails for a key of the server left, the machine's or the user's, in a view.
check_nothing_registered() {
  local left
  left="$(registry_dump /reg:64 /reg:32 | cut -d'|' -f1 | sort -u | head -n 4)"
  [[ -z "$left" ]] || fail "$1: the registry keeps $left"
}

# run_client WHAT PROGRAM ARGS: output shown, kept in $output, and ending in
# "N passed, 0 failed", N > 0 (Wine's cscript exits 0 after a script died).
run_client() {
  local what="$1"
  shift && output="$(wine_run "$@" || true)"
  printf '%s\n' "$output" | sed "s/^/  $what: /"
  [[ "${output##*$'\n'}" =~ ^[1-9][0-9]*\ passed,\ 0\ failed$ ]] ||
    fail "$what: $* did not finish with all its checks passed"
}

# cscript WHAT SCRIPT ARGS: a VBScript client behind the shared checks.
cscript() {
  cat "$root/tests/wine/checks.vbs" "$here/$2" >"$drive/tavirex-client-$2"
  run_client "$1" cscript //nologo "C:\\tavirex-client-$2" "${@:3}"
}

# run_cases "NAME...": the cases of the command line, then the summary.
run_case() { "case_$1"; }
run_cases() {
  local name
  for name in "${cases[@]}"; do
    [[ " $1 " == *" $name "* ]] || { echo "unknown case $name" >&2; exit 2; }
    echo "== $name" && run_case "$name"
  done
  if [[ $failures -ne 0 ]]; then echo "$failures failure(s)" && exit 1; fi
  echo "all passed"
}
