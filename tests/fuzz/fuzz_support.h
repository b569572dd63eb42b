// Helpers shared by the fuzz targets: cutting the input into the parts a
// target needs, failing loudly on a broken property, and a platform whose
// profile file and folder listing are the fuzzed bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "hostenv/platform.h"
#include "review/image_list_view.h"
#include "winrules/ini_profile.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"
#include "winrules/vb_number.h"
#include "winrules/wildcard.h"

namespace tavirex::fuzz {

// The year a date without one falls in, fixed so that a run is repeatable.
inline constexpr int kFuzzYear = 2026;

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The first line of `input` (without its '\n'); `input` keeps the rest.
inline std::string_view TakeLine(std::string_view& input) {
  std::size_t end = input.find('\n');
  std::string_view line = input.substr(0, end);
  input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  return line;
}

// A property that must hold for every input: abort with the evidence, so that
// libFuzzer keeps the input and a corpus replay fails.
#define FUZZ_CHECK(condition, ...)                                                          \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                    \
      std::fputc('\n', stderr);                                                             \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

// A workstation with nothing but an equipment INI and one folder's names.
// Message boxes answer OK and are counted; the logs are counted, not kept;
// files cannot be copied or deleted; nothing starts and no window shows.
class FuzzPlatform : public Platform, public ImageListView {
 public:
  std::string equip_ini;
  std::vector<std::string> listed_names;
  int boxes = 0;
  int appends = 0;

  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& file) override {
    return file == "PXEquip.ini" ? ProfileLookupUtf8(equip_ini, section, key) : "";
  }
  std::string ProfileFilePath(const std::string& file) override { return file; }
  bool FolderExists(const std::string&) override { return false; }
  bool FileExists(const std::string&) override { return false; }
  void CreateFolder(const std::string&) override { throw VbError(vberr::kPathNotFound); }
  std::vector<std::string> FolderFileNames(const std::string&) override { return listed_names; }
  void CopyFile(const std::string&, const std::string&) override {
    throw VbError(vberr::kFileNotFound);
  }
  void FlushFile(const std::string&) override { throw VbError(vberr::kFileNotFound); }
  void DeleteFile(const std::string&) override { throw VbError(vberr::kFileNotFound); }
  void MoveReplacing(const std::string&, const std::string&) override {
    throw VbError(vberr::kFileNotFound);
  }
  void ListDirectory(const std::string& pattern,
                     const std::function<bool(const std::string&)>& visit) override {
    const std::string name_pattern = pattern.substr(pattern.rfind('\\') + 1);
    for (const std::string& name : listed_names) {
      if (WildcardMatch(name_pattern, name) && !visit(name)) return;
    }
  }
  void AppendToFile(const std::string&, std::string_view) override { ++appends; }
  std::string ModuleFolder() override { return "C:\\Tavirex"; }
  int MessageBox(const std::string&, int, const std::optional<std::string>&) override {
    ++boxes;
    return msgbox::kOk;
  }
  std::intptr_t ShellExecute(std::uintptr_t, const std::string&, const std::string&,
                             const std::string&, const std::string&, int) override {
    return shellexec::kFileNotFound;
  }
  void SetCurrentDirectory(const std::string&) override {}
  std::shared_ptr<void> ConnectHostServer(const std::string&, const std::string&,
                                          const std::string&) override {
    throw VbError(vberr::kCantCreateObject);
  }
  VbDate Now() override { return 46361.5; }  // 12/5/2026 12:00:00 PM
  std::string FormatGeneralDate(VbDate date) override { return UsFormatGeneralDate(date); }
  std::string FormatShortDate(VbDate date) override { return UsFormatShortDate(date); }
  std::string FormatTimeOfDay(VbDate date) override { return UsFormatLongTime(date); }
  std::string DateSeparator() override { return "/"; }
  std::optional<VbDate> ParseDate(std::string_view text) override {
    return UsParseDate(text, kFuzzYear);
  }
  std::int16_t CIntFromString(std::string_view text) override { return UsCIntFromString(text); }
  std::int32_t CLngFromString(std::string_view text) override { return UsCLngFromString(text); }
  void ShowModal(FrmImageFiles&) override {}
  void SetWaitCursor(bool) override {}
};

}  // namespace tavirex::fuzz
