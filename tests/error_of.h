// The VB error number an action raises, 0 for none: what every suite asks of
// a failing call.
#pragma once

#include "winrules/vb_error.h"

namespace tavirex::testing {

template <typename Action>
int ErrorOf(Action action) {
  try {
    action();
  } catch (const VbError& failure) {
    return failure.number();
  }
  return 0;
}

}  // namespace tavirex::testing
