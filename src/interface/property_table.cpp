#include "interface/property_table.h"

#include <array>
#include <charconv>

#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

using P = TavirexProperties;

constexpr bool kGet = true;
constexpr bool kNoGet = false;
constexpr bool kLet = true;
constexpr bool kNoLet = false;

const std::array kProperties = {
    PropertyInfo{"mobjPatient", &P::mobjPatient, kGet, kLet},
    PropertyInfo{"gblnShouldWriteToLog", &P::gblnShouldWriteToLog, kGet, kLet},
    PropertyInfo{"mobjKRVisTestsDataObject", &P::mobjKRVisTestsDataObject, kGet, kLet},
    PropertyInfo{"mobjUAVAKRTestsDataObject", &P::mobjUAVAKRTestsDataObject, kGet, kLet},
    PropertyInfo{"mobjRTSubjDataObject", &P::mobjRTSubjDataObject, kGet, kLet},
    PropertyInfo{"mobjRTFinalDataObject", &P::mobjRTFinalDataObject, kGet, kLet},
    PropertyInfo{"mobjTrailCLDataObject", &P::mobjTrailCLDataObject, kGet, kLet},
    PropertyInfo{"mobjLMDataObject", &P::mobjLMDataObject, kGet, kLet},
    PropertyInfo{"mobjRMDataObject", &P::mobjRMDataObject, kGet, kLet},
    PropertyInfo{"mobjKMDataObject", &P::mobjKMDataObject, kGet, kLet},
    PropertyInfo{"mobjARDataObject", &P::mobjARDataObject, kGet, kLet},
    PropertyInfo{"mobjVLDataObject", &P::mobjVLDataObject, kGet, kLet},
    PropertyInfo{"mobjLXDataObject", &P::mobjLXDataObject, kGet, kLet},
    PropertyInfo{"mobjPresentingCLDataObject", &P::mobjPresentingCLDataObject, kGet, kLet},
    PropertyInfo{"CompanyName", &P::CompanyName, kGet, kLet},
    PropertyInfo{"Model", &P::Model, kGet, kLet},
    PropertyInfo{"ExamDate", &P::ExamDate, kGet, kLet},
    PropertyInfo{"UseOtherCommCtrl", &P::UseOtherCommCtrl, kGet, kNoLet},
    PropertyInfo{"Look4EndOfTransChar", &P::Look4EndOfTransChar, kGet, kLet},
    PropertyInfo{"CharsAtEndOfData2Look4", &P::CharsAtEndOfData2Look4, kGet, kLet},
    PropertyInfo{"MaxCharsFromThisDevice", &P::MaxCharsFromThisDevice, kGet, kLet},
    PropertyInfo{"DataSource", &P::DataSource, kGet, kLet},
    PropertyInfo{"HaveRTSubjData", &P::HaveRTSubjData, kGet, kLet},
    PropertyInfo{"HaveRTFinalData", &P::HaveRTFinalData, kGet, kLet},
    PropertyInfo{"HaveTrailCLData", &P::HaveTrailCLData, kGet, kLet},
    PropertyInfo{"HavePresentingCLData", &P::HavePresentingCLData, kGet, kLet},
    PropertyInfo{"HaveKMData", &P::HaveKMData, kGet, kLet},
    PropertyInfo{"HaveBinoVisTestData", &P::HaveBinoVisTestData, kGet, kLet},
    PropertyInfo{"HaveRMData", &P::HaveRMData, kGet, kLet},
    PropertyInfo{"HaveRM_PD_Data", &P::HaveRM_PD_Data, kGet, kLet},
    PropertyInfo{"HaveLMData", &P::HaveLMData, kGet, kLet},
    PropertyInfo{"HaveLXData", &P::HaveLXData, kGet, kLet},
    PropertyInfo{"HaveARData", &P::HaveARData, kGet, kLet},
    PropertyInfo{"HaveVAAidedData", &P::HaveVAAidedData, kGet, kLet},
    PropertyInfo{"HaveVAUnAidedData", &P::HaveVAUnAidedData, kGet, kLet},
    PropertyInfo{"PATIENTID", &P::PATIENTID, kGet, kLet},
    PropertyInfo{"LastName", &P::LastName, kGet, kLet},
    PropertyInfo{"FirstName", &P::FirstName, kGet, kLet},
    PropertyInfo{"MiddleName", &P::MiddleName, kGet, kLet},
    PropertyInfo{"Gender", &P::Gender, kGet, kLet},
    PropertyInfo{"ExamRecNum", &P::ExamRecNum, kGet, kLet},
    PropertyInfo{"DateOfBirth", &P::DateOfBirth, kGet, kLet},
    PropertyInfo{"ProviderName", &P::ProviderName, kGet, kLet},
    PropertyInfo{"IrisCatagory", &P::IrisCatagory, kGet, kLet},
    PropertyInfo{"EquipDataPath", &P::EquipDataPath, kGet, kLet},
    PropertyInfo{"EquipDataFileStartChars", &P::EquipDataFileStartChars, kGet, kLet},
    PropertyInfo{"EquipDataFileEndChars", &P::EquipDataFileEndChars, kGet, kLet},
    PropertyInfo{"EquipProgPathFName", &P::EquipProgPathFName, kGet, kLet},
    PropertyInfo{"UseSerialPort", &P::UseSerialPort, kGet, kNoLet},
    PropertyInfo{"DeviceName", &P::DeviceName, kNoGet, kLet},
    PropertyInfo{"LogoToolTip", &P::LogoToolTip, kGet, kNoLet},
    PropertyInfo{"DataIsSaved", &P::DataIsSaved, kGet, kLet},
};

