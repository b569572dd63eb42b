// A platform that hands every service to another one.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostenv/platform.h"

namespace tavirex {

// Forwards every service to another platform, so that a decorator overrides
// only the members it changes (the configuration tool's silent user, the
// tests' scripted user and failing disks).
class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& file) override {
    return inner_.ReadProfileString(section, key, file);
  }
  std::string ProfileFilePath(const std::string& file) override {
    return inner_.ProfileFilePath(file);
  }
  std::string NativePath(const std::string& path) override { return inner_.NativePath(path); }
  bool FolderExists(const std::string& path) override { return inner_.FolderExists(path); }
  bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
  void CreateFolder(const std::string& path) override { inner_.CreateFolder(path); }
  std::vector<std::string> FolderFileNames(const std::string& folder) override {
    return inner_.FolderFileNames(folder);
  }
  void CopyFile(const std::string& source, const std::string& destination) override {
    inner_.CopyFile(source, destination);
  }
  void FlushFile(const std::string& path) override { inner_.FlushFile(path); }
  void DeleteFile(const std::string& path) override { inner_.DeleteFile(path); }
  void MoveReplacing(const std::string& source, const std::string& destination) override {
    inner_.MoveReplacing(source, destination);
  }
  void MoveFile(const std::string& source, const std::string& destination) override {
    inner_.MoveFile(source, destination);
  }
  void ListDirectory(const std::string& pattern,
                     const std::function<bool(const std::string&)>& visit) override {
    inner_.ListDirectory(pattern, visit);
  }
  void AppendToFile(const std::string& path, std::string_view text) override {
    inner_.AppendToFile(path, text);
  }
  std::string ModuleFolder() override { return inner_.ModuleFolder(); }
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    return inner_.MessageBox(text, style, title);
  }
  std::intptr_t ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                             const std::string& file, const std::string& parameters,
                             const std::string& directory, int show_command) override {
    return inner_.ShellExecute(owner_window, verb, file, parameters, directory, show_command);
  }
  void SetCurrentDirectory(const std::string& folder) override {
    inner_.SetCurrentDirectory(folder);
  }
  std::shared_ptr<void> ConnectHostServer(const std::string& component_class,
                                          const std::string& method,
                                          const std::string& server_name) override {
    return inner_.ConnectHostServer(component_class, method, server_name);
  }
  VbDate Now() override { return inner_.Now(); }
  std::string FormatGeneralDate(VbDate date) override { return inner_.FormatGeneralDate(date); }
  std::string FormatShortDate(VbDate date) override { return inner_.FormatShortDate(date); }
  std::string FormatTimeOfDay(VbDate date) override { return inner_.FormatTimeOfDay(date); }
  std::string DateSeparator() override { return inner_.DateSeparator(); }
  std::optional<VbDate> ParseDate(std::string_view text) override { return inner_.ParseDate(text); }
  std::int16_t CIntFromString(std::string_view text) override {
    return inner_.CIntFromString(text);
  }
  std::int32_t CLngFromString(std::string_view text) override {
    return inner_.CLngFromString(text);
  }

 protected:
  Platform& inner_;
};

}  // namespace tavirex
