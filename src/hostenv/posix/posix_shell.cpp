// The shell reproduced: programs started by their type, documents opened by
// the program the desktop associates with theirs.
#include "hostenv/posix/posix_platform.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "hostenv/posix/native_files.h"
#include "winrules/command_line.h"
#include "winrules/vb_string.h"

namespace tavirex {

using namespace posix;

namespace {

// Any result above shellexec::kLastFailure: the program was started.
constexpr std::intptr_t kStarted = 42;

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

}  // namespace

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

}  // namespace tavirex
