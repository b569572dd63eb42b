// The host's folders from its INI file, and the plug-in's start-up routine.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "hostenv/platform.h"

namespace tavirex {

inline constexpr const char* kHostIniFileName = "praxo32.ini";
inline constexpr const char* kEquipIniFileName = "PXEquip.ini";

// The plug-in's own section of the equipment INI.
inline constexpr const char* kTavirexSection = "Tavirex";

// Where the workstation names the host's server-connection component: its
// class (a ProgID or a "{CLSID}") and the method that takes the server name.
inline constexpr const char* kServerConnectionSection = kTavirexSection;
inline constexpr const char* kServerConnectionClassKey = "ServerConnectionClass";
inline constexpr const char* kServerConnectionMethodKey = "ServerConnectionMethod";
inline constexpr const char* kDefaultServerConnectionMethod = "SetServerName";

// In-band results of the host-path routines.
inline constexpr const char* kMissingResult = "-3";
inline constexpr const char* kNotAPathResult = "-4";

// The public GetPraxoDBPath of clsTavirex: "DataDir", "-3", "-4" or "".
std::string GetPraxoDBPath(Platform& platform);
// The module routine of the same name, which also wants "\praxo.mdb" there.
std::string GetPraxoDBPathModule(Platform& platform);
// "PgmsDir", "-3" (after a message box with an empty title) or "".
std::string GetPraxoPath(Platform& platform);
// "PgmsDir" or "", silently.
std::string GetPgmsDir(Platform& platform);

// Per loaded module: runs the start-up routine once, before the first object,
// and keeps the host's server-connection component for as long as it lives.
// On a server route the component is created only when the equipment INI
// names its class; a failure to create or call it goes to the error file
// alone and does not stop the object.
class HostModule {
 public:
  explicit HostModule(Platform& platform) : platform_(platform) {}

  Platform& platform() { return platform_; }

  // Runs Main the first time it is called; later calls do nothing.
  void EnsureStarted();
  bool has_server_connection() const { return server_connection_ != nullptr; }

 private:
  void Main();

  Platform& platform_;
  std::mutex start_mutex_;
  bool started_ = false;
  std::shared_ptr<void> server_connection_;
};

}  // namespace tavirex
