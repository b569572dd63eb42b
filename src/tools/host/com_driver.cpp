// On Windows tavirex-host creates the registered class by its ProgID through
// COM and drives it late-bound through IDispatch, by member name, as the host
// does; the plug-in shows its own boxes and windows, to the user.
#include "hostenv/win32/late_bound.h"

#include <iostream>

#include "hostenv/system.h"
#include "hostenv/win32/text.h"
#include "hostenv/win32/win32_platform.h"
#include "tools/host/driver.h"

namespace tavirex::host {
namespace {

// The apartment the host's thread lives in; the class is apartment-threaded.
class Apartment {
 public:
  Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
    if (FAILED(result_)) throw VbErrorFromHresult(result_);
  }
  ~Apartment() { CoUninitialize(); }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  HRESULT result_;
};

std::string TextOf(const Variant& value) {
  const VARIANT& v = value.get();
  switch (V_VT(&v)) {
    case VT_EMPTY:
      return "";
    case VT_BSTR:
      return Utf8FromBstr(V_BSTR(&v));
    case VT_BOOL:
      return BoolText(V_BOOL(&v));
    case VT_I2:
      return std::to_string(V_I2(&v));
    case VT_I4:
      return std::to_string(V_I4(&v));
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return V_UNKNOWN(&v) == nullptr ? "Nothing" : "<object>";
    default:
      break;
  }
  Variant text;
  const HRESULT result = VariantChangeType(&text.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR);
  if (FAILED(result)) throw VbErrorFromHresult(result);
  return Utf8FromBstr(V_BSTR(&text.get()));
}

// A collection's items through its own members, Count and Item(1..Count).
std::vector<std::string> Items(IDispatch* collection) {
  collection->AddRef();
  LateBoundObject items(collection);
  const long count = V_I4(&items.Invoke("Count", DISPATCH_PROPERTYGET).get());
  std::vector<std::string> texts;
  for (long i = 1; i <= count; ++i) {
    texts.push_back(
        TextOf(items.Invoke("Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant::Long(i)})));
  }
  return texts;
}

// Counts the message boxes the plug-in opens on this thread: dialogs of the
// system's box class as they are created.
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
      : hook_(SetWindowsHookExW(WH_CBT, CountBoxes, nullptr, GetCurrentThreadId())),
        object_(LateBoundObject::Create(kClassProgId)) {}
  ~ComDriver() override {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  }
  std::size_t BoxesShown() const override { return boxes_shown; }

  void Let(const PropertyInfo& property, const LetValue& value) override {
    struct Visitor {
      Variant operator()(const std::string& text) const { return Variant::Text(text); }
      Variant operator()(VbBool flag) const { return Variant::Bool(flag); }
      Variant operator()(std::int32_t number) const { return Variant::Long(number); }
    };
    object_.Invoke(std::string(property.name), DISPATCH_PROPERTYPUT,
                   {std::visit(Visitor{}, value)});
  }

  std::string Get(std::string_view name) override {
    return TextOf(object_.Invoke(std::string(name), DISPATCH_PROPERTYGET));
  }

  CallResult Call(const OperationInfo& operation,
                  const std::vector<std::string>& arguments) override {
    std::vector<Variant> values;
    for (const std::string& argument : arguments) values.push_back(Variant::Text(argument));
    const Variant result =
        object_.Invoke(std::string(operation.name),
                       operation.is_property_get ? DISPATCH_PROPERTYGET : DISPATCH_METHOD, values);
    if (!operation.has_result) return {};
    const VARIANT& v = result.get();
    if (V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v) != nullptr) return Items(V_DISPATCH(&v));
    return TextOf(result);
  }

  void AnswerAfterFiles(const std::string&, std::size_t) override {
    throw VbError(vberr::kInvalidProcedureCall);  // refused before the run: the user answers
  }

 private:
  Apartment apartment_;
  HHOOK hook_;
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
