// How tavirex-host reaches one clsTavirex object. Each system has its own
// driver: on Windows the registered class through COM and IDispatch, as the
// host reaches it; on POSIX the class itself, in this process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "plugin/property_table.h"
#include "tools/host/members.h"
#include "winrules/vb_types.h"

namespace tavirex::host {

// A value to assign, of the property's own type.
using LetValue = std::variant<std::string, VbBool, std::int32_t>;

// What an operation gives back: nothing (a Sub), a text, or a collection's
// items.
using CallResult = std::variant<std::monostate, std::string, std::vector<std::string>>;

// Values as VB's CStr writes them.
inline std::string BoolText(VbBool value) { return value ? "True" : "False"; }

class Driver {
 public:
  virtual ~Driver() = default;

  // Failures of the object reach the caller as VbError, as the host sees a
  // failed call.
  virtual void Let(const PropertyInfo& property, const LetValue& value) = 0;
  // A stored property or a constant member, as text; an object reference as
  // "Nothing" or "<object>".
  virtual std::string Get(std::string_view name) = 0;
  virtual CallResult Call(const OperationInfo& operation,
                          const std::vector<std::string>& arguments) = 0;
  // Holds the next message box until `folder` holds `count` files that have
  // stopped changing (60 s at most). Only where the driver answers the boxes.
  virtual void AnswerAfterFiles(const std::string& folder, std::size_t count) = 0;
  // How many message boxes the object has shown so far.
  virtual std::size_t BoxesShown() const = 0;
};

struct DriverFactory {
  // For the usage text: which object the driver reaches, and how.
  std::string_view description;
  // Whether the message boxes are answered by this program (scripted), so
  // that a step can hold one; on Windows the user answers them.
  bool answers_message_boxes = false;
  // Creates the object as the host does (start-up, construction); throws
  // VbError when it cannot be created.
  std::function<std::unique_ptr<Driver>()> create;
};

// This system's driver.
DriverFactory SystemDriverFactory();

}  // namespace tavirex::host
