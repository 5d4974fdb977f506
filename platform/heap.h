// The process's heap, as the memory allocator keeps it.
#ifndef OSTREL_PLATFORM_HEAP_H_
#define OSTREL_PLATFORM_HEAP_H_

namespace ostrel {

// Makes every thread of the process allocate from the heap the main thread
// uses, from now on: a process confined to an address space limit cannot
// afford a heap per thread. Call it once at start-up, before a second thread
// starts. Raises nothing.
void UseOneHeapForAllThreads();

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_HEAP_H_