// A whole decimal number; 13 for anything else, 6 out of range.
template <typename Int>
Int ParseInteger(std::string_view text) {
  Int value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) throw VbError(vberr::kOverflow);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw VbError(vberr::kTypeMismatch);
  }
  return value;
}

}  // namespace

std::span<const PropertyInfo> StoredProperties() { return kProperties; }

const PropertyInfo* FindStoredProperty(std::string_view name) {
  for (const PropertyInfo& info : kProperties) {
    if (EqualsIgnoreCaseAscii(info.name, name)) return &info;
  }
  return nullptr;
}

std::string SlotText(const TavirexProperties& props, const PropertyInfo& info) {
  struct Visitor {
    const TavirexProperties& props;
    std::string operator()(std::string P::*slot) const { return props.*slot; }
    std::string operator()(VbBool P::*slot) const { return std::to_string(props.*slot); }
    std::string operator()(std::int32_t P::*slot) const { return std::to_string(props.*slot); }
    std::string operator()(HostObjectRef P::*slot) const {
      return props.*slot ? "<object>" : "Nothing";
    }
  };
  return std::visit(Visitor{props}, info.slot);
}

void AssignSlotText(TavirexProperties& props, const PropertyInfo& info, std::string_view text) {
  struct Visitor {
    TavirexProperties& props;
    std::string_view text;
    void operator()(std::string P::*slot) const { props.*slot = std::string(text); }
    void operator()(VbBool P::*slot) const {
      if (EqualsIgnoreCaseAscii(text, "true")) {
        props.*slot = kVbTrue;
      } else if (EqualsIgnoreCaseAscii(text, "false")) {
        props.*slot = kVbFalse;
      } else {
        props.*slot = ParseInteger<VbBool>(text);
      }
    }
    void operator()(std::int32_t P::*slot) const {
      props.*slot = ParseInteger<std::int32_t>(text);
    }
    void operator()(HostObjectRef P::*slot) const {
      if (!EqualsIgnoreCaseAscii(text, "Nothing")) throw VbError(vberr::kTypeMismatch);
      (props.*slot).reset();
    }
  };
  std::visit(Visitor{props, text}, info.slot);
}

}  // namespace tavirex
