// A fresh folder under the Windows temp folder, removed with its contents.
// Names and paths are UTF-8, as the platform services take them.
#pragma once

#include <string>
#include <string_view>

namespace tavirex::testing {

class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::string& path() const { return path_; }
  // path() + "\" + name.
  std::string operator/(std::string_view name) const;

  // Writes `bytes` to path()\name, replacing the file, and returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const;
  std::string Read(std::string_view name) const;
  std::string MakeFolder(std::string_view name) const;

 private:
  std::string path_;
};

// Wine's ntdll exports wine_get_version; Windows' does not.
bool RunningUnderWine();

}  // namespace tavirex::testing
