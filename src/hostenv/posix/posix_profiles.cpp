// The profile API reproduced: INI files read as Windows-1252, their names and
// those of their folders found whatever their case.
#include "hostenv/posix/posix_platform.h"

#include <fcntl.h>

#include <cerrno>

#include "hostenv/posix/native_files.h"
#include "hostenv/system.h"
#include "winrules/ansi_text.h"
#include "winrules/ini_profile.h"
#include "winrules/utf8.h"

namespace tavirex {

using namespace posix;

namespace {

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  bytes.clear();
  char buffer[65536];
  while (true) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

// `path` with each name that is missing as written taken as the entry of its
// folder that equals it without regard to case, as Windows finds files.
std::string FindIgnoringCase(const std::string& path) {
  struct stat info;
  const std::string parent = ParentFolder(path);
  if (parent == path || StatPath(path, info)) return path;
  const std::string folder = FindIgnoringCase(parent);
  const std::string name = BaseName(path);
  Dir dir(folder);
  while (dirent* entry = dir.get() == nullptr ? nullptr : ::readdir(dir.get())) {
    if (EqualsIgnoreCase(entry->d_name, name)) return JoinNative(folder, entry->d_name);
  }
  return folder == parent ? path : JoinNative(folder, name);
}

}  // namespace

// The reproduced profile API reads the files as Windows-1252.
std::string Utf8FromProfileBytes(std::string_view bytes) { return Utf8FromCp1252(bytes); }
std::string ProfileBytesFromUtf8(std::string_view text) { return Cp1252FromUtf8(text); }

std::string PosixPlatform::ReadProfileString(const std::string& section, const std::string& key,
                                             const std::string& file) {
  std::string bytes;
  if (!ReadWholeFile(ProfileFilePath(file), bytes)) return "";
  return ProfileLookupUtf8(bytes, section, key);
}

std::string PosixPlatform::ProfileFilePath(const std::string& file) {
  const std::string path = file.find_first_of("\\/") == std::string::npos
                               ? JoinNative(options_.windows_dir, file)
                               : ToNativePath(file);
  return FindIgnoringCase(path);
}

}  // namespace tavirex
