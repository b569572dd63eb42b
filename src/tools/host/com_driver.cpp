// The registered class, created by its ProgID and driven late-bound through
// IDispatch, as the host does; the plug-in shows its boxes to the user.
#include "hostenv/win32/late_bound.h"

#include <iostream>

#include "hostenv/system.h"
#include "hostenv/win32/win32_platform.h"
#include "tools/host/host_tool.h"

namespace tavirex::host {
namespace {

// The apartment the host's thread lives in; the class is apartment-threaded.
struct Apartment {
  Apartment() {
    if (const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); FAILED(result)) {
      throw VbErrorFromHresult(result);
    }
  }
  ~Apartment() { CoUninitialize(); }
};

// As VB's CStr writes it; an object as "Nothing" or "<object>".
std::string TextOf(const Variant& value) {
  const VARIANT& v = value.get();
  if (V_VT(&v) == VT_DISPATCH || V_VT(&v) == VT_UNKNOWN) {
    return V_UNKNOWN(&v) == nullptr ? "Nothing" : "<object>";
  }
  if (std::optional<std::string> text = TextOfVariant(v)) return *text;
  throw VbError(vberr::kTypeMismatch);  // Null
}

// Counts the dialogs of the system's box class created on this thread.
std::size_t boxes_shown = 0;
LRESULT CALLBACK CountBoxes(int code, WPARAM window, LPARAM details) {
  if (code == HCBT_CREATEWND) {
    const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(details);
    if (reinterpret_cast<std::uintptr_t>(create->lpcs->lpszClass) == 32770) ++boxes_shown;
  }
  return CallNextHookEx(nullptr, code, window, details);
}

class ComDriver final : public Driver {
 public:
  ComDriver()
      : hook_(SetWindowsHookExW(WH_CBT, CountBoxes, nullptr, GetCurrentThreadId()),
              UnhookWindowsHookEx),
        object_(LateBoundObject::Create(kClassProgId)) {}
  std::size_t BoxesShown() const override { return boxes_shown; }

  // The value in the property's own type, by the property table's conversion.
  void Let(const PropertyInfo& property, const std::string& text) override {
    TavirexProperties value;
    AssignSlotText(value, property, text);
    const auto* flag = std::get_if<VbBool TavirexProperties::*>(&property.slot);
    const auto* number = std::get_if<std::int32_t TavirexProperties::*>(&property.slot);
    object_.Invoke(std::string(property.name), DISPATCH_PROPERTYPUT,
                   {flag     ? Variant::Bool(value.**flag)
                    : number ? Variant::Long(value.**number)
                             : Variant::Text(text)});
  }

  std::string Get(std::string_view name) override {
    return TextOf(object_.Invoke(std::string(name), DISPATCH_PROPERTYGET));
  }

  CallResult Call(const OperationInfo& operation,
                  const std::vector<std::string>& arguments) override {
    std::vector<Variant> values;
    for (const std::string& argument : arguments) values.push_back(Variant::Text(argument));
    const Variant result = object_.Invoke(
        std::string(operation.name),
        operation.form == OperationForm::GetOnly ? DISPATCH_PROPERTYGET : DISPATCH_METHOD, values);
    const VARIANT& v = result.get();
    if (V_VT(&v) != VT_DISPATCH || V_DISPATCH(&v) == nullptr) return TextOf(result);
    // A collection: its items through its own members, Count and Item(1..Count).
    V_DISPATCH(&v)->AddRef();
    LateBoundObject items(V_DISPATCH(&v));
    const long count = V_I4(&items.Invoke("Count", DISPATCH_PROPERTYGET).get());
    std::vector<std::string> texts;
    for (long i = 1; i <= count; ++i) {
      texts.push_back(
          TextOf(items.Invoke("Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant::Long(i)})));
    }
    return texts;
  }

  void AnswerAfterFiles(const std::string&, std::size_t) override {
    throw VbError(vberr::kInvalidProcedureCall);  // refused before the run: the user answers
  }

 private:
  Apartment apartment_;
  std::unique_ptr<HHOOK__, decltype(&UnhookWindowsHookEx)> hook_;
  LateBoundObject object_;
};

}  // namespace

DriverFactory SystemDriverFactory() {
  return {
      "Here tavirex-host creates Tavirex.clsTavirex through COM, by its ProgID, and calls it\n"
      "through IDispatch by member name, as the host does: it drives the registered\n"
      "tavirex.dll, which writes its logs beside itself and shows its own message boxes.\n",
      false, [] {
        const ClassRegistration registration = FindClassRegistration(kClassProgId);
        std::unique_ptr<Driver> driver = std::make_unique<ComDriver>();
        if (!registration.server.empty()) {
          std::cerr << "(" << kClassProgId << " from " << registration.server << ")\n";
        }
        return driver;
      }};
}

}  // namespace tavirex::host
