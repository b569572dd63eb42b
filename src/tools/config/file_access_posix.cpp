#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hostenv/posix/posix_platform.h"
#include "tools/config/equipment_list.h"

namespace tavirex::config {

std::string ReplaceKeeping(const std::string& replacement, const std::string& path) {
  struct stat info {};
  const bool existed = stat(path.c_str(), &info) == 0;
  if (existed && (chmod(replacement.c_str(), info.st_mode & 07777) != 0 ||
                  ((info.st_uid != geteuid() || info.st_gid != getegid()) &&
                   chown(replacement.c_str(), info.st_uid, info.st_gid) != 0))) {
    return "cannot give the new file the mode and owner of " + path + ": " + std::strerror(errno);
  }
  if (!existed) chmod(replacement.c_str(), 0644);  // the plug-in reads it as every user
  if (std::rename(replacement.c_str(), path.c_str()) != 0) {
    return "cannot replace " + path + ": " + std::strerror(errno);
  }
  return "";
}

std::string NativePath(Platform& platform, const std::string& windows_path) {
  auto* posix = dynamic_cast<PosixPlatform*>(&platform);
  return posix == nullptr ? windows_path : posix->ToNativePath(windows_path);
}

bool EveryoneCanRead(const std::string& folder) {
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && (info.st_mode & S_IROTH) && (info.st_mode & S_IXOTH);
}

}  // namespace tavirex::config
