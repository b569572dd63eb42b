// Failures carry a VB runtime error number and its description, so that error
// lines, the error file and a VB host all see what a VB6 component would give.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace tavirex {

// The VB runtime error numbers this plug-in raises, passes on or describes.
namespace vberr {
inline constexpr int kReturnWithoutGoSub = 3;
inline constexpr int kInvalidProcedureCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kBadFileNameOrNumber = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kBadFileMode = 54;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIoError = 57;
inline constexpr int kFileAlreadyExists = 58;
inline constexpr int kDiskFull = 61;
inline constexpr int kInputPastEndOfFile = 62;
inline constexpr int kTooManyFiles = 67;
inline constexpr int kDeviceUnavailable = 68;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kDiskNotReady = 71;
inline constexpr int kCantRenameWithDifferentDrive = 74;
inline constexpr int kPathFileAccessError = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kInvalidUseOfNull = 94;
inline constexpr int kObjectRequired = 424;
inline constexpr int kCantCreateObject = 429;
inline constexpr int kMemberNotSupported = 438;
inline constexpr int kAutomationError = 440;
inline constexpr int kDuplicateKey = 457;
}  // namespace vberr

// The standard VB description of a runtime error number ("Application-defined
// or object-defined error" for numbers VB has no text for).
std::string VbErrorDescription(int number);

// Derives from std::exception alone: the standard library's string-carrying
// exceptions would link a second string implementation into the DLL.
class VbError : public std::exception {
 public:
  explicit VbError(int number);
  VbError(int number, std::string description);

  const char* what() const noexcept override { return description_.c_str(); }

  int number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int number_;
  std::string description_;
};

// Turns any exception escaping a workflow into the number and description a VB
// error handler would have seen (Err.Number, Err.Description).
VbError CurrentFailure(std::exception_ptr failure);

// How a VB6 component's runtime error leaves through COM: error n is the
// HRESULT 0x800A0000 | n (FACILITY_CONTROL); a negative number already is an
// HRESULT (a system failure the component passes on).
std::int32_t HresultFromVbNumber(int number);
// The error number of such an HRESULT; nullopt for any other.
std::optional<int> VbNumberFromHresult(std::int32_t result);

}  // namespace tavirex
