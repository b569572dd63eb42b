// Heap accounting for the benchmarks: this binary replaces the global
// operator new and delete, and while counting is on keeps the bytes that are
// live and their peak. libc's own buffers (opendir's) are not operator new's
// and stay outside it.
#pragma once

#include <cstddef>

namespace tavirex::bench {

// Starts counting from zero: live bytes allocated from now on, and their peak.
void StartHeapCount();
// Stops counting; returns the peak of the bytes live at once since the start.
std::size_t StopHeapCount();

}  // namespace tavirex::bench
