#include "com/tavirex_object.h"

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "com/collection.h"
#include "com/com_object.h"
#include "com/com_support.h"
#include "com/module.h"
#include "com/tavirex_h.h"
#include "hostenv/win32/late_bound.h"
#include "hostenv/win32/text.h"
#include "plugin/cls_tavirex.h"

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

// The type tavirex.idl gives the value of each kind of member in
// plugin/properties.def.
using IdlString = BSTR;
using IdlBool = VARIANT_BOOL;
using IdlInt16 = short;
using IdlInt32 = LONG;
using IdlObject = IDispatch*;

// The accessors of one row of plugin/properties.def, declared as widl
// declares them: a Get returns the value through a pointer, a Let or Set
// takes the value itself or (ByRef) a pointer to it.
#define TAVIREX_PASS_ByValue(Type) Type
#define TAVIREX_PASS_ByRef(Type) Type*
#define TAVIREX_GET(Name, Kind, Source) \
  HRESULT STDMETHODCALLTYPE get_##Name(Idl##Kind* out) override { return Get(Source, out); }
#define TAVIREX_PUT(Prefix, Name, Kind, Pass)                                             \
  HRESULT STDMETHODCALLTYPE Prefix##Name(TAVIREX_PASS_##Pass(Idl##Kind) value) override { \
    return Put(p().Name, value);                                                          \
  }
#define TAVIREX_ACCESS_GetLet(Name, Kind, Pass) \
  TAVIREX_GET(Name, Kind, p().Name) TAVIREX_PUT(put_, Name, Kind, Pass)
#define TAVIREX_ACCESS_GetSet(Name, Kind, Pass) \
  TAVIREX_GET(Name, Kind, p().Name) TAVIREX_PUT(putref_, Name, Kind, Pass)
#define TAVIREX_ACCESS_GetOnly(Name, Kind, Pass) TAVIREX_GET(Name, Kind, p().Name)
#define TAVIREX_ACCESS_LetOnly(Name, Kind, Pass) TAVIREX_PUT(put_, Name, Kind, Pass)

class TavirexObject final : public AutomationObject<TavirexObject, _clsTavirex, &IID__clsTavirex> {
 public:
  TavirexObject() : core_(SharedHostModule(), SharedImageListView()) {}

