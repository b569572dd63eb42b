#include "tools/config/tool_platform.h"

namespace tavirex::config {

std::string ToolPlatform::ReadProfileString(const std::string& section, const std::string& key,
                                            const std::string& file) {
  return inner_.ReadProfileString(section, key, file);
}
bool ToolPlatform::FolderExists(const std::string& path) { return inner_.FolderExists(path); }
bool ToolPlatform::FileExists(const std::string& path) { return inner_.FileExists(path); }
void ToolPlatform::CreateFolder(const std::string& path) { inner_.CreateFolder(path); }
std::vector<std::string> ToolPlatform::FolderFileNames(const std::string& folder) {
  return inner_.FolderFileNames(folder);
}
void ToolPlatform::CopyFile(const std::string& source, const std::string& destination) {
  inner_.CopyFile(source, destination);
}
void ToolPlatform::DeleteFile(const std::string& path) { inner_.DeleteFile(path); }
void ToolPlatform::ListDirectory(const std::string& pattern,
                                 const std::function<bool(const std::string& name)>& visit) {
  inner_.ListDirectory(pattern, visit);
}
void ToolPlatform::AppendToFile(const std::string& path, std::string_view bytes) {
  inner_.AppendToFile(path, bytes);
}
std::string ToolPlatform::ModuleFolder() { return inner_.ModuleFolder(); }

int ToolPlatform::MessageBox(const std::string& text, int style,
                             const std::optional<std::string>& title) {
  boxes_.push_back({title.value_or(std::string(kDefaultAppTitle)), text});
  switch (style & 0xF) {
    case msgbox::kOkCancel:
      return msgbox::kCancel;
    case msgbox::kYesNo:
      return msgbox::kNo;
    default:
      return msgbox::kOk;
  }
}

std::intptr_t ToolPlatform::ShellExecute(std::uintptr_t, const std::string&, const std::string&,
                                         const std::string&, const std::string&, int) {
  return 2;  // as for a missing file: nothing was started
}
void ToolPlatform::SetCurrentDirectory(const std::string&) {}
std::shared_ptr<void> ToolPlatform::ConnectHostServer(const std::string&) {
  return std::make_shared<int>(0);
}

VbDate ToolPlatform::Now() { return inner_.Now(); }
std::string ToolPlatform::FormatGeneralDate(VbDate date) { return inner_.FormatGeneralDate(date); }
std::string ToolPlatform::FormatShortDate(VbDate date) { return inner_.FormatShortDate(date); }
std::string ToolPlatform::FormatTimeOfDay(VbDate date) { return inner_.FormatTimeOfDay(date); }
std::string ToolPlatform::DateSeparator() { return inner_.DateSeparator(); }
std::optional<VbDate> ToolPlatform::ParseDate(std::string_view text) {
  return inner_.ParseDate(text);
}
std::int16_t ToolPlatform::CIntFromString(std::string_view text) {
  return inner_.CIntFromString(text);
}
std::int32_t ToolPlatform::CLngFromString(std::string_view text) {
  return inner_.CLngFromString(text);
}

}  // namespace tavirex::config
