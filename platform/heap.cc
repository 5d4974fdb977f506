#include "platform/heap.h"

#include <malloc.h>

namespace ostrel {

void UseOneHeapForAllThreads() {
  // glibc would give each further thread a heap of its own on its first
  // allocation, reserving 64 MiB of address space (128 MiB while it is
  // made); one heap for all threads costs a lock that few allocations meet.
  // Fails only for an unknown option.
  (void)mallopt(M_ARENA_MAX, 1);
}

}  // namespace ostrel
