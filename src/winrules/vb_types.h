// The automation value types VB hands around: its Date and its Boolean.
#pragma once

#include <cstdint>

namespace tavirex {

// An OLE Automation date: days since 30 December 1899, the time of day as the
// fraction (VB's Date type).
using VbDate = double;

// 16-bit automation boolean, kept exactly as assigned.
using VbBool = std::int16_t;
inline constexpr VbBool kVbTrue = -1;
inline constexpr VbBool kVbFalse = 0;

}  // namespace tavirex
