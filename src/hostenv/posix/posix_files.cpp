// The scripting runtime's file-system operations on the local file system.
#include "hostenv/posix/posix_platform.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

#include "hostenv/posix/native_files.h"
#include "winrules/ansi_text.h"
#include "winrules/fs_error.h"
#include "winrules/vb_error.h"
#include "winrules/wildcard.h"

namespace tavirex {

using namespace posix;

namespace {

FsCondition ConditionOf(int error) {
  switch (error) {
    case ENOENT:
      return FsCondition::kNotFound;
    case ENOTDIR:
      return FsCondition::kPathNotFound;
    case EEXIST:
      return FsCondition::kExists;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EBUSY:
    case ETXTBSY:
      return FsCondition::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FsCondition::kDiskFull;
    case ENAMETOOLONG:
    case ELOOP:
      return FsCondition::kBadName;
    case EMFILE:
    case ENFILE:
      return FsCondition::kTooManyFiles;
    case ENOMEM:
      return FsCondition::kOutOfMemory;
    case EIO:
      return FsCondition::kDeviceError;
    default:
      return FsCondition::kOther;
  }
}

VbError FileError(int error, FsOperation operation) {
  return FsFailure(ConditionOf(error), operation);
}

bool HasWriteBit(mode_t mode) { return (mode & 0222) != 0; }

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError(errno, FsOperation::kTransfer);
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// Copies what is left of `in` to `out`: in the kernel (copy_file_range)
// while the file system allows it, else through a buffer. The writeback of
// each chunk starts as soon as it is written, so that the disk writes while
// the next chunk is copied and the fsync that follows waits for little more
// than the last chunk.
void CopyBytes(int in, int out) {
  constexpr std::size_t kChunk = 1 << 20;
  std::vector<char> buffer;  // only when the kernel cannot copy
  bool in_kernel = true;
  off_t written = 0;
  while (true) {
    ssize_t n;
    if (in_kernel) {
      n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
      // Refused for this pair (another file system, an old kernel, a
      // syscall filter), or 0 from a file whose size its file system does
      // not tell (procfs): the buffer goes on from where the kernel
      // stopped, and meets a real error again.
      if (n <= 0 && !(n < 0 && errno == EINTR)) {
        in_kernel = false;
        buffer.resize(1 << 16);
        continue;
      }
    } else {
      n = ::read(in, buffer.data(), buffer.size());
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError(errno, FsOperation::kTransfer);
    if (n == 0) return;
    if (!in_kernel) WriteAll(out, buffer.data(), static_cast<std::size_t>(n));
    // Only a hint: fsync still decides whether the copy is on disk.
    ::sync_file_range(out, written, n, SYNC_FILE_RANGE_WRITE);
    written += n;
  }
}

bool IsEntryRegularFile(DIR* dir, const dirent* entry) {
#ifdef _DIRENT_HAVE_D_TYPE
  if (entry->d_type == DT_REG) return true;
  if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
#endif
  struct stat info;  // a link counts as what it points to
  return ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Makes a rename in `path`'s folder reach the disk.
void SyncFolderOf(const std::string& path) {
  Fd folder(::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
}

}  // namespace

bool PosixPlatform::FolderExists(const std::string& path) { return IsFolder(ToNativePath(path)); }

bool PosixPlatform::FileExists(const std::string& path) {
  struct stat info;
  return StatPath(ToNativePath(path), info) && S_ISREG(info.st_mode);
}

void PosixPlatform::CreateFolder(const std::string& path) {
  std::string native = ToNativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) throw FsFailure(FsCondition::kPathNotFound, FsOperation::kCreateFolder);
  if (::mkdir(native.c_str(), 0777) != 0) throw FileError(errno, FsOperation::kCreateFolder);
}

std::vector<std::string> PosixPlatform::FolderFileNames(const std::string& folder) {
  Dir dir(ToNativePath(folder));
  if (dir.get() == nullptr) throw FileError(errno, FsOperation::kList);
  std::vector<std::string> names;
  while (true) {
    errno = 0;
    dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) throw FileError(errno, FsOperation::kTransfer);
      return names;
    }
    if (IsEntryRegularFile(dir.get(), entry)) names.emplace_back(entry->d_name);
  }
}

void PosixPlatform::CopyFile(const std::string& source, const std::string& destination) {
  const std::string from = ToNativePath(source);
  const std::string to = ToNativePath(destination);
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) throw FileError(errno, FsOperation::kCopy);
  struct stat source_info;
  if (::fstat(in.get(), &source_info) != 0) throw FileError(errno, FsOperation::kCopy);
  if (!S_ISREG(source_info.st_mode)) throw FsFailure(FsCondition::kNotFound, FsOperation::kCopy);

  // A read-only destination stays, whoever runs this (root may write it).
  struct stat target_info;
  if (StatPath(to, target_info)) {
    if (S_ISDIR(target_info.st_mode) || !HasWriteBit(target_info.st_mode)) {
      throw FsFailure(FsCondition::kAccessDenied, FsOperation::kReplace);
    }
  }

