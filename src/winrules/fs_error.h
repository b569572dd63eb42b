// The VB error a failed file-system operation raises: what the scripting
// file-system object (and, when appending, VB's Open statement) gives for
// each condition. Each system sorts its own error codes (errno, the Win32
// error) into these conditions; the numbers are decided here only.
#pragma once

#include "winrules/vb_error.h"

namespace tavirex {

// What stopped the operation.
enum class FsCondition {
  kNotFound,      // nothing by that name; on POSIX also a missing folder on the way
  kPathNotFound,  // a folder on the way is missing, or the name is no folder
  kExists,        // what is to be created is there already
  kAccessDenied,  // read-only, a folder, no right to it (on POSIX also busy)
  kSharing,       // opened or locked by another program
  kWriteProtected,
  kDiskFull,
  kBadName,  // not a valid name, or too long
  kTooManyFiles,
  kOutOfMemory,
  kDeviceError,  // the medium failed to read or write
  kNotReady,     // no medium in the drive
  kNoDevice,     // no such drive or device
  kOther,
};

// What the operation was doing when it failed.
enum class FsOperation {
  kCreateFolder,
  kList,     // opening or reading a folder's entries
  kCopy,     // opening the file to copy (on Windows the whole copy)
  kReplace,  // creating a file in the place of another, or renaming it there
  kDelete,
  kAppend,        // opening a file as VB's Open For Append does
  kTransfer,      // reading or writing the data of an open file
  kChangeFolder,  // making a folder the current one
};

VbError FsFailure(FsCondition condition, FsOperation operation);

}  // namespace tavirex
