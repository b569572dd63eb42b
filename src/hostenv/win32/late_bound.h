// A COM object reached late-bound through IDispatch, as VB's CreateObject and
// a script reach one: created by ProgID or CLSID, its members called by name,
// its failures turned into the VB errors a late-bound VB caller sees.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hostenv/win32/windows_api.h"

namespace tavirex {

// Owns one VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  Variant& operator=(const Variant&) = delete;

  static Variant Text(const std::string& text);  // VT_BSTR
  static Variant Bool(short value);              // VT_BOOL
  static Variant Long(long value);               // VT_I4

  VARIANT& get() { return value_; }
  const VARIANT& get() const { return value_; }

 private:
  VARIANT value_;
};

// VB's CStr of a variant, through any VT_BYREF: nullopt for Null, "" for
// Empty, "True"/"False" for booleans; 13 for what cannot be a string.
std::optional<std::string> TextOfVariant(const VARIANT& value);

class LateBoundObject {
 public:
  // Creates the class of a ProgID or of a "{CLSID}" in this apartment; 429
  // "ActiveX component can't create object" when it cannot be created.
  static LateBoundObject Create(const std::string& prog_id_or_clsid);
  // Takes over one reference.
  explicit LateBoundObject(IDispatch* object) : object_(object) {}
  ~LateBoundObject();
  LateBoundObject(LateBoundObject&& other) noexcept : object_(other.object_) {
    other.object_ = nullptr;
  }
  LateBoundObject(const LateBoundObject&) = delete;
  LateBoundObject& operator=(const LateBoundObject&) = delete;

  // Invokes the member `name` (DISPATCH_METHOD, _PROPERTYGET or _PROPERTYPUT;
  // the value of a put is the last argument) with the arguments in call
  // order. Throws VbError.
  Variant Invoke(const std::string& name, WORD flags, const std::vector<Variant>& arguments = {});

 private:
  IDispatch* object_;
};

}  // namespace tavirex
