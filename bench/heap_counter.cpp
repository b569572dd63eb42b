#include "heap_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace tavirex::bench {
namespace {

std::atomic<bool> counting{false};
std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr && counting.load(std::memory_order_relaxed)) {
    long long now = live += static_cast<long long>(malloc_usable_size(block));
    long long high = peak.load(std::memory_order_relaxed);
    while (now > high && !peak.compare_exchange_weak(high, now)) {
    }
  }
  return block;
}

void Release(void* block) {
  if (block == nullptr) return;
  // A block from before the start counts as negative growth; the peak only
  // looks at growth, so freeing it never hides an allocation.
  if (counting.load(std::memory_order_relaxed)) {
    live -= static_cast<long long>(malloc_usable_size(block));
  }
  std::free(block);
}

}  // namespace

void StartHeapCount() {
  live = 0;
  peak = 0;
  counting = true;
}

std::size_t StopHeapCount() {
  counting = false;
  return static_cast<std::size_t>(peak.load());
}

}  // namespace tavirex::bench

using tavirex::bench::Allocate;
using tavirex::bench::Release;

void* operator new(std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
