#include "tools/config/tool_platform.h"

namespace tavirex::config {

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
  return shellexec::kFileNotFound;  // nothing was started
}
void ToolPlatform::SetCurrentDirectory(const std::string&) {}
std::shared_ptr<void> ToolPlatform::ConnectHostServer(const std::string&, const std::string&,
                                                      const std::string&) {
  return std::make_shared<int>(0);
}

}  // namespace tavirex::config
