// The POSIX services set up (the drive map, the module's folder and the
// environment that configures them), and the workstation's clock and its
// regional formats: United States English.
#include "hostenv/posix/posix_platform.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "hostenv/posix/native_files.h"
#include "hostenv/system.h"
#include "winrules/vb_date.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"

namespace tavirex {

std::string ModuleFilePath() {
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return "";
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::unique_ptr<Platform> MakeSystemPlatform(bool interactive) {
  PosixPlatformOptions options = PosixPlatform::OptionsFromEnvironment();
  options.interactive = interactive;
  return std::make_unique<PosixPlatform>(std::move(options));
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

const SystemNotes& SystemPlatformNotes() {
  static const SystemNotes notes = {
      "Environment: TAVIREX_WINDOWS_DIR (folder of PXEquip.ini and praxo32.ini),\n"
      "  TAVIREX_MODULE_DIR (folder of the log files), TAVIREX_DRIVE_C (the folder that\n"
      "  stands for C:\\, any drive letter A-Z), TAVIREX_MSGBOX_ANSWERS (scripted answers\n"
      "  to message boxes: 1 OK, 2 Cancel, 6 Yes, 7 No, comma-separated),\n"
      "  TAVIREX_WINDOW_KEYS (scripted keys of the image list window, comma-separated:\n"
      "  1-5 sort by that column, o N open row N, x Exit), TAVIREX_OPEN_COMMAND (the\n"
      "  program that opens image files).\n"
      "Give Windows paths in single quotes: 'C:\\Praxo\\Images\\OCT'.\n",
      ""};
  return notes;
}

PosixPlatform::PosixPlatform(PosixPlatformOptions options) : options_(std::move(options)) {
  std::map<char, std::string> roots;
  for (const auto& [letter, root] : options_.drive_roots) {
    roots[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = root;
  }
  options_.drive_roots = std::move(roots);
  if (options_.windows_dir.empty()) options_.windows_dir = ToNativePath("C:\\windows");
  if (options_.module_dir.empty()) {
    const std::string program = ModuleFilePath();
    options_.module_dir = program.empty() ? "." : posix::ParentFolder(program);
  }
  answers_.assign(options_.message_box_answers.begin(), options_.message_box_answers.end());
}

PosixPlatformOptions PosixPlatform::OptionsFromEnvironment() {
  PosixPlatformOptions options;
  if (const char* value = std::getenv("TAVIREX_WINDOWS_DIR")) options.windows_dir = value;
  if (const char* value = std::getenv("TAVIREX_MODULE_DIR")) options.module_dir = value;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string name = std::string("TAVIREX_DRIVE_") + letter;
    if (const char* value = std::getenv(name.c_str())) options.drive_roots[letter] = value;
  }
  if (const char* value = std::getenv("TAVIREX_MSGBOX_ANSWERS")) {
    for (const std::string& field : Split(value, ',')) {
      char* end = nullptr;
      long answer = std::strtol(field.c_str(), &end, 10);
      if (end != field.c_str()) options.message_box_answers.push_back(static_cast<int>(answer));
    }
  }
  return options;
}

std::string PosixPlatform::ToNativePath(const std::string& windows_path) const {
  std::string path = windows_path;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
    return path;
  }
  char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  auto found = options_.drive_roots.find(drive);
  std::string root = found != options_.drive_roots.end() ? found->second : "/";
  while (!root.empty() && root.back() == '/') root.pop_back();
  std::string rest = path.substr(2);
  if (rest.empty()) return root.empty() ? "/" : root;
  if (rest.front() != '/') rest.insert(0, "/");
  return root + rest;
}

std::string PosixPlatform::ModuleFolder() { return options_.module_dir; }

VbDate PosixPlatform::Now() {
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  ::localtime_r(&now, &local);
  CivilDateTime civil;
  civil.year = local.tm_year + 1900;
  civil.month = local.tm_mon + 1;
  civil.day = local.tm_mday;
  civil.hour = local.tm_hour;
  civil.minute = local.tm_min;
  civil.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return FromCivil(civil);
}

std::string PosixPlatform::FormatGeneralDate(VbDate date) { return UsFormatGeneralDate(date); }
std::string PosixPlatform::FormatShortDate(VbDate date) { return UsFormatShortDate(date); }
std::string PosixPlatform::FormatTimeOfDay(VbDate date) { return UsFormatLongTime(date); }
std::string PosixPlatform::DateSeparator() { return "/"; }
std::optional<VbDate> PosixPlatform::ParseDate(std::string_view text) { return UsParseDate(text); }
std::int16_t PosixPlatform::CIntFromString(std::string_view text) { return UsCIntFromString(text); }
std::int32_t PosixPlatform::CLngFromString(std::string_view text) { return UsCLngFromString(text); }

}  // namespace tavirex
