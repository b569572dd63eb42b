// The platform services as the configuration tool uses them: every service of
// the workstation's platform, except that the plug-in's message boxes are
// collected for the report instead of shown, and the host's server component
// is never created.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostenv/forwarding_platform.h"

namespace tavirex::config {

class ToolPlatform final : public ForwardingPlatform {
 public:
  explicit ToolPlatform(Platform& inner) : ForwardingPlatform(inner) {}

  struct Box {
    std::string title;
    std::string text;
  };
  const std::vector<Box>& boxes() const { return boxes_; }

  // Collected; answered OK, or No and Cancel where those are offered.
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override;
  // The tool starts nothing and leaves the current directory alone.
  std::intptr_t ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                             const std::string& file, const std::string& parameters,
                             const std::string& directory, int show_command) override;
  void SetCurrentDirectory(const std::string& folder) override;
  std::shared_ptr<void> ConnectHostServer(const std::string& component_class,
                                          const std::string& method,
                                          const std::string& server_name) override;

 private:
  std::vector<Box> boxes_;
};

}  // namespace tavirex::config
