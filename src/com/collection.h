// The automation collection the server hands out (DeviceNames): VB
// Collection semantics on the portable VbCollection, with For Each support.
#pragma once

#include <string>
#include <vector>

#include "hostenv/win32/windows_api.h"

namespace tavirex::com {

// A new collection holding `items` as strings without keys, in order.
// Throws std::bad_alloc.
IDispatch* NewStringCollection(const std::vector<std::string>& items);

}  // namespace tavirex::com
