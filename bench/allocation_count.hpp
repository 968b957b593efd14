#pragma once
// Counts the heap allocations of one thread: the program's operator new and delete, replaced.
// Include it in the one source of a benchmark; only the thread that sets `countingAllocations`
// is counted (the fake simulator's threads allocate on their own).
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {
thread_local bool countingAllocations = false;
std::atomic<std::uint64_t> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (countingAllocations) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
// The replaced new and delete are a malloc/free pair; GCC, inlining this delete where a new was
// made, sees free() of memory from operator new and takes it for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
