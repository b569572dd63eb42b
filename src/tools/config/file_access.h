// The equipment INI as a file: read whole or not at all, and replaced so that
// neither the file nor a backup can be lost half-way. What differs between
// the systems is in file_access_posix.cpp and file_access_win32.cpp.
#pragma once

#include <string>

#include "hostenv/platform.h"

namespace tavirex::config {

struct FileState {
  enum class Kind { kMissing, kFile, kNotAFile, kUnreadable };
  Kind kind = Kind::kMissing;
  std::string bytes;       // the whole file, for kFile
  std::string why;         // what the system said, for kNotAFile and kUnreadable
  bool read_only = false;  // no write permission for anyone (the read-only attribute)
  bool writable = false;   // this user may open it for writing
};
FileState ReadFileState(const std::string& path);

// Creates `path`, which must not exist, with `bytes`, on the disk when it
// returns. "" when done, else what failed.
std::string WriteNewFile(Platform& platform, const std::string& path, const std::string& bytes);

// Renames `replacement` over `path` in one step; the file keeps the mode and
// owner (on Windows the attributes and security) that `path` had. "" when
// done, else what failed (`path` is then unchanged).
std::string ReplaceKeeping(const std::string& replacement, const std::string& path);

// A path of the workstation (C:\...) as this program opens it.
std::string NativePath(Platform& platform, const std::string& windows_path);

// Whether every user of the machine may read what is in `folder` (native).
bool EveryoneCanRead(const std::string& folder);

// Seconds since the epoch at which `file` (native) was last written.
long long ModifiedTime(const std::string& file);

}  // namespace tavirex::config
