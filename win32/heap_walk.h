#pragma once
// Walks the blocks in use on every heap of this process: how the benchmark
// build and the tests see memory that stays behind.

#include <windows.h>

#include <cstddef>

// Calls `onBlock(size)` for each block in use.
template <typename OnBlock>
void ForEachHeapBlockInUse(OnBlock&& onBlock) {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD h = 0; h < count && h < 64; ++h) {
    if (!HeapLock(heaps[h])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[h], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) onBlock(static_cast<std::size_t>(entry.cbData));
    }
    HeapUnlock(heaps[h]);
  }
}