  // The copy is written beside the destination under a hidden name and takes
  // its place only when complete and on disk, so a failed copy never leaves a
  // partial file under the destination name.
  std::string temp =
      JoinNative(ParentFolder(to), "." + BaseName(to).substr(0, 200) + ".copy-XXXXXX");
  Fd out(::mkostemp(temp.data(), O_CLOEXEC));
  if (!out.valid()) throw FileError(errno, FsOperation::kReplace);
  struct TempFile {
    const std::string& path;
    bool keep = false;
    ~TempFile() {
      if (!keep) ::unlink(path.c_str());
    }
  } temp_file{temp};

  CopyBytes(in.get(), out.get());
  // Windows keeps the read-only attribute on a copy.
  mode_t mode = HasWriteBit(source_info.st_mode) ? 0644 : 0444;
  if (::fchmod(out.get(), mode) != 0 || ::fsync(out.get()) != 0 || out.Close() != 0) {
    throw FileError(errno, FsOperation::kTransfer);
  }
  if (::rename(temp.c_str(), to.c_str()) != 0) throw FileError(errno, FsOperation::kReplace);
  temp_file.keep = true;
}

void PosixPlatform::FlushFile(const std::string& path) {
  const std::string native = ToNativePath(path);
  Fd file(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) throw FileError(native.empty() ? ENOENT : errno, FsOperation::kCopy);
  // A copy's bytes are on disk already (CopyFile syncs before its rename):
  // this costs little more than its name in the folder.
  if (::fsync(file.get()) != 0) throw FileError(errno, FsOperation::kTransfer);
  SyncFolderOf(native);
}

void PosixPlatform::DeleteFile(const std::string& path) {
  const std::string native = ToNativePath(path);
  struct stat info;
  if (native.empty() || ::lstat(native.c_str(), &info) != 0) {
    throw FileError(native.empty() ? ENOENT : errno, FsOperation::kDelete);
  }
  if (S_ISDIR(info.st_mode)) throw FsFailure(FsCondition::kNotFound, FsOperation::kDelete);
  if (S_ISREG(info.st_mode) && !HasWriteBit(info.st_mode)) {
    throw FsFailure(FsCondition::kAccessDenied, FsOperation::kDelete);
  }
  if (::unlink(native.c_str()) != 0) throw FileError(errno, FsOperation::kDelete);
}

void PosixPlatform::MoveReplacing(const std::string& source, const std::string& destination) {
  const std::string to = ToNativePath(destination);
  if (::rename(ToNativePath(source).c_str(), to.c_str()) != 0) {
    throw FileError(errno, FsOperation::kReplace);
  }
  SyncFolderOf(to);
}

void PosixPlatform::MoveFile(const std::string& source, const std::string& destination) {
  const std::string to = ToNativePath(destination);
  if (::renameat2(AT_FDCWD, ToNativePath(source).c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) !=
      0) {
    throw FileError(errno, FsOperation::kReplace);
  }
  SyncFolderOf(to);
}

void PosixPlatform::ListDirectory(const std::string& pattern,
                                  const std::function<bool(const std::string& name)>& visit) {
  const std::string native = ToNativePath(pattern);
  std::size_t slash = native.rfind('/');
  std::string folder = slash == std::string::npos ? "." : native.substr(0, slash);
  if (folder.empty()) folder = "/";
  std::string name_pattern = slash == std::string::npos ? native : native.substr(slash + 1);
  if (name_pattern.empty()) name_pattern = "*";

  Dir dir(folder);
  if (dir.get() == nullptr) return;
  // A store folder holds many patients' files and the pattern picks one
  // patient's: names are only tested until a match, with nothing allocated.
  WildcardPattern matcher(name_pattern);
  std::string name;
  while (dirent* entry = ::readdir(dir.get())) {
    const std::string_view entry_name = entry->d_name;
    if (entry_name.front() == '.') continue;  // hidden, and "." and ".."
    if (!matcher.Matches(entry_name)) continue;
    name.assign(entry_name);
    if (!visit(name)) return;
  }
}

void PosixPlatform::AppendToFile(const std::string& path, std::string_view text) {
  const std::string native = ToNativePath(path);
  struct stat info;
  if (StatPath(native, info) && S_ISREG(info.st_mode) && !HasWriteBit(info.st_mode)) {
    throw FsFailure(FsCondition::kAccessDenied, FsOperation::kAppend);
  }
  Fd fd(::open(native.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.valid()) throw FileError(native.empty() ? ENOENT : errno, FsOperation::kAppend);
  // The bytes of a Western workstation, as the profile files are read.
  const std::string bytes = Cp1252FromUtf8(text);
  WriteAll(fd.get(), bytes.data(), bytes.size());
  if (fd.Close() != 0) throw FileError(errno, FsOperation::kTransfer);
}

void PosixPlatform::SetCurrentDirectory(const std::string& folder) {
  std::string native = ToNativePath(folder);
  // Whatever the reason, as the missing folder it mostly is.
  if (native.empty() || ::chdir(native.c_str()) != 0) {
    throw FsFailure(FsCondition::kPathNotFound, FsOperation::kChangeFolder);
  }
}

}  // namespace tavirex
