// Process-heap allocation for the shim's records, with a one-shot failure switch for tests.
#include "shim_heap.h"

#include <windows.h>

namespace kova_shim {
namespace {

volatile LONG g_failCountdown = 0;  // > 0: allocations left before the one that fails
volatile LONG g_liveBlocks = 0;

}  // namespace

void* HeapAllocate(std::size_t bytes) noexcept {
  if (g_failCountdown > 0 && InterlockedDecrement(&g_failCountdown) == 0) return nullptr;
  void* block = HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
  if (block) InterlockedIncrement(&g_liveBlocks);
  return block;
}

void HeapRelease(void* block) noexcept {
  if (!block) return;
  HeapFree(GetProcessHeap(), 0, block);
  InterlockedDecrement(&g_liveBlocks);
}

void FailAllocationForTest(long nth) noexcept {
  InterlockedExchange(&g_failCountdown, nth > 0 ? nth : 0);
}

long LiveAllocationsForTest() noexcept { return g_liveBlocks; }

}  // namespace kova_shim
