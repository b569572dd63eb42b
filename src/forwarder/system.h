// What the forwarder needs of the system beyond the platform contract
// (hostenv/platform.h, which serves its flushes and renames): files opened
// below a store root without following a link, the outbox's lock, access
// checks, stop requests and its default places. The portable part is
// system.cpp; what differs by system is in posix/ and win32/, which it
// includes. Paths are std::filesystem paths, whose narrow text is UTF-8 on
// both systems; the Windows part calls the wide APIs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavirex::dicom {

#ifdef _WIN32
using NativeFile = void*;  // a HANDLE
#else
using NativeFile = int;
#endif
NativeFile NoFile();

// An open file or folder, closed with this.
class Fd {
 public:
  explicit Fd(NativeFile fd = NoFile()) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, NoFile())) {}
  Fd& operator=(Fd&& other) noexcept;
  ~Fd();
  NativeFile get() const { return fd_; }
  bool valid() const { return fd_ != NoFile(); }

 private:
  NativeFile fd_;
};

// The separators of a local path, whether a text is an absolute local path,
// and whether two names are one (Windows ignores the case of letters).
extern const std::string_view kLocalSeparators;
bool IsLocalAbsolute(std::string_view path);
bool SameName(std::string_view a, std::string_view b);

// A store root as configured, links followed; then one name below an open
// folder, never through a link (reached: the path so far, for the reason).
// Both throw NotThere when a name is missing, else Refused.
Fd OpenRoot(const std::filesystem::path& root);
Fd OpenEntry(const Fd& folder, const std::filesystem::path& reached, const std::string& name,
             bool want_folder);
// A folder; a regular file (not a device or pipe) with its size.
bool IsFolder(const Fd& fd);
std::optional<std::uint64_t> RegularFileSize(const Fd& fd);

// The names in an open folder: its regular files into files, its links and
// other entries that are not folders into skipped as "name: reason".
void ListFolder(const Fd& folder, std::vector<std::string>& files,
                std::vector<std::string>& skipped);

// Reads size bytes from offset; fewer when the file ends before. Refused when
// the system fails.
std::size_t ReadAt(const Fd& fd, void* into, std::size_t size, std::uint64_t offset);
// A C runtime descriptor of the same file, for a stream that closes its own;
// -1 when the system fails.
int CrtDescriptor(const Fd& fd);

// Why this user cannot read or cannot write in an existing folder; "" when
// both can be done.
std::string AccessProblem(const std::filesystem::path& folder);

// The outbox's lock file, open; whether it is now locked for this process
// alone (until closed); the text that names this process to another.
Fd OpenLockFile(const std::filesystem::path& file);
bool LockAlone(const Fd& file);
void NoteHolder(const Fd& file);

// What the forwarder writes is its user's alone (POSIX: the mode of new
// files; Windows: the folders' access lists).
void KeepNewFilesPrivate();
// Sets stop when the user or the system asks the program to end (SIGTERM,
// SIGINT; Ctrl+C, Ctrl+Break, the console closed), from a thread of its own,
// so that no call on the wire is interrupted.
void WatchStopRequests(std::atomic<bool>& stop);
bool ErrorsGoToTerminal();
// The local time of the machine.
std::tm LocalTime(std::time_t time);

// An environment variable as UTF-8; nullopt when not set.
std::optional<std::string> Environment(const char* name);
// The settings file and the state folder when none is named.
std::filesystem::path DefaultSettingsFile();
std::filesystem::path DefaultStateFolder();

#ifdef _WIN32
// Runs body as the Windows service tavirex-dicom, stop set by the service's
// stop controls instead of the console's, std::cerr's lines in the log file
// beside the default settings. body calls running once it has started; its
// result becomes the service's exit code.
int RunAsService(std::atomic<bool>& stop,
                 const std::function<int(const std::function<void()>& running)>& body);
#endif

}  // namespace tavirex::dicom
