#include "hostenv/admin_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "winrules/vb_error.h"

namespace tavirex {
namespace fs = std::filesystem;

FileState ReadFileState(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) {
    const bool missing = !error || error == std::errc::no_such_file_or_directory;
    return {missing ? FileState::Kind::kMissing : FileState::Kind::kUnreadable, "",
            error.message()};
  }
  if (!fs::is_regular_file(status)) {
    return {FileState::Kind::kNotAFile, "", fs::is_directory(status) ? "a folder" : "no file"};
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  if (!in || !(bytes << in.rdbuf() || in.peek() == EOF)) {
    return {FileState::Kind::kUnreadable, "", std::strerror(errno)};
  }
  constexpr fs::perms kWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  return {FileState::Kind::kFile, bytes.str(), "",
          (status.permissions() & kWrite) == fs::perms::none,
          std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).is_open()};
}

std::string WriteNewFile(Platform& platform, const std::string& path, const std::string& bytes) {
  if (fs::exists(path)) return "cannot create " + path + ": it exists";
  std::ofstream out(path, std::ios::binary);
  if (out && out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
    out.close();
    try {
      platform.FlushFile(path);
      return "";
    } catch (const VbError&) {
    }
  }
  const std::string why = "cannot write " + path + ": " + std::strerror(errno);
  std::error_code ignored;
  fs::remove(path, ignored);
  return why;
}

}  // namespace tavirex
