#include "winrules/fs_error.h"

namespace tavirex {

VbError FsFailure(FsCondition condition, FsOperation operation) {
  using enum FsCondition;
  switch (condition) {
    case kNotFound:
      // A missing name is the file itself where the operation opens one that
      // should be there, else a folder on the way to what it makes.
      switch (operation) {
        case FsOperation::kCopy:
        case FsOperation::kDelete:
        case FsOperation::kChangeFolder:
          return VbError(vberr::kFileNotFound);
        default:
          return VbError(vberr::kPathNotFound);
      }
    case kPathNotFound:
      return VbError(vberr::kPathNotFound);
    case kExists:
      return VbError(vberr::kFileAlreadyExists);
    case kAccessDenied:
      // The Open statement calls a read-only file or a folder 75 where the
      // file-system object says 70.
      return VbError(operation == FsOperation::kAppend ? vberr::kPathFileAccessError
                                                       : vberr::kPermissionDenied);
    case kSharing:
    case kWriteProtected:
      return VbError(vberr::kPermissionDenied);
    case kDiskFull:
      return VbError(vberr::kDiskFull);
    case kBadName:
      return VbError(vberr::kBadFileNameOrNumber);
    case kTooManyFiles:
      return VbError(vberr::kTooManyFiles);
    case kOutOfMemory:
      return VbError(vberr::kOutOfMemory);
    case kDeviceError:
      return VbError(vberr::kDeviceIoError);
    case kNotReady:
      return VbError(vberr::kDiskNotReady);
    case kNoDevice:
      return VbError(vberr::kDeviceUnavailable);
    case kOther:
      break;
  }
  return VbError(operation == FsOperation::kTransfer ? vberr::kDeviceIoError
                                                     : vberr::kPathFileAccessError);
}

}  // namespace tavirex
