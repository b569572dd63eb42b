// A fresh folder under the Windows temp folder, removed with its contents
// (read-only ones too). Names and paths are UTF-8, as the services take them.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <shellapi.h>

#include "hostenv/win32/text.h"

namespace tavirex::testing {

class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1];
    const std::string base = Utf8FromWide(std::wstring_view(temp, GetTempPathW(MAX_PATH, temp)));
    do {
      path_ = base + "tavirex_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(++counter);
    } while (!CreateDirectoryW(WideFromUtf8(path_).c_str(), nullptr));
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    const std::wstring from = WideFromUtf8(path_) + L'\0';  // a list of one
    SHFILEOPSTRUCTW remove = {};
    remove.wFunc = FO_DELETE;
    remove.pFrom = from.c_str();
    remove.fFlags = FOF_NO_UI;
    SHFileOperationW(&remove);
  }

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "\\" + std::string(name); }

  // Writes `bytes` to path()\name, replacing the file, and returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    std::ofstream(Native(name), std::ios::binary) << bytes;
    return *this / name;
  }
  std::string Read(std::string_view name) const {
    std::ifstream file(Native(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

 private:
  std::filesystem::path Native(std::string_view name) const { return WideFromUtf8(*this / name); }

  std::string path_;
};

}  // namespace tavirex::testing
