#include "forwarder/store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "winrules/vb_string.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;
namespace {

// The names of a path split at any of separators; empty names and "." are
// left out, ".." is refused.
std::vector<std::string> PlainNames(const std::string& path, std::string_view separators,
                                    std::size_t start = 0) {
  std::vector<std::string> names;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find_first_of(separators, start), path.size());
    std::string name = path.substr(start, end - start);
    if (name == "..") throw Refused(path + ": \"..\" leaves the store folder");
    if (!name.empty() && name != ".") names.push_back(std::move(name));
    start = end + 1;
  }
  return names;
}

fs::path Join(const std::vector<std::string>& names, std::size_t from) {
  fs::path joined;
  for (std::size_t i = from; i < names.size(); ++i) joined /= names[i];
  return joined;
}

// What stands at name in folder, for a reason: a link, a pipe, nothing.
std::string WhatIsThere(int folder, const char* name, int open_error) {
  struct stat info {};
  if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return std::strerror(open_error);
  if (S_ISLNK(info.st_mode)) return "a symbolic link, which the forwarder does not follow";
  if (S_ISDIR(info.st_mode)) return "a folder";
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  return std::strerror(open_error);
}

Fd Open(const StorePath& place, bool folder) {
  Fd at(::open(place.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (at.get() < 0) {
    const int error = errno;
    const std::string why = place.root.string() + ": " + std::strerror(error);
    if (error == ENOENT) throw NotThere(why);
    throw Refused(why);
  }
  fs::path reached = place.root;
  const std::vector<std::string> names = PlainNames(place.below.string(), "/");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    // Not blocking: a pipe opens at once and is then refused.
    const int flags =
        O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (last && !folder ? 0 : O_DIRECTORY);
    reached /= names[i];
    Fd next(::openat(at.get(), names[i].c_str(), flags));
    if (next.get() < 0) {
      const int error = errno;
      const std::string why =
          reached.string() + ": " + WhatIsThere(at.get(), names[i].c_str(), error);
      if (error == ENOENT) throw NotThere(why);
      throw Refused(why);
    }
    at = std::move(next);
  }
  struct stat info {};
  if (::fstat(at.get(), &info) != 0 || !(folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode))) {
    throw Refused(reached.string() + (folder ? ": not a folder" : ": not a regular file"));
  }
  return at;
}

}  // namespace

std::optional<StorePath> MapStorePath(const Settings& settings, const std::string& path) {
  const std::pair<std::string, fs::path>* best = nullptr;
  std::vector<std::string> names;
  std::size_t below = 0;  // where the names below the root begin
  if (!path.empty() && path[0] == '/') {
    names = PlainNames(path, "/");
    for (const auto& entry : settings.paths) {
      const std::vector<std::string> root =
          PlainNames(entry.second.lexically_normal().string(), "/");
      if (root.size() <= names.size() && std::equal(root.begin(), root.end(), names.begin()) &&
          (best == nullptr || root.size() > below)) {
        best = &entry;
        below = root.size();
      }
    }
    if (best == nullptr) throw Refused(path + ": outside the store folders");
    return StorePath{best->second, Join(names, below)};
  }
  for (const auto& entry : settings.paths) {
    const std::string& prefix = entry.first;
    if (path.size() <= prefix.size() || (path[prefix.size()] != '\\' && path[prefix.size()] != '/'))
      continue;
    if (!EqualsIgnoreCaseAscii(std::string_view(path).substr(0, prefix.size()), prefix)) continue;
    if (best == nullptr || prefix.size() > best->first.size()) best = &entry;
  }
  if (best == nullptr) return std::nullopt;
  return StorePath{best->second, Join(PlainNames(path, "\\/", best->first.size()), 0)};
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

Fd OpenStoreFile(const StorePath& place) { return Open(place, false); }
Fd OpenStoreFolder(const StorePath& place) { return Open(place, true); }

std::vector<std::string> StoreFiles(const Fd& folder, std::vector<std::string>& skipped) {
  const int copy = ::dup(folder.get());  // closedir closes its own descriptor
  DIR* listing = copy < 0 ? nullptr : ::fdopendir(copy);
  if (listing == nullptr) {
    const int error = errno;
    if (copy >= 0) ::close(copy);
    throw Refused(std::string("the folder cannot be listed: ") + std::strerror(error));
  }
  ::rewinddir(listing);
  std::vector<std::string> files;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    struct stat info {};
    if (name == "." || name == ".." ||
        ::fstatat(folder.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISDIR(info.st_mode)) {
      continue;
    }
    if (S_ISREG(info.st_mode)) {
      files.push_back(name);
    } else {
      skipped.push_back(name + ": " +
                        (S_ISLNK(info.st_mode)
                             ? "a symbolic link, which the forwarder does not follow"
                             : "not a regular file"));
    }
  }
  ::closedir(listing);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace tavirex::dicom
