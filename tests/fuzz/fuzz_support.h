// What the fuzz targets share: the input cut into parts, a property that
// fails loudly, and a workstation whose equipment INI and folder listing
// are the fuzzed bytes.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "error_of.h"
#include "fuzz_check.h"
#include "hostenv/forwarding_platform.h"
#include "hostenv/posix/posix_platform.h"
#include "plugin/image_list_view.h"
#include "winrules/ini_profile.h"
#include "winrules/vb_error.h"
#include "winrules/wildcard.h"

namespace tavirex::fuzz {

// The first line of `input` (without its '\n'); `input` keeps the rest.
inline std::string_view TakeLine(std::string_view& input) {
  const std::size_t end = std::min(input.find('\n'), input.size());
  const std::string_view line = input.substr(0, end);
  input.remove_prefix(std::min(end + 1, input.size()));
  return line;
}

// The error number of a failed step, 0 when it succeeds: a malformed text or
// list may raise 6 (Overflow) or 13 (Type mismatch), nothing else.
template <typename Step>
int SixOrThirteen(Step step) {
  const int number = testing::ErrorOf(step);
  FUZZ_CHECK(number == 0 || number == vberr::kOverflow || number == vberr::kTypeMismatch,
             "error %d", number);
  return number;
}

// The POSIX services on a drive C that is not there, so that nothing is
// found, made or copied; boxes answer OK and are counted, logs are dropped,
// no window shows.
struct MissingDrive {
  PosixPlatform posix{{"/nonexistent", "/nonexistent", {{'C', "/nonexistent"}}, false, {}}};
};

class FuzzPlatform final : MissingDrive, public ForwardingPlatform, public ImageListView {
 public:
  FuzzPlatform() : ForwardingPlatform(posix) {}

  std::string equip_ini;
  std::vector<std::string> listed_names;
  int boxes = 0;

  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& file) override {
    return file == "PXEquip.ini" ? ProfileLookupUtf8(equip_ini, section, key) : "";
  }
  void ListDirectory(const std::string& pattern,
                     const std::function<bool(const std::string&)>& visit) override {
    WildcardPattern names(pattern.substr(pattern.rfind('\\') + 1));
    for (const std::string& name : listed_names) {
      if (names.Matches(name) && !visit(name)) return;
    }
  }
  void AppendToFile(const std::string&, std::string_view) override {}
  int MessageBox(const std::string&, int, const std::optional<std::string>&) override {
    return ++boxes, msgbox::kOk;
  }
  void ShowModal(FrmImageFiles&) override {}
  void SetWaitCursor(bool) override {}
};

}  // namespace tavirex::fuzz
