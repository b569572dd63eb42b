#include "winrules/vb_error.h"

#include <new>

namespace tavirex {
namespace {

constexpr std::uint32_t kFacilityControl = 0x800A0000;

struct Described {
  int number;
  const char* description;
};

constexpr Described kDescriptions[] = {
    {vberr::kReturnWithoutGoSub, "Return without GoSub"},
    {vberr::kInvalidProcedureCall, "Invalid procedure call or argument"},
    {vberr::kOverflow, "Overflow"},
    {vberr::kOutOfMemory, "Out of memory"},
    {vberr::kSubscriptOutOfRange, "Subscript out of range"},
    {vberr::kDivisionByZero, "Division by zero"},
    {vberr::kTypeMismatch, "Type mismatch"},
    {vberr::kBadFileNameOrNumber, "Bad file name or number"},
    {vberr::kFileNotFound, "File not found"},
    {vberr::kBadFileMode, "Bad file mode"},
    {vberr::kFileAlreadyOpen, "File already open"},
    {vberr::kDeviceIoError, "Device I/O error"},
    {vberr::kFileAlreadyExists, "File already exists"},
    {vberr::kDiskFull, "Disk full"},
    {vberr::kInputPastEndOfFile, "Input past end of file"},
    {vberr::kTooManyFiles, "Too many files"},
    {vberr::kDeviceUnavailable, "Device unavailable"},
    {vberr::kPermissionDenied, "Permission denied"},
    {vberr::kDiskNotReady, "Disk not ready"},
    {vberr::kCantRenameWithDifferentDrive, "Can't rename with different drive"},
    {vberr::kPathFileAccessError, "Path/File access error"},
    {vberr::kPathNotFound, "Path not found"},
    {vberr::kObjectNotSet, "Object variable or With block variable not set"},
    {vberr::kInvalidUseOfNull, "Invalid use of Null"},
    {vberr::kObjectRequired, "Object required"},
    {vberr::kCantCreateObject, "ActiveX component can't create object"},
    {vberr::kMemberNotSupported, "Object doesn't support this property or method"},
    {vberr::kAutomationError, "Automation error"},
    {vberr::kDuplicateKey, "This key is already associated with an element of this collection"},
};

}  // namespace

std::string VbErrorDescription(int number) {
  for (const Described& entry : kDescriptions) {
    if (entry.number == number) return entry.description;
  }
  return "Application-defined or object-defined error";
}

VbError::VbError(int number) : VbError(number, VbErrorDescription(number)) {}

VbError::VbError(int number, std::string description)
    : number_(number), description_(std::move(description)) {}

VbError CurrentFailure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const VbError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return VbError(vberr::kOutOfMemory);
  } catch (const std::exception& e) {
    return VbError(vberr::kAutomationError, e.what());
  } catch (...) {
    return VbError(vberr::kAutomationError);
  }
}

std::int32_t HresultFromVbNumber(int number) {
  if (number < 0) return number;
  return static_cast<std::int32_t>(kFacilityControl |
                                   (static_cast<std::uint32_t>(number) & 0xFFFF));
}

std::optional<int> VbNumberFromHresult(std::int32_t result) {
  const auto bits = static_cast<std::uint32_t>(result);
  if ((bits & 0xFFFF0000) != kFacilityControl) return std::nullopt;
  return static_cast<int>(bits & 0xFFFF);
}

}  // namespace tavirex
