// The equipment INI lookup of a device function and the settings stage of a
// capture, over any INI text. Input: the device name, a line feed, then the
// bytes of "PXEquip.ini".
#include <string>

#include "fuzz_support.h"
#include "plugin/capture.h"
#include "plugin/catalogue.h"
#include "plugin/cls_tavirex.h"
#include "winrules/utf8.h"
#include "winrules/vb_number.h"

using namespace tavirex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string device_name(fuzz::TakeLine(input));
  fuzz::FuzzPlatform platform;
  platform.equip_ini = std::string(input);
  // A long list only repeats what a short one does, at a cost that would
  // starve the search: counts from 1000 up to the 16-bit limit are skipped.
  const double count =
      Val(ProfileLookup(platform.equip_ini, kEquipmentSection, kEquipmentCountKey));
  if (count >= 1000 && count < 32767.5) return 0;
  HostModule module(platform);
  ClsTavirex object(module, platform);

  fuzz::SixOrThirteen([&] {
    const std::int16_t number = GetEquipNumber(object.platform(), EquipmentKey(device_name));
    FUZZ_CHECK(GetEquipNumber(object.platform(), EquipmentKey(device_name)) == number,
               "a second lookup");
    const auto path = ReadDeviceSetting(object.platform(), device_name, kEquipDataPathKey);
    FUZZ_CHECK(!path || (!path->empty() && Utf16Length(*path) <= 254), "%zu bytes", path->size());
  });
  object.props().DeviceName = device_name;
  object.props().EquipDataPath = "C:\\host";
  fuzz::SixOrThirteen([&] {
    const CaptureSettings settings = SettleCaptureSettings(object);
    FUZZ_CHECK(settings.drop_folder == object.props().EquipDataPath, "drop folder");
    FUZZ_CHECK(settings.program_path == object.props().EquipProgPathFName, "program path");
    FUZZ_CHECK(!settings.store_folder.empty(), "no store folder");
  });
  return 0;
}
