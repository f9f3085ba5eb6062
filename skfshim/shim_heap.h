// Heap blocks for the shim's records and lists: never throws, reports failure as null, and lets
// tests make one chosen allocation fail and count the blocks still held.
#pragma once

#include <cstddef>
#include <new>

namespace kova_shim {

// A block of at least `bytes` bytes from the process heap, 16-byte aligned; null when none can
// be had.
void* HeapAllocate(std::size_t bytes) noexcept;
// Gives back a block from HeapAllocate; null is ignored.
void HeapRelease(void* block) noexcept;

// Makes the nth allocation from now fail once (1 = the next one); 0 cancels a pending failure.
void FailAllocationForTest(long nth) noexcept;
// Blocks handed out by HeapAllocate and not yet released.
long LiveAllocationsForTest() noexcept;

}  // namespace kova_shim

// Class-scope allocation through kova_shim::HeapAllocate: objects are made with
// `new (std::nothrow) T(...)`, which yields null when memory is short, and the throwing form is
// not available.
#define KOVA_SHIM_HEAP_OBJECT                                                            \
  static void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {         \
    return ::kova_shim::HeapAllocate(bytes);                                             \
  }                                                                                      \
  static void operator delete(void* block, const std::nothrow_t&) noexcept {             \
    ::kova_shim::HeapRelease(block);                                                     \
  }                                                                                      \
  static void operator delete(void* block) noexcept { ::kova_shim::HeapRelease(block); } \
  static void* operator new(std::size_t) = delete;                                       \
  static void* operator new[](std::size_t) = delete;
