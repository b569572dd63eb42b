#include "tools/host/members.h"

#include <array>

#include "winrules/vb_string.h"

namespace tavirex::host {
namespace {

enum class OperationForm { GetOnly, Function, Sub };

// The device functions, which answer "Was OK".
constexpr std::string_view kReportsSuccess[] = {"DoDeviceFunction", "ReviewDevice",
                                                "CaptureDevice"};

constexpr OperationInfo MakeOperation(std::string_view name, OperationForm form,
                                      std::size_t arity) {
  OperationInfo info{name, form == OperationForm::GetOnly, form != OperationForm::Sub,
                     arity == 0                 ? Arguments::kNone
                     : arity == 2               ? Arguments::kTwoTexts
                     : name == "LoadEquipProps" ? Arguments::kDeviceName
                                                : Arguments::kText,
                     false};
  for (std::string_view reporting : kReportsSuccess) info.reports_success |= reporting == name;
  return info;
}

constexpr std::array kOperations = {
#define TAVIREX_OPERATION(Name, Form) \
  MakeOperation(#Name, OperationForm::Form, Arity(&ClsTavirex::Name)),
#include "plugin/properties.def"
};

constexpr std::array kConstants = {
#define TAVIREX_CONSTANT(Name, Kind, Value) std::string_view(#Name),
#include "plugin/properties.def"
};

// Stored properties and constants, in the order of the member list.
constexpr std::array kReadableInOrder = {
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) std::string_view(#Name),
#define TAVIREX_CONSTANT(Name, Kind, Value) std::string_view(#Name),
#include "plugin/properties.def"
};

}  // namespace

std::span<const OperationInfo> Operations() { return kOperations; }

std::string Usage(const OperationInfo& operation) {
  switch (operation.arguments) {
    case Arguments::kNone:
      return std::string(operation.name);
    case Arguments::kText:
      return std::string(operation.name) + ":TEXT";
    case Arguments::kDeviceName:
      return std::string(operation.name) + "[:DEVICE]";
    case Arguments::kTwoTexts:
      break;
  }
  return std::string(operation.name) + ":TEXT:TEXT";
}

const OperationInfo* FindOperation(std::string_view name) {
  for (const OperationInfo& info : kOperations) {
    if (EqualsIgnoreCaseAscii(info.name, name)) return &info;
  }
  return nullptr;
}

std::string_view FindConstant(std::string_view name) {
  for (std::string_view constant : kConstants) {
    if (EqualsIgnoreCaseAscii(constant, name)) return constant;
  }
  return {};
}

std::vector<std::string_view> ReadableMembers() {
  std::vector<std::string_view> names;
  for (std::string_view name : kReadableInOrder) {
    const PropertyInfo* property = FindStoredProperty(name);
    if (property == nullptr || property->has_get) names.push_back(name);
  }
  return names;
}

std::vector<std::string> MemberNames() {
  std::vector<std::string> names(kReadableInOrder.begin(), kReadableInOrder.end());
  for (const OperationInfo& info : kOperations) names.emplace_back(info.name);
  for (const PropertyInfo& info : StoredProperties()) names.emplace_back(info.name);
  return names;
}

}  // namespace tavirex::host