  // _clsTavirex: the stored and the constant members.
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) TAVIREX_ACCESS_##Access(Name, Kind, Pass)
#define TAVIREX_CONSTANT(Name, Kind, Value) TAVIREX_GET(Name, Kind, ClsTavirex::Name())
#include "plugin/properties.def"

  // _clsTavirex: the operations.
  HRESULT STDMETHODCALLTYPE get_DeviceNames(IDispatch** out) override {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = nullptr;
    return Call([&] { *out = NewStringCollection(ClsTavirex::DeviceNames()); });
  }
  HRESULT STDMETHODCALLTYPE GetIDFromEquipFName(BSTR* device_name, BSTR* file_name,
                                                BSTR* out) override {
    if (device_name == nullptr || file_name == nullptr) return PlainFailure(E_POINTER);
    return ReturnText(out, [&] {
      return ClsTavirex::GetIDFromEquipFName(Utf8FromBstr(*device_name), Utf8FromBstr(*file_name));
    });
  }
  HRESULT STDMETHODCALLTYPE LoadEquipProps(BSTR* device_name) override {
    if (device_name == nullptr) return PlainFailure(E_POINTER);
    return Call([&] { core_.LoadEquipProps(Utf8FromBstr(*device_name)); });
  }
  HRESULT STDMETHODCALLTYPE NumPatientImageFiles(LONG* out) override {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = 0;
    return Call([&] { *out = core_.NumPatientImageFiles(); });
  }
  HRESULT STDMETHODCALLTYPE DoDeviceFunction(BSTR* out) override {
    return RunDeviceFunction(out, &ClsTavirex::DoDeviceFunction);
  }
  HRESULT STDMETHODCALLTYPE ReviewDevice(BSTR* out) override {
    return RunDeviceFunction(out, &ClsTavirex::ReviewDevice);
  }
  HRESULT STDMETHODCALLTYPE CaptureDevice(BSTR* out) override {
    return RunDeviceFunction(out, &ClsTavirex::CaptureDevice);
  }
  HRESULT STDMETHODCALLTYPE ParseFileName(VARIANT* file_name, BSTR* folder, BSTR* out) override {
    if (file_name == nullptr || folder == nullptr) return PlainFailure(E_POINTER);
    return ReturnText(
        out, [&] { return core_.ParseFileName(TextOfVariant(*file_name), Utf8FromBstr(*folder)); });
  }
  HRESULT STDMETHODCALLTYPE GetPraxoDBPath(BSTR* out) override {
    return ReturnText(out, [&] { return core_.GetPraxoDBPath(); });
  }
  HRESULT STDMETHODCALLTYPE fun_sFixString(BSTR* text, BSTR* out) override {
    if (text == nullptr) return PlainFailure(E_POINTER);
    return ReturnText(out, [&] { return ClsTavirex::fun_sFixString(Utf8FromBstr(*text)); });
  }
  HRESULT STDMETHODCALLTYPE ShouldWriteToLog(VARIANT_BOOL* out) override {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = VARIANT_FALSE;
    return Call([&] { *out = core_.ShouldWriteToLog(); });
  }
  HRESULT STDMETHODCALLTYPE WriteToLog(BSTR* text) override {
    if (text == nullptr) return PlainFailure(E_POINTER);
    return Call([&] { core_.WriteToLog(Utf8FromBstr(*text)); });
  }

 private:
  TavirexProperties& p() { return core_.props(); }

  // Every call holds a reference of its own: a host may let go of the object
  // while a box or the image list window of the call is up, and the object
  // then goes when the call ends.
  template <typename Body>
  HRESULT Call(Body&& body) {
    AddRef();
    const HRESULT result = ComCall(IID__clsTavirex, kSource, std::forward<Body>(body));
    Release();  // may destroy the object: nothing touches it after this
    return result;
  }

  // One device function at a time on an object. While a box or the window of
  // one is up the host's windows are disabled, but its timers still run: a
  // device function called from one does not run and returns "".
  HRESULT RunDeviceFunction(BSTR* out, std::string (ClsTavirex::*device_function)()) {
    return ReturnText(out, [&] {
      if (device_function_running_) return std::string();
      device_function_running_ = true;
      struct Done {
        bool& running;
        ~Done() { running = false; }
      } done{device_function_running_};
      return (core_.*device_function)();
    });
  }

  template <typename Compute>
  HRESULT ReturnText(BSTR* out, Compute&& compute) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = nullptr;
    return Call([&] { SetBstr(out, compute()); });
  }

  HRESULT Get(const std::string& value, BSTR* out) {
    return ReturnText(out, [&] { return value; });
  }
  // Numbers; booleans go back exactly as they were assigned, whatever the bits.
  template <typename Value, typename Out>
  requires std::is_arithmetic_v<Value>
  static HRESULT Get(Value value, Out* out) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    *out = value;
    return S_OK;
  }
  static HRESULT Get(const HostObjectRef& slot, IDispatch** out) {
    if (out == nullptr) return PlainFailure(E_POINTER);
    auto* held = dynamic_cast<DispatchHostObject*>(slot.get());
    *out = held != nullptr ? held->dispatch() : nullptr;
    if (*out != nullptr) (*out)->AddRef();
    return S_OK;
  }

  HRESULT Put(std::string& slot, BSTR value) {
    return Call([&] { slot = Utf8FromBstr(value); });
  }
  static HRESULT Put(VbBool& slot, VARIANT_BOOL value) {
    slot = value;
    return S_OK;
  }
  static HRESULT Put(std::int32_t& slot, LONG value) {
    slot = value;
    return S_OK;
  }
  HRESULT Put(HostObjectRef& slot, IDispatch* value) {
    // The new reference is taken before the old one is released, so that
    // assigning the held object again keeps it alive.
    return Call(
        [&] { slot = value != nullptr ? std::make_shared<DispatchHostObject>(value) : nullptr; });
  }
  // A value passed by reference: read through the pointer, never written.
  template <typename Slot, typename Value>
  HRESULT Put(Slot& slot, Value* value) {
    if (value == nullptr) return PlainFailure(E_POINTER);
    return Put(slot, *value);
  }

  ClsTavirex core_;
  bool device_function_running_ = false;
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
