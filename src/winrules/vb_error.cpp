#include "winrules/vb_error.h"

#include <new>

namespace tavirex {

std::string VbErrorDescription(int number) {
  switch (number) {
    case 3:
      return "Return without GoSub";
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case 11:
      return "Division by zero";
    case 13:
      return "Type mismatch";
    case 52:
      return "Bad file name or number";
    case 53:
      return "File not found";
    case 54:
      return "Bad file mode";
    case 55:
      return "File already open";
    case 57:
      return "Device I/O error";
    case 58:
      return "File already exists";
    case 61:
      return "Disk full";
    case 62:
      return "Input past end of file";
    case 67:
      return "Too many files";
    case 68:
      return "Device unavailable";
    case 70:
      return "Permission denied";
    case 71:
      return "Disk not ready";
    case 74:
      return "Can't rename with different drive";
    case 75:
      return "Path/File access error";
    case 76:
      return "Path not found";
    case 91:
      return "Object variable or With block variable not set";
    case 94:
      return "Invalid use of Null";
    case 424:
      return "Object required";
    case 429:
      return "ActiveX component can't create object";
    case 438:
      return "Object doesn't support this property or method";
    case 440:
      return "Automation error";
    case 457:
      return "This key is already associated with an element of this collection";
    default:
      return "Application-defined or object-defined error";
  }
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
    return VbError(440, e.what());
  } catch (...) {
    return VbError(440);
  }
}

}  // namespace tavirex
