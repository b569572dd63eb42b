#include "com/tavirex_object.h"

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "com/collection.h"
#include "com/com_object.h"
#include "com/com_support.h"
#include "com/module.h"
#include "com/tavirex_h.h"
#include "hostenv/win32/ansi.h"
#include "interface/cls_tavirex.h"

namespace tavirex::com {
namespace {

constexpr const wchar_t* kSource = L"Tavirex.clsTavirex";

// A host object held in an object field: one reference for as long as the
// field holds it.
class DispatchHostObject final : public HostObject {
 public:
  explicit DispatchHostObject(IDispatch* dispatch) : dispatch_(dispatch) { dispatch_->AddRef(); }
  ~DispatchHostObject() override { dispatch_->Release(); }
  DispatchHostObject(const DispatchHostObject&) = delete;
  DispatchHostObject& operator=(const DispatchHostObject&) = delete;

  IDispatch* dispatch() const { return dispatch_; }

 private:
  IDispatch* dispatch_;
};

class TavirexObject final : public AutomationObject<TavirexObject, _clsTavirex, &IID__clsTavirex> {
 public:
  TavirexObject() : core_(SharedHostModule(), SharedImageListView()) {}

  // _clsTavirex: fields and stored properties, in interface order.
  HRESULT STDMETHODCALLTYPE get_mobjPatient(IDispatch** Value) override {
    return GetObjectSlot(p().mobjPatient, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjPatient(IDispatch* Value) override {
    return SetObjectSlot(p().mobjPatient, Value);
  }
  HRESULT STDMETHODCALLTYPE get_gblnShouldWriteToLog(VARIANT_BOOL* Value) override {
    return GetBool(p().gblnShouldWriteToLog, Value);
  }
  HRESULT STDMETHODCALLTYPE put_gblnShouldWriteToLog(VARIANT_BOOL Value) override {
    return LetBool(p().gblnShouldWriteToLog, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjKRVisTestsDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjKRVisTestsDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjKRVisTestsDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjKRVisTestsDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjUAVAKRTestsDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjUAVAKRTestsDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjUAVAKRTestsDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjUAVAKRTestsDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjRTSubjDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjRTSubjDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjRTSubjDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjRTSubjDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjRTFinalDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjRTFinalDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjRTFinalDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjRTFinalDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjTrailCLDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjTrailCLDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjTrailCLDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjTrailCLDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjLMDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjLMDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjLMDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjLMDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjRMDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjRMDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjRMDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjRMDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjKMDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjKMDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjKMDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjKMDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjARDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjARDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjARDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjARDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjVLDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjVLDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjVLDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjVLDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjLXDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjLXDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjLXDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjLXDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_mobjPresentingCLDataObject(IDispatch** Value) override {
    return GetObjectSlot(p().mobjPresentingCLDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE putref_mobjPresentingCLDataObject(IDispatch* Value) override {
    return SetObjectSlot(p().mobjPresentingCLDataObject, Value);
  }
  HRESULT STDMETHODCALLTYPE get_CompanyName(BSTR* Value) override {
    return GetText(p().CompanyName, Value);
  }
  HRESULT STDMETHODCALLTYPE put_CompanyName(BSTR Value) override {
    return LetText(p().CompanyName, Value);
  }
  HRESULT STDMETHODCALLTYPE get_Model(BSTR* Value) override { return GetText(p().Model, Value); }
  HRESULT STDMETHODCALLTYPE put_Model(BSTR Value) override { return LetText(p().Model, Value); }
  HRESULT STDMETHODCALLTYPE get_ExamDate(BSTR* Value) override {
    return GetText(p().ExamDate, Value);
  }
  HRESULT STDMETHODCALLTYPE put_ExamDate(BSTR Value) override {
    return LetText(p().ExamDate, Value);
  }
  HRESULT STDMETHODCALLTYPE get_UseOtherCommCtrl(VARIANT_BOOL* Value) override {
    return GetBool(p().UseOtherCommCtrl, Value);
  }
  HRESULT STDMETHODCALLTYPE get_Look4EndOfTransChar(VARIANT_BOOL* Value) override {
    return GetBool(p().Look4EndOfTransChar, Value);
  }
  HRESULT STDMETHODCALLTYPE put_Look4EndOfTransChar(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().Look4EndOfTransChar, Value);
  }
  HRESULT STDMETHODCALLTYPE get_CharsAtEndOfData2Look4(BSTR* Value) override {
    return GetText(p().CharsAtEndOfData2Look4, Value);
  }
  HRESULT STDMETHODCALLTYPE put_CharsAtEndOfData2Look4(BSTR* Value) override {
    return LetTextRef(p().CharsAtEndOfData2Look4, Value);
  }
  HRESULT STDMETHODCALLTYPE get_MaxCharsFromThisDevice(LONG* Value) override {
    return GetLong(p().MaxCharsFromThisDevice, Value);
  }
  HRESULT STDMETHODCALLTYPE put_MaxCharsFromThisDevice(LONG* Value) override {
    return LetLongRef(p().MaxCharsFromThisDevice, Value);
  }
  HRESULT STDMETHODCALLTYPE get_DataSource(BSTR* Value) override {
    return GetText(p().DataSource, Value);
  }
  HRESULT STDMETHODCALLTYPE put_DataSource(BSTR* Value) override {
    return LetTextRef(p().DataSource, Value);
  }
  HRESULT STDMETHODCALLTYPE get_SQLString2Execute(BSTR* Value) override {
    return GetText(ClsTavirex::SQLString2Execute(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_ConnectStringParams(BSTR* Value) override {
    return GetText(ClsTavirex::ConnectStringParams(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveRTSubjData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveRTSubjData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveRTSubjData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveRTSubjData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveRTFinalData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveRTFinalData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveRTFinalData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveRTFinalData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveTrailCLData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveTrailCLData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveTrailCLData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveTrailCLData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HavePresentingCLData(VARIANT_BOOL* Value) override {
    return GetBool(p().HavePresentingCLData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HavePresentingCLData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HavePresentingCLData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveKMData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveKMData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveKMData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveKMData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveBinoVisTestData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveBinoVisTestData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveBinoVisTestData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveBinoVisTestData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveRMData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveRMData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveRMData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveRMData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveRM_PD_Data(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveRM_PD_Data, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveRM_PD_Data(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveRM_PD_Data, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveLMData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveLMData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveLMData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveLMData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveLXData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveLXData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveLXData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveLXData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveARData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveARData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveARData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveARData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveVAAidedData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveVAAidedData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveVAAidedData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveVAAidedData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_HaveVAUnAidedData(VARIANT_BOOL* Value) override {
    return GetBool(p().HaveVAUnAidedData, Value);
  }
  HRESULT STDMETHODCALLTYPE put_HaveVAUnAidedData(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().HaveVAUnAidedData, Value);
  }
  HRESULT STDMETHODCALLTYPE get_NumDataSegments(short* Value) override {
    return GetShort(ClsTavirex::NumDataSegments(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_PATIENTID(BSTR* Value) override {
    return GetText(p().PATIENTID, Value);
  }
  HRESULT STDMETHODCALLTYPE put_PATIENTID(BSTR* Value) override {
    return LetTextRef(p().PATIENTID, Value);
  }
  HRESULT STDMETHODCALLTYPE get_LastName(BSTR* Value) override {
    return GetText(p().LastName, Value);
  }
  HRESULT STDMETHODCALLTYPE put_LastName(BSTR* Value) override {
    return LetTextRef(p().LastName, Value);
  }
  HRESULT STDMETHODCALLTYPE get_FirstName(BSTR* Value) override {
    return GetText(p().FirstName, Value);
  }
  HRESULT STDMETHODCALLTYPE put_FirstName(BSTR* Value) override {
    return LetTextRef(p().FirstName, Value);
  }
  HRESULT STDMETHODCALLTYPE get_MiddleName(BSTR* Value) override {
    return GetText(p().MiddleName, Value);
  }
  HRESULT STDMETHODCALLTYPE put_MiddleName(BSTR* Value) override {
    return LetTextRef(p().MiddleName, Value);
  }
  HRESULT STDMETHODCALLTYPE get_Gender(BSTR* Value) override { return GetText(p().Gender, Value); }
  HRESULT STDMETHODCALLTYPE put_Gender(BSTR* Value) override {
    return LetTextRef(p().Gender, Value);
  }
  HRESULT STDMETHODCALLTYPE get_ExamRecNum(LONG* Value) override {
    return GetLong(p().ExamRecNum, Value);
  }
  HRESULT STDMETHODCALLTYPE put_ExamRecNum(LONG* Value) override {
    return LetLongRef(p().ExamRecNum, Value);
  }
  HRESULT STDMETHODCALLTYPE get_DateOfBirth(BSTR* Value) override {
    return GetText(p().DateOfBirth, Value);
  }
  HRESULT STDMETHODCALLTYPE put_DateOfBirth(BSTR* Value) override {
    return LetTextRef(p().DateOfBirth, Value);
  }
  HRESULT STDMETHODCALLTYPE get_ProviderName(BSTR* Value) override {
    return GetText(p().ProviderName, Value);
  }
  HRESULT STDMETHODCALLTYPE put_ProviderName(BSTR* Value) override {
    return LetTextRef(p().ProviderName, Value);
  }
  HRESULT STDMETHODCALLTYPE get_IrisCatagory(BSTR* Value) override {
    return GetText(p().IrisCatagory, Value);
  }
  HRESULT STDMETHODCALLTYPE put_IrisCatagory(BSTR* Value) override {
    return LetTextRef(p().IrisCatagory, Value);
  }
  HRESULT STDMETHODCALLTYPE get_EquipDataPath(BSTR* Value) override {
    return GetText(p().EquipDataPath, Value);
  }
  HRESULT STDMETHODCALLTYPE put_EquipDataPath(BSTR* Value) override {
    return LetTextRef(p().EquipDataPath, Value);
  }
  HRESULT STDMETHODCALLTYPE get_EquipDataFileStartChars(BSTR* Value) override {
    return GetText(p().EquipDataFileStartChars, Value);
  }
  HRESULT STDMETHODCALLTYPE put_EquipDataFileStartChars(BSTR* Value) override {
    return LetTextRef(p().EquipDataFileStartChars, Value);
  }
  HRESULT STDMETHODCALLTYPE get_EquipDataFileEndChars(BSTR* Value) override {
    return GetText(p().EquipDataFileEndChars, Value);
  }
  HRESULT STDMETHODCALLTYPE put_EquipDataFileEndChars(BSTR* Value) override {
    return LetTextRef(p().EquipDataFileEndChars, Value);
  }
  HRESULT STDMETHODCALLTYPE get_EquipProgPathFName(BSTR* Value) override {
    return GetText(p().EquipProgPathFName, Value);
  }
  HRESULT STDMETHODCALLTYPE put_EquipProgPathFName(BSTR* Value) override {
    return LetTextRef(p().EquipProgPathFName, Value);
  }
  HRESULT STDMETHODCALLTYPE get_UseSerialPort(VARIANT_BOOL* Value) override {
    return GetBool(p().UseSerialPort, Value);
  }
  HRESULT STDMETHODCALLTYPE get_CommPort(BSTR* Value) override {
    return GetText(ClsTavirex::CommPort(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_BaudRate(BSTR* Value) override {
    return GetText(ClsTavirex::BaudRate(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_DataBits(BSTR* Value) override {
    return GetText(ClsTavirex::DataBits(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_Parity(BSTR* Value) override {
    return GetText(ClsTavirex::Parity(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_StopBits(BSTR* Value) override {
    return GetText(ClsTavirex::StopBits(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_CommEvent(BSTR* Value) override {
    return GetText(ClsTavirex::CommEvent(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_FirstChar(BSTR* Value) override {
    return GetText(ClsTavirex::FirstChar(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_LastChar(BSTR* Value) override {
    return GetText(ClsTavirex::LastChar(), Value);
  }
  HRESULT STDMETHODCALLTYPE get_Handshaking(BSTR* Value) override {
    return GetText(ClsTavirex::Handshaking(), Value);
  }
  HRESULT STDMETHODCALLTYPE put_DeviceName(BSTR* Value) override {
    return LetTextRef(p().DeviceName, Value);
  }
  HRESULT STDMETHODCALLTYPE get_LogoToolTip(BSTR* Value) override {
    return GetText(p().LogoToolTip, Value);
  }
  HRESULT STDMETHODCALLTYPE get_DataIsSaved(VARIANT_BOOL* Value) override {
    return GetBool(p().DataIsSaved, Value);
  }
  HRESULT STDMETHODCALLTYPE put_DataIsSaved(VARIANT_BOOL* Value) override {
    return LetBoolRef(p().DataIsSaved, Value);
  }

  // _clsTavirex: operations.
  HRESULT STDMETHODCALLTYPE get_DeviceNames(IDispatch** Value) override {
    if (Value == nullptr) return PlainFailure(E_POINTER);
    *Value = nullptr;
    return Call([&] { *Value = NewStringCollection(ClsTavirex::DeviceNames()); });
  }
  HRESULT STDMETHODCALLTYPE GetIDFromEquipFName(BSTR* DeviceName, BSTR* FName,
                                                BSTR* Value) override {
    if (DeviceName == nullptr || FName == nullptr) return PlainFailure(E_POINTER);
    return ReturnText(Value, [&] {
      return ClsTavirex::GetIDFromEquipFName(AnsiFromBstr(*DeviceName), AnsiFromBstr(*FName));
    });
  }
  HRESULT STDMETHODCALLTYPE LoadEquipProps(BSTR* DeviceName) override {
    if (DeviceName == nullptr) return PlainFailure(E_POINTER);
    return Call([&] { core_.LoadEquipProps(AnsiFromBstr(*DeviceName)); });
  }
  HRESULT STDMETHODCALLTYPE NumPatientImageFiles(LONG* Value) override {
    if (Value == nullptr) return PlainFailure(E_POINTER);
    *Value = 0;
    return Call([&] { *Value = core_.NumPatientImageFiles(); });
  }
  HRESULT STDMETHODCALLTYPE DoDeviceFunction(BSTR* Value) override {
    return ReturnText(Value, [&] { return core_.DoDeviceFunction(); });
  }
  HRESULT STDMETHODCALLTYPE ReviewDevice(BSTR* Value) override {
    return ReturnText(Value, [&] { return core_.ReviewDevice(); });
  }
  HRESULT STDMETHODCALLTYPE CaptureDevice(BSTR* Value) override {
    return ReturnText(Value, [&] { return core_.CaptureDevice(); });
  }
  HRESULT STDMETHODCALLTYPE ParseFileName(VARIANT* sFileNameStructure, BSTR* MoveToPath,
                                          BSTR* Value) override {
    if (sFileNameStructure == nullptr || MoveToPath == nullptr) return PlainFailure(E_POINTER);
    return ReturnText(Value, [&] {
      return core_.ParseFileName(TextOfVariant(*sFileNameStructure), AnsiFromBstr(*MoveToPath));
    });
  }
  HRESULT STDMETHODCALLTYPE GetPraxoDBPath(BSTR* Value) override {
    return ReturnText(Value, [&] { return core_.GetPraxoDBPath(); });
  }
  HRESULT STDMETHODCALLTYPE fun_sFixString(BSTR* sString, BSTR* Value) override {
    if (sString == nullptr) return PlainFailure(E_POINTER);
    return ReturnText(Value, [&] { return ClsTavirex::fun_sFixString(AnsiFromBstr(*sString)); });
  }
  HRESULT STDMETHODCALLTYPE ShouldWriteToLog(VARIANT_BOOL* Value) override {
    if (Value == nullptr) return PlainFailure(E_POINTER);
    *Value = VARIANT_FALSE;
    return Call([&] { *Value = core_.ShouldWriteToLog(); });
  }
  HRESULT STDMETHODCALLTYPE WriteToLog(BSTR* WhatDoing) override {
    if (WhatDoing == nullptr) return PlainFailure(E_POINTER);
    return Call([&] { core_.WriteToLog(AnsiFromBstr(*WhatDoing)); });
  }

 private:
  TavirexProperties& p() { return core_.props(); }

  template <typename Body>
  HRESULT Call(Body&& body) {
    return ComCall(IID__clsTavirex, kSource, std::forward<Body>(body));
  }

  template <typename Compute>
  HRESULT ReturnText(BSTR* out, Compute&& compute) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = nullptr;
    return Call([&] { SetBstr(out, compute()); });
  }

  HRESULT GetText(const std::string& value, BSTR* out) {
    return ReturnText(out, [&] { return value; });
  }
  HRESULT LetText(std::string& slot, BSTR value) {
    return Call([&] { slot = AnsiFromBstr(value); });
  }
  HRESULT LetTextRef(std::string& slot, BSTR* value) {
    if (value == nullptr) return PlainFailure(E_POINTER);
    return LetText(slot, *value);
  }

  // Booleans go back exactly as they were assigned, whatever the bits.
  static HRESULT GetBool(VbBool value, VARIANT_BOOL* out) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = value;
    return S_OK;
  }
  static HRESULT LetBool(VbBool& slot, VARIANT_BOOL value) {
    slot = value;
    return S_OK;
  }
  static HRESULT LetBoolRef(VbBool& slot, VARIANT_BOOL* value) {
    if (value == nullptr) return PlainFailure(E_POINTER);
    slot = *value;
    return S_OK;
  }

  static HRESULT GetLong(std::int32_t value, LONG* out) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = value;
    return S_OK;
  }
  static HRESULT LetLongRef(std::int32_t& slot, LONG* value) {
    if (value == nullptr) return PlainFailure(E_POINTER);
    slot = *value;
    return S_OK;
  }
  static HRESULT GetShort(std::int16_t value, short* out) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = value;
    return S_OK;
  }

  static HRESULT GetObjectSlot(const HostObjectRef& slot, IDispatch** out) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    auto* held = dynamic_cast<DispatchHostObject*>(slot.get());
    *out = held != nullptr ? held->dispatch() : nullptr;
    if (*out != nullptr) (*out)->AddRef();
    return S_OK;
  }
  HRESULT SetObjectSlot(HostObjectRef& slot, IDispatch* value) {
    // The new reference is taken before the old one is released, so that
    // assigning the held object again keeps it alive.
    return Call(
        [&] { slot = value != nullptr ? std::make_shared<DispatchHostObject>(value) : nullptr; });
  }

  ClsTavirex core_;
};

}  // namespace

HRESULT CreateTavirexObject(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  TavirexObject* created = nullptr;
  HRESULT hr = ComCall(IID__clsTavirex, kSource, [&] { created = new TavirexObject(); });
  if (FAILED(hr)) return hr;
  hr = created->QueryInterface(riid, object);
  created->Release();
  return hr;
}

}  // namespace tavirex::com
