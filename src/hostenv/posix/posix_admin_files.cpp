#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hostenv/admin_files.h"

namespace tavirex {

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

bool EveryoneCanRead(const std::string& folder) {
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && (info.st_mode & S_IROTH) && (info.st_mode & S_IXOTH);
}

}  // namespace tavirex
