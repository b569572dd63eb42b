// The members of clsTavirex that tavirex-host reaches by name, from the one
// member list (plugin/properties.def): the stored properties, the
// constant members and the operations, whose arguments a step gives as the
// class's own methods take them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/cls_tavirex.h"
#include "plugin/property_table.h"

namespace tavirex::host {

// What follows "OPERATION:" in a step.
enum class Arguments {
  kNone,
  kText,        // one text, possibly empty: fun_sFixString:O'Brien
  kDeviceName,  // optional; without it, the last DeviceName= of the run
  kTwoTexts,    // split at the first ':': ParseFileName:NAME:FOLDER
};

struct OperationInfo {
  std::string_view name;
  bool is_property_get;  // read as a property (DeviceNames) rather than called
  bool has_result;       // a Function or a Get; a Sub returns nothing
  Arguments arguments;
  // Returns "Was OK" on success and "" when it failed.
  bool reports_success;
};

// How many arguments a method of the class takes.
template <typename R, typename... A>
constexpr std::size_t Arity(R (*)(A...)) {
  return sizeof...(A);
}
template <typename R, typename... A>
constexpr std::size_t Arity(R (ClsTavirex::*)(A...)) {
  return sizeof...(A);
}

std::span<const OperationInfo> Operations();
// The step as the help shows it: "ParseFileName:TEXT:TEXT".
std::string Usage(const OperationInfo& operation);

// Members compare without regard to case, as the host's dispatch names them.
const OperationInfo* FindOperation(std::string_view name);
// A constant member (a Get with a fixed result), by name; "" when none.
std::string_view FindConstant(std::string_view name);

// Every member a step can read (stored properties with a Get and the
// constants), in interface order.
std::vector<std::string_view> ReadableMembers();

// Every member's name, for "did you mean".
std::vector<std::string> MemberNames();

}  // namespace tavirex::host
