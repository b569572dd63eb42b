// The C++ runtime's failure paths, written for the DLL. libstdc++'s own would
// link its demangler, the C runtime's printf and a second string
// implementation (the one its exception classes carry) into the DLL: more
// than a third of its size, for paths a correct plug-in never takes.
#include <cstdlib>
#include <new>

#include "winrules/vb_error.h"

// An exception that escapes every handler ends the process, inside the host
// there is nobody to read the type name the default handler prints.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The standard library's own failures, all of them, so that none of its
// exception classes is linked. A size beyond what a container can hold is out
// of memory, as VB reports it (7); anything else is a wrong argument (VB's 5)
// or a failed lock. They reach the host as VB errors through the usual catch.
namespace std {
namespace {
[[noreturn]] void ThrowInvalidArgument() {
  throw tavirex::VbError(tavirex::vberr::kInvalidProcedureCall);
}
}  // namespace

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_bad_cast() { ThrowInvalidArgument(); }
void __throw_bad_typeid() { ThrowInvalidArgument(); }
void __throw_bad_exception() { ThrowInvalidArgument(); }
void __throw_logic_error(const char*) { ThrowInvalidArgument(); }
void __throw_domain_error(const char*) { ThrowInvalidArgument(); }
void __throw_invalid_argument(const char*) { ThrowInvalidArgument(); }
void __throw_out_of_range(const char*) { ThrowInvalidArgument(); }
void __throw_out_of_range_fmt(const char*, ...) { ThrowInvalidArgument(); }
void __throw_runtime_error(const char*) { ThrowInvalidArgument(); }
void __throw_range_error(const char*) { ThrowInvalidArgument(); }
void __throw_overflow_error(const char*) { ThrowInvalidArgument(); }
void __throw_underflow_error(const char*) { ThrowInvalidArgument(); }
void __throw_system_error(int) { ThrowInvalidArgument(); }
}  // namespace std
