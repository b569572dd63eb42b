// The system a program of this build runs on: its platform services, the
// module's own file, and what a tool tells its user about them. Declared once
// here, defined by each implementation (win32/, posix/).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hostenv/platform.h"

namespace tavirex {

// The services as the plug-in gets them here: the real APIs on Windows; on
// POSIX the reproductions, set up from the environment. `interactive`: on
// POSIX, whether a box with no scripted answer asks at the terminal.
std::unique_ptr<Platform> MakeSystemPlatform(bool interactive = true);

// The full path of the module (the DLL, or the program) this code is linked
// into; "" when the system cannot tell.
std::string ModuleFilePath();

// A program's arguments (without its name) as UTF-8 text: on Windows read from
// the wide command line, since argv holds them in the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The text of an INI file as the profile API reads it (the ANSI code page)
// and as the plug-in holds text (UTF-8); the two round-trip byte for byte.
std::string Utf8FromProfileBytes(std::string_view bytes);
std::string ProfileBytesFromUtf8(std::string_view text);

// What a tool tells its user about the services of this build.
struct SystemNotes {
  // For a usage text: how the services are set up; "" where the system's
  // own settings apply.
  std::string_view settings;
  // After a failure to write in the Windows directory: why it may fail.
  std::string_view windows_dir_write_hint;
};
const SystemNotes& SystemPlatformNotes();

// Where the host would find a COM class: its ProgID or "{CLSID}" looked up in
// HKEY_CLASSES_ROOT as this program sees it (a 32-bit program sees the 32-bit
// registrations, as the 32-bit host does).
struct ClassRegistration {
  enum class State {
    kUnknown,  // this system has no registry to ask
    kNotRegistered,
    kRegistered,
  };
  State state = State::kUnknown;
  // The server's file: InprocServer32, or LocalServer32 for a program; "" when
  // the class has neither.
  std::string server;
};
ClassRegistration FindClassRegistration(const std::string& prog_id_or_clsid);

// A service as the service manager tells any user: whether this computer has
// it and what it is doing.
struct ServiceStatus {
  enum class State {
    kUnknown,  // this system has no service manager to ask, or it did not answer
    kNotInstalled,
    kStopped,
    kStarting,
    kRunning,
    kStopping,
    kPaused,
  };
  State state = State::kUnknown;
  std::string why;  // for kUnknown: what the system said; "" when there is none to ask
};
ServiceStatus FindService(const std::string& name);

}  // namespace tavirex
