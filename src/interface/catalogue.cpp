// The device catalogue and the fixed device properties.
#include <array>
#include <string_view>

#include "hostenv/host_paths.h"
#include "interface/cls_tavirex.h"
#include "interface/equip_settings.h"

namespace tavirex {
namespace {

// One row per model; each model offers a Capture and a Review function whose
// names differ only in the verb (the workflows find a twin by that).
constexpr std::array<std::string_view, 8> kModelWords = {
    "iKoraiBlendo", "Vessara", "Corvana", "iScopa", "iBlendo", "iPicta", "iVitara", "iPedra",
};

std::string DeviceFunctionName(std::string_view verb, std::string_view model_word) {
  std::string name(verb);
  name += ' ';
  name += model_word;
  return name;
}

bool IsCatalogueName(const std::string& name) {
  // Capture names first, then Review names; exact and case-sensitive.
  for (std::string_view verb : {kCaptureVerb, kReviewVerb}) {
    for (std::string_view model_word : kModelWords) {
      if (name == DeviceFunctionName(verb, model_word)) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::string> ClsTavirex::DeviceNames() {
  std::vector<std::string> names;
  names.reserve(kModelWords.size() * 2);
  for (std::string_view model_word : kModelWords) {
    names.push_back(DeviceFunctionName(kCaptureVerb, model_word));
    names.push_back(DeviceFunctionName(kReviewVerb, model_word));
  }
  return names;
}

std::string ClsTavirex::GetIDFromEquipFName(const std::string& /*device_name*/,
                                            const std::string& /*file_name*/) {
  return "";
}

void ClsTavirex::LoadEquipProps(const std::string& device_name) {
  if (!IsCatalogueName(device_name)) return;
  props_.UseSerialPort = kVbFalse;
  props_.DataSource = "File";
  props_.EquipProgPathFName = "C:\\KSOCTVIEW\\bin\\CreatePatient.exe";
  props_.EquipDataPath = GetPgmsDir(platform_);
  props_.EquipDataFileStartChars = "op_";
  props_.EquipDataFileEndChars = ".jpg";
  props_.Look4EndOfTransChar = kVbFalse;
  props_.UseOtherCommCtrl = kVbFalse;
}

}  // namespace tavirex
