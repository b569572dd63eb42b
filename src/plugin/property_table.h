// The stored properties of clsTavirex by name, for the command-line host and
// the tests: one row per slot, in interface order.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "plugin/cls_tavirex.h"

namespace tavirex {

struct PropertyInfo {
  using Slot = std::variant<std::string TavirexProperties::*, VbBool TavirexProperties::*,
                            std::int32_t TavirexProperties::*, HostObjectRef TavirexProperties::*>;
  std::string_view name;
  Slot slot;
  bool has_get;
  bool has_let;  // Let for values, Set for objects
};

std::span<const PropertyInfo> StoredProperties();
// The row named `name`, without regard to case as the host's dispatch
// matches names; nullptr when there is none.
const PropertyInfo* FindStoredProperty(std::string_view name);

// A slot's value as text ("-1"/"0" for booleans, "Nothing"/"<object>" for
// objects) and a text assigned to it; 13 "Type mismatch" for a text that is
// not a number where one is wanted.
std::string SlotText(const TavirexProperties& props, const PropertyInfo& info);
void AssignSlotText(TavirexProperties& props, const PropertyInfo& info, std::string_view text);

}  // namespace tavirex
