// What an administrator's tool does with files beyond the plug-in's own
// services: read a file whole with what the system says of it, write one
// anew, replace one keeping its owner and rights. Paths are native
// (Platform::NativePath). The portable part is admin_files.cpp; what differs
// by system is in posix/ and win32/. The DLL does not use it.
#pragma once

#include <string>

#include "hostenv/platform.h"

namespace tavirex {

// A file as read whole or not at all (an INI file that an administrator's
// tool edits).
struct FileState {
  enum class Kind { kMissing, kFile, kNotAFile, kUnreadable };
  Kind kind = Kind::kMissing;
  std::string bytes;       // the whole file, for kFile
  std::string why;         // what the system said, for kNotAFile and kUnreadable
  bool read_only = false;  // no write permission for anyone (the read-only attribute)
  bool writable = false;   // this user may open it for writing
};
FileState ReadFileState(const std::string& path);

// Creates `path` (new) with `bytes`, on the disk; "" when done, else what failed.
std::string WriteNewFile(Platform& platform, const std::string& path, const std::string& bytes);

// Renames `replacement` over `path`, keeping its mode and owner (Windows: its
// attributes and security); "" when done, else what failed.
std::string ReplaceKeeping(const std::string& replacement, const std::string& path);

// Whether every user of the machine may read what is in `folder` (native).
bool EveryoneCanRead(const std::string& folder);

}  // namespace tavirex
