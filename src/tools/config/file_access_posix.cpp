#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hostenv/posix/posix_platform.h"
#include "tools/config/file_access.h"

namespace tavirex::config {
namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

FileState ReadFileState(const std::string& path) {
  FileState state;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) state = {FileState::Kind::kUnreadable, "", std::strerror(errno)};
    return state;
  }
  if (!S_ISREG(info.st_mode)) {
    state.kind = FileState::Kind::kNotAFile;
    state.why = S_ISDIR(info.st_mode) ? "a folder" : "not a regular file";
    return state;
  }
  state.read_only = (info.st_mode & 0222) == 0;
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return {FileState::Kind::kUnreadable, "", std::strerror(errno)};
  char buffer[65536];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) state.bytes.append(buffer, got);
  const int read_errno = errno;
  close(fd);
  if (got < 0) return {FileState::Kind::kUnreadable, "", std::strerror(read_errno)};
  state.kind = FileState::Kind::kFile;
  state.writable = access(path.c_str(), W_OK) == 0;
  return state;
}

std::string WriteNewFile(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return SystemError("cannot create " + path);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) break;
    done += static_cast<std::size_t>(wrote);
  }
  if (done == bytes.size() && fsync(fd) == 0 && close(fd) == 0) return "";
  std::string error = SystemError("cannot write " + path);
  close(fd);
  unlink(path.c_str());
  return error;
}

std::string ReplaceKeeping(const std::string& replacement, const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (chmod(replacement.c_str(), info.st_mode & 07777) != 0) {
      return SystemError("cannot give " + replacement + " the mode of " + path);
    }
    if ((info.st_uid != geteuid() || info.st_gid != getegid()) &&
        chown(replacement.c_str(), info.st_uid, info.st_gid) != 0) {
      return SystemError("cannot give " + replacement + " the owner of " + path);
    }
  }
  if (rename(replacement.c_str(), path.c_str()) != 0) {
    return SystemError("cannot replace " + path);
  }
  // The rename itself on the disk: the folder's entry.
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  if (const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY); fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return "";
}

std::string NativePath(Platform& platform, const std::string& windows_path) {
  if (auto* posix = dynamic_cast<PosixPlatform*>(&platform)) {
    return posix->ToNativePath(windows_path);
  }
  return windows_path;
}

bool EveryoneCanRead(const std::string& folder) {
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && (info.st_mode & S_IROTH) && (info.st_mode & S_IXOTH);
}

long long ModifiedTime(const std::string& file) {
  struct stat info {};
  return stat(file.c_str(), &info) == 0 ? static_cast<long long>(info.st_mtime) : 0;
}

}  // namespace tavirex::config
