// The equipment INI as a file: read whole or not at all, and replaced so that
// neither the file nor a backup can be lost half-way. Each system has its own
// implementation (file_access_posix.cpp, file_access_win32.cpp).
#pragma once

#include <string>

#include "hostenv/platform.h"

namespace tavirex::config {

struct FileState {
  enum class Kind { kMissing, kFile, kNotAFile, kUnreadable };
  Kind kind = Kind::kMissing;
  std::string bytes;  // the whole file, for kFile
  std::string why;    // what the system said, for kNotAFile and kUnreadable
  // Its read-only attribute (on POSIX: no write permission for anyone).
  bool read_only = false;
  // Whether this user may open it for writing (nothing is written).
  bool writable = false;
};
FileState ReadFileState(const std::string& path);

// Creates `path`, which must not exist, with `bytes`; returns once they are on
// the disk. "" when done, else what failed (nothing is left behind).
std::string WriteNewFile(const std::string& path, const std::string& bytes);

// Renames `replacement` over `path` in one step; the file keeps the mode and
// owner (on Windows the attributes and security) that `path` had. "" when
// done, else what failed (`path` is then unchanged).
std::string ReplaceKeeping(const std::string& replacement, const std::string& path);

// A folder of the workstation (a Windows path) as this program opens it.
std::string NativePath(Platform& platform, const std::string& windows_path);

// Whether every user of the machine may read what is in `folder` (a native
// path); false when the system cannot tell.
bool EveryoneCanRead(const std::string& folder);

// Seconds since the epoch at which `file` (a native path) was last written;
// 0 when unknown.
long long ModifiedTime(const std::string& file);

}  // namespace tavirex::config
