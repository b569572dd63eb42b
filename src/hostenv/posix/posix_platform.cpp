#include "hostenv/posix/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "hostenv/system.h"
#include "winrules/ansi_text.h"
#include "winrules/class_name.h"
#include "winrules/command_line.h"
#include "winrules/fs_error.h"
#include "winrules/ini_profile.h"
#include "winrules/utf8.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"
#include "winrules/wildcard.h"

namespace tavirex {
namespace {

// Any result above shellexec::kLastFailure: the program was started.
constexpr std::intptr_t kStarted = 42;

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

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now, reporting the error a delayed write may only show here.
  int Close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

class Dir {
 public:
  explicit Dir(const std::string& path) : dir_(::opendir(path.c_str())) {}
  ~Dir() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

bool StatPath(const std::string& path, struct stat& info) {
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return StatPath(path, info) && S_ISDIR(info.st_mode);
}

// The folder part of a native path: "." for a bare name, "/" for the root.
std::string ParentFolder(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinNative(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  bytes.clear();
  char buffer[65536];
  while (true) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

// The entry of the path's folder whose name equals the path's last part
// without regard to case, as Windows file names are found.
std::optional<std::string> FindIgnoringCase(const std::string& path) {
  std::string name = BaseName(path);
  std::string folder = ParentFolder(path);
  Dir dir(folder);
  if (dir.get() == nullptr) return std::nullopt;
  while (dirent* entry = ::readdir(dir.get())) {
    if (EqualsIgnoreCase(entry->d_name, name)) return JoinNative(folder, entry->d_name);
  }
  return std::nullopt;
}

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

// --- Message boxes ---------------------------------------------------------

struct ButtonSet {
  const char* label;
  std::array<std::pair<char, int>, 3> keys;  // first letter typed -> answer
  int closed_answer;                         // no answer given: Esc or Cancel
};

const ButtonSet& ButtonsOf(int style) {
  using namespace msgbox;
  static const std::array<ButtonSet, 6> kSets = {{
      {"[O]K", {{{'o', kOk}, {'\n', kOk}, {'\0', 0}}}, kOk},
      {"[O]K / [C]ancel", {{{'o', kOk}, {'c', kCancel}, {'\0', 0}}}, kCancel},
      {"[A]bort / [R]etry / [I]gnore", {{{'a', 3}, {'r', 4}, {'i', 5}}}, 3},
      {"[Y]es / [N]o / [C]ancel", {{{'y', kYes}, {'n', kNo}, {'c', kCancel}}}, kCancel},
      {"[Y]es / [N]o", {{{'y', kYes}, {'n', kNo}, {'\0', 0}}}, kNo},
      {"[R]etry / [C]ancel", {{{'r', 4}, {'c', kCancel}, {'\0', 0}}}, kCancel},
  }};
  int buttons = style & 0xF;
  return kSets[buttons < static_cast<int>(kSets.size()) ? buttons : 0];
}

const char* AnswerName(int answer) {
  switch (answer) {
    case 1:
      return "OK";
    case 2:
      return "Cancel";
    case 3:
      return "Abort";
    case 4:
      return "Retry";
    case 5:
      return "Ignore";
    case 6:
      return "Yes";
    case 7:
      return "No";
    default:
      return "?";
  }
}

const char* IconName(int style) {
  switch (style & 0xF0) {
    case 16:
      return "Stop: ";
    case 32:
      return "Question: ";
    case 48:
      return "Warning: ";
    case 64:
      return "Information: ";
    default:
      return "";
  }
}

// --- Launching programs ----------------------------------------------------

// Starts argv[0] with its arguments in `folder` (when not empty), detached:
// in a session of its own, not a child of this process, stdin from /dev/null.
// Returns 0 once the program runs, else the errno of the failed start.
int SpawnDetached(const std::vector<std::string>& arguments, const std::string& folder) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const char* work_dir = folder.empty() ? nullptr : folder.c_str();

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return errno;
  pid_t child = ::fork();
  if (child < 0) {
    int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return error;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    ::close(report[0]);
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild != 0) {
      if (grandchild < 0) {
        int error = errno;
        (void)!::write(report[1], &error, sizeof error);
      }
      ::_exit(0);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction fresh = {};
    fresh.sa_handler = SIG_DFL;
    for (int signal_number : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGCHLD}) {
      ::sigaction(signal_number, &fresh, nullptr);
    }
    int error = 0;
    if (work_dir != nullptr && ::chdir(work_dir) != 0) {
      error = errno;
    } else {
      int null_fd = ::open("/dev/null", O_RDONLY);
      if (null_fd >= 0 && null_fd != STDIN_FILENO) {
        ::dup2(null_fd, STDIN_FILENO);
        ::close(null_fd);
      }
#ifdef CLOSE_RANGE_CLOEXEC
      ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
      ::execv(argv[0], argv.data());
      error = errno;
    }
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return StatPath(path, info) && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0;
}

// `program` itself when it has a folder, else the first one on PATH; "" when
// there is none.
std::string FindProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : "";
  const char* path_variable = std::getenv("PATH");
  std::string search = path_variable != nullptr ? path_variable : "/usr/local/bin:/usr/bin:/bin";
  for (const std::string& folder : Split(search, ':')) {
    std::string candidate = JoinNative(folder.empty() ? "." : folder, program);
    if (IsExecutableFile(candidate)) return candidate;
  }
  return "";
}

// Runs a program to its end, without a shell, and returns what it wrote to
// its standard output; nullopt when it could not start or reported failure.
std::optional<std::string> OutputOf(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int output_pipe[2];
  if (::pipe2(output_pipe, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, output_pipe[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int error = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(output_pipe[1]);
  std::string output;
  if (error == 0) {
    char buffer[512];
    ssize_t n;
    while ((n = ::read(output_pipe[0], buffer, sizeof buffer)) != 0) {
      if (n < 0 && errno != EINTR) break;
      if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(output_pipe[0]);
  if (error != 0) return std::nullopt;
  int status = 0;
  pid_t waited;
  while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  // A host that ignores SIGCHLD leaves no status to see: the output counts.
  if (waited == child && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) return std::nullopt;
  return output;
}

// The text up to the first blank, line break or ';' ("image/jpeg; charset=binary").
std::string FirstWord(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find_first_of(" \t\r\n;", start) - start);
}

// Whether the desktop's MIME database names an application for the file's
// type, as the Windows shell looks up the association of a file's type.
bool HasDesktopAssociation(const std::string& native) {
  const std::string xdg_mime = FindProgram("xdg-mime");
  if (xdg_mime.empty()) return false;
  std::optional<std::string> type = OutputOf({xdg_mime, "query", "filetype", native});
  if (!type || FirstWord(*type).empty()) return false;
  std::optional<std::string> application =
      OutputOf({xdg_mime, "query", "default", FirstWord(*type)});
  return application && !FirstWord(*application).empty();
}

// The program that opens the document `native`, "" when no program is
// associated with its type: $TAVIREX_OPEN_COMMAND when set, the workstation's
// one viewer for every type, else xdg-open for the types the desktop
// associates with an application.
std::string DocumentOpener(const std::string& native) {
  const char* configured = std::getenv("TAVIREX_OPEN_COMMAND");
  if (configured != nullptr && *configured != '\0') return FindProgram(configured);
  std::string opener = FindProgram("xdg-open");
  return !opener.empty() && HasDesktopAssociation(native) ? opener : "";
}

// The shell starts a file as a program by its type, never by an execute bit
// (vfat, NTFS and CIFS mounts mark every file executable): the program types
// of Windows, and, as programs are named here, an executable file without any
// type. Everything else is a document.
bool IsProgramFile(const std::string& native, const struct stat& info) {
  if (!S_ISREG(info.st_mode)) return false;
  const std::string name = BaseName(native);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return (info.st_mode & 0111) != 0;
  const std::string_view type = std::string_view(name).substr(dot + 1);
  for (std::string_view program_type : {"exe", "com", "bat", "cmd"}) {
    if (EqualsIgnoreCaseAscii(type, program_type)) return true;
  }
  return false;
}

std::intptr_t ShellResultOfStartError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return shellexec::kFileNotFound;
    case ENOEXEC:
      return shellexec::kBadFormat;
    case ENOMEM:
    case E2BIG:
    case EAGAIN:
      return shellexec::kOutOfMemory;
    default:
      return shellexec::kAccessDenied;
  }
}

// Makes a rename in `path`'s folder reach the disk.
void SyncFolderOf(const std::string& path) {
  Fd folder(::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
}

}  // namespace

std::string ModuleFilePath() {
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return "";
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::unique_ptr<Platform> MakeSystemPlatform(bool interactive) {
  PosixPlatformOptions options = PosixPlatform::OptionsFromEnvironment();
  options.interactive = interactive;
  return std::make_unique<PosixPlatform>(std::move(options));
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

// The reproduced profile API reads the files as Windows-1252.
std::string Utf8FromProfileBytes(std::string_view bytes) { return Utf8FromCp1252(bytes); }
std::string ProfileBytesFromUtf8(std::string_view text) { return Cp1252FromUtf8(text); }

const SystemNotes& SystemPlatformNotes() {
  static const SystemNotes notes = {
      "Environment: TAVIREX_WINDOWS_DIR (folder of PXEquip.ini and praxo32.ini),\n"
      "  TAVIREX_MODULE_DIR (folder of the log files), TAVIREX_DRIVE_C (the folder that\n"
      "  stands for C:\\, any drive letter A-Z), TAVIREX_MSGBOX_ANSWERS (scripted answers\n"
      "  to message boxes: 1 OK, 2 Cancel, 6 Yes, 7 No, comma-separated),\n"
      "  TAVIREX_WINDOW_KEYS (scripted keys of the image list window, comma-separated:\n"
      "  1-5 sort by that column, o N open row N, x Exit), TAVIREX_OPEN_COMMAND (the\n"
      "  program that opens image files).\n"
      "Give Windows paths in single quotes: 'C:\\Praxo\\Images\\OCT'.\n",
      ""};
  return notes;
}

PosixPlatform::PosixPlatform(PosixPlatformOptions options) : options_(std::move(options)) {
  std::map<char, std::string> roots;
  for (const auto& [letter, root] : options_.drive_roots) {
    roots[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = root;
  }
  options_.drive_roots = std::move(roots);
  if (options_.windows_dir.empty()) options_.windows_dir = ToNativePath("C:\\windows");
  if (options_.module_dir.empty()) {
    const std::string program = ModuleFilePath();
    options_.module_dir = program.empty() ? "." : ParentFolder(program);
  }
  answers_.assign(options_.message_box_answers.begin(), options_.message_box_answers.end());
}

PosixPlatformOptions PosixPlatform::OptionsFromEnvironment() {
  PosixPlatformOptions options;
  if (const char* value = std::getenv("TAVIREX_WINDOWS_DIR")) options.windows_dir = value;
  if (const char* value = std::getenv("TAVIREX_MODULE_DIR")) options.module_dir = value;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string name = std::string("TAVIREX_DRIVE_") + letter;
    if (const char* value = std::getenv(name.c_str())) options.drive_roots[letter] = value;
  }
  if (const char* value = std::getenv("TAVIREX_MSGBOX_ANSWERS")) {
    for (const std::string& field : Split(value, ',')) {
      char* end = nullptr;
      long answer = std::strtol(field.c_str(), &end, 10);
      if (end != field.c_str()) options.message_box_answers.push_back(static_cast<int>(answer));
    }
  }
  return options;
}

std::string PosixPlatform::ToNativePath(const std::string& windows_path) const {
  std::string path = windows_path;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
    return path;
  }
  char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  auto found = options_.drive_roots.find(drive);
  std::string root = found != options_.drive_roots.end() ? found->second : "/";
  while (!root.empty() && root.back() == '/') root.pop_back();
  std::string rest = path.substr(2);
  if (rest.empty()) return root.empty() ? "/" : root;
  if (rest.front() != '/') rest.insert(0, "/");
  return root + rest;
}

void PosixPlatform::QueueAnswers(std::vector<int> answers) {
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

std::string PosixPlatform::ReadProfileString(const std::string& section, const std::string& key,
                                             const std::string& file) {
  std::string bytes;
  if (!ReadWholeFile(ProfileFilePath(file), bytes)) return "";
  return ProfileLookupUtf8(bytes, section, key);
}

std::string PosixPlatform::ProfileFilePath(const std::string& file) {
  const std::string path = file.find_first_of("\\/") == std::string::npos
                               ? JoinNative(options_.windows_dir, file)
                               : ToNativePath(file);
  struct stat info;
  if (StatPath(path, info)) return path;
  return FindIgnoringCase(path).value_or(path);
}

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

std::string PosixPlatform::ModuleFolder() { return options_.module_dir; }

int PosixPlatform::MessageBox(const std::string& text, int style,
                              const std::optional<std::string>& title) {
  const std::string shown_title = title ? *title : std::string(kDefaultAppTitle);
  int answer;
  bool asked = false;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else if (options_.interactive && ::isatty(STDIN_FILENO)) {
    answer = AskUser(text, style, shown_title);
    asked = true;
  } else {
    answer = ButtonsOf(style).closed_answer;
  }
  if (!asked) {  // a scripted run still shows what the user was told
    std::fprintf(stderr, "[%s] %s%s  {%s} -> %s\n", shown_title.c_str(), IconName(style),
                 text.c_str(), ButtonsOf(style).label, AnswerName(answer));
  }
  shown_boxes_.push_back({text, style, shown_title, answer});
  return answer;
}

int PosixPlatform::AskUser(const std::string& text, int style, const std::string& title) const {
  const ButtonSet& buttons = ButtonsOf(style);
  std::fprintf(stderr, "\n=== %s ===\n%s%s\n", title.c_str(), IconName(style), text.c_str());
  while (true) {
    std::fprintf(stderr, "%s? ", buttons.label);
    std::fflush(stderr);
    char line[256];
    if (std::fgets(line, sizeof line, stdin) == nullptr) return buttons.closed_answer;
    char typed = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    for (const auto& [key, answer] : buttons.keys) {
      if (key != '\0' && key == typed) return answer;
    }
  }
}

std::intptr_t PosixPlatform::ShellExecute(std::uintptr_t /*owner_window*/, const std::string& verb,
                                          const std::string& file, const std::string& parameters,
                                          const std::string& directory, int /*show_command*/) {
  const std::string native = ToNativePath(file);
  struct stat info;
  if (!StatPath(native, info)) {
    return IsFolder(ParentFolder(native)) ? shellexec::kFileNotFound : shellexec::kPathNotFound;
  }
  std::string work_dir;
  if (!directory.empty()) {
    work_dir = ToNativePath(directory);
    if (!IsFolder(work_dir)) return shellexec::kPathNotFound;
  }
  const bool program = IsProgramFile(native, info);
  std::vector<std::string> arguments;
  if (program) {
    arguments.push_back(native);
    for (std::string& argument : SplitWindowsCommandLine(parameters)) {
      arguments.push_back(std::move(argument));
    }
  } else {
    // A document (or folder) opens in the program associated with its type.
    if (!verb.empty() && !EqualsIgnoreCaseAscii(verb, "open")) return shellexec::kNoAssociation;
    std::string opener = DocumentOpener(native);
    if (opener.empty()) return shellexec::kNoAssociation;
    arguments = {opener, native};
  }
  int error = SpawnDetached(arguments, work_dir);
  if (error == 0) return kStarted;
  return program ? ShellResultOfStartError(error) : shellexec::kNoAssociation;
}

void PosixPlatform::SetCurrentDirectory(const std::string& folder) {
  std::string native = ToNativePath(folder);
  // Whatever the reason, as the missing folder it mostly is.
  if (native.empty() || ::chdir(native.c_str()) != 0) {
    throw FsFailure(FsCondition::kPathNotFound, FsOperation::kChangeFolder);
  }
}

std::shared_ptr<void> PosixPlatform::ConnectHostServer(const std::string& component_class,
                                                       const std::string& method,
                                                       const std::string& server_name) {
  last_server_request_ = {component_class, method, server_name};
  if (!IsClassName(component_class)) throw VbError(vberr::kCantCreateObject);
  ++server_connections_created_;
  return std::make_shared<ServerConnection>(last_server_request_);
}

VbDate PosixPlatform::Now() {
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  ::localtime_r(&now, &local);
  CivilDateTime civil;
  civil.year = local.tm_year + 1900;
  civil.month = local.tm_mon + 1;
  civil.day = local.tm_mday;
  civil.hour = local.tm_hour;
  civil.minute = local.tm_min;
  civil.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return FromCivil(civil);
}

std::string PosixPlatform::FormatGeneralDate(VbDate date) { return UsFormatGeneralDate(date); }
std::string PosixPlatform::FormatShortDate(VbDate date) { return UsFormatShortDate(date); }
std::string PosixPlatform::FormatTimeOfDay(VbDate date) { return UsFormatLongTime(date); }
std::string PosixPlatform::DateSeparator() { return "/"; }
std::optional<VbDate> PosixPlatform::ParseDate(std::string_view text) { return UsParseDate(text); }
std::int16_t PosixPlatform::CIntFromString(std::string_view text) { return UsCIntFromString(text); }
std::int32_t PosixPlatform::CLngFromString(std::string_view text) { return UsCLngFromString(text); }

}  // namespace tavirex
