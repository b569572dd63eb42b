#include "tools/host/members.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "winrules/vb_string.h"

namespace tavirex::host {
namespace {

// How an operation of properties.def takes its step's argument; those not
// listed take none.
struct ArgumentsOf {
  std::string_view name;
  Arguments arguments;
  std::string_view usage;
};
constexpr ArgumentsOf kArguments[] = {
    {"GetIDFromEquipFName", Arguments::kTwoTexts, "GetIDFromEquipFName:DEVICE:FILE"},
    {"LoadEquipProps", Arguments::kDeviceName, "LoadEquipProps[:DEVICE]"},
    {"ParseFileName", Arguments::kTwoTexts, "ParseFileName:FILE:FOLDER"},
    {"fun_sFixString", Arguments::kText, "fun_sFixString:TEXT"},
    {"WriteToLog", Arguments::kText, "WriteToLog:TEXT"},
};
// The device functions' result words.
constexpr std::string_view kReportsSuccess[] = {"DoDeviceFunction", "ReviewDevice",
                                                "CaptureDevice"};

enum class OperationForm { GetOnly, Function, Sub };

constexpr OperationInfo MakeOperation(std::string_view name, OperationForm form) {
  OperationInfo info{
      name, form == OperationForm::GetOnly, form != OperationForm::Sub, Arguments::kNone, false,
      name};
  for (const ArgumentsOf& entry : kArguments) {
    if (entry.name == name) {
      info.arguments = entry.arguments;
      info.usage = entry.usage;
    }
  }
  for (std::string_view reporting : kReportsSuccess) info.reports_success |= reporting == name;
  return info;
}

constexpr std::array kOperations = {
#define TAVIREX_OPERATION(Name, Form) MakeOperation(#Name, OperationForm::Form),
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

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Insertions, deletions and changes, without regard to case.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const std::size_t change = Upper(a[i - 1]) == Upper(b[j - 1]) ? 0 : 1;
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + change});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::span<const OperationInfo> Operations() { return kOperations; }

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

std::string_view ClosestMemberName(std::string_view name) {
  std::string_view best;
  std::size_t best_distance = 3;
  auto consider = [&](std::string_view candidate) {
    const std::size_t distance = EditDistance(name, candidate);
    if (distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  };
  for (std::string_view member : kReadableInOrder) consider(member);
  for (const OperationInfo& info : kOperations) consider(info.name);
  for (const PropertyInfo& info : StoredProperties()) consider(info.name);
  return best;
}

}  // namespace tavirex::host
