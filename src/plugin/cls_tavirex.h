// clsTavirex: the equipment-interface class the host drives. The COM server
// and the command-line host are thin adapters over this class.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostenv/host_paths.h"
#include "hostenv/platform.h"

namespace tavirex {

// The ProgID by which the host creates the class.
inline constexpr const char* kClassProgId = "Tavirex.clsTavirex";

// The result of an operation that went well.
inline constexpr const char* kWasOk = "Was OK";

class ImageListView;

// A reference to one of the host's own objects (patient, exam data). The
// plug-in only stores it; releasing the last reference releases the object.
class HostObject {
 public:
  virtual ~HostObject() = default;
};
using HostObjectRef = std::shared_ptr<HostObject>;

// The C++ type of each kind of member in properties.def.
using PropertyString = std::string;
using PropertyBool = VbBool;
using PropertyInt16 = std::int16_t;
using PropertyInt32 = std::int32_t;
using PropertyObject = HostObjectRef;

// The stored slots of one object, named as the host sees them, each empty,
// zero or false until assigned. Stored-only members are read and written
// directly by the adapters; the operations below read and write the ones
// they use.
struct TavirexProperties {
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) Property##Kind Name{};
#include "plugin/properties.def"
};

class ClsTavirex {
 public:
  // Runs the module's start-up routine once, then asks for the host's
  // program folder (which may show a message box); never fails for a
  // missing host INI. ReviewDevice shows its image list on `view`.
  ClsTavirex(HostModule& module, ImageListView& view);

  ClsTavirex(const ClsTavirex&) = delete;
  ClsTavirex& operator=(const ClsTavirex&) = delete;

  TavirexProperties& props() { return props_; }
  const TavirexProperties& props() const { return props_; }
  Platform& platform() { return platform_; }

  // Members with constant results.
#define TAVIREX_CONSTANT(Name, Kind, Value) \
  static Property##Kind Name() { return Value; }
#include "plugin/properties.def"

  // SQL quoting offered to the host: every "'" doubled.
  static std::string fun_sFixString(const std::string& text);

  std::string GetPraxoDBPath();
  VbBool ShouldWriteToLog();
  void WriteToLog(const std::string& text);

  // Device catalogue and equipment settings.
  // The sixteen device names, in catalogue order (a new list on every read).
  static std::vector<std::string> DeviceNames();
  static std::string GetIDFromEquipFName(const std::string& device_name,
                                         const std::string& file_name);
  // Fills the fixed device properties for an exact catalogue name; otherwise
  // changes nothing.
  void LoadEquipProps(const std::string& device_name);

  // The path in `folder` under which the exported file `file_name` is
  // stored. A Null name (nullopt) raises 94.
  std::string ParseFileName(const std::optional<std::string>& file_name, const std::string& folder);

  // The device functions. Each catches its own failures as its workflow
  // says; NumPatientImageFiles and ReviewDevice pass theirs to the caller.
  std::string DoDeviceFunction();
  std::string CaptureDevice();
  std::string ReviewDevice();
  std::int32_t NumPatientImageFiles();

 private:
  HostModule& module_;
  Platform& platform_;
  ImageListView& view_;
  TavirexProperties props_;
  // The date of the last capture ("mm/dd/yyyy" with the regional separator).
  std::string capture_date_;
};

}  // namespace tavirex
