#include "plugin/property_table.h"

#include <array>
#include <charconv>

#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

using P = TavirexProperties;

// What each access of properties.def offers the host.
struct AccessFlags {
  bool get;
  bool let;
};
constexpr AccessFlags kGetLet{true, true};
constexpr AccessFlags kGetSet{true, true};
constexpr AccessFlags kGetOnly{true, false};
constexpr AccessFlags kLetOnly{false, true};

const std::array kProperties = {
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) \
  PropertyInfo{#Name, &P::Name, k##Access.get, k##Access.let},
#include "plugin/properties.def"
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
    void operator()(std::int32_t P::*slot) const { props.*slot = ParseInteger<std::int32_t>(text); }
    void operator()(HostObjectRef P::*slot) const {
      if (!EqualsIgnoreCaseAscii(text, "Nothing")) throw VbError(vberr::kTypeMismatch);
      (props.*slot).reset();
    }
  };
  std::visit(Visitor{props, text}, info.slot);
}

}  // namespace tavirex
