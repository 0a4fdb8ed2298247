#pragma once
// Large arrays (a data file's bytes, its cells, the sample tables, a big picture) are touched
// page by page as they fill, and fresh pages cost more than parsing a million lines. This
// allocator maps blocks of 1 MiB and more itself, so that it can keep them, and leaves smaller
// ones to the ordinary heap. Blocks are not asked for as transparent huge pages: in a virtual
// machine that hands free memory back to its host, a fresh huge page took four times as long
// to touch as the same memory in small pages (2.8 against 0.7 ms per MiB).
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace ternova {

// Blocks of 1 MiB and more that are given back are kept for the next request of about their
// size (up to 512 MiB in all): memory the process hands back to the system and asks for again
// costs far more to touch than clearing it here, and loading one file after another asks for
// the same sizes again. A block comes zero-filled unless `cleared` is false, when a kept one
// may still hold what it held.
void* AllocateBig(std::size_t bytes, bool cleared = true);
void FreeBig(void* p, std::size_t bytes) noexcept;
// Gives every kept block back to the system.
void ReleaseKeptBigBlocks() noexcept;
// How many bytes are kept.
std::size_t KeptBigBytes() noexcept;
// Makes the pages of [p, p + bytes) resident and writable at once, in one call to the system
// instead of a fault per page: for an array about to be written whole. Best effort.
void PrepareForWriting(void* p, std::size_t bytes) noexcept;

template <typename T>
struct BigAllocator {
  using value_type = T;
  BigAllocator() = default;
  template <typename U>
  BigAllocator(const BigAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateBig(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { FreeBig(p, n * sizeof(T)); }
  template <typename U>
  bool operator==(const BigAllocator<U>&) const noexcept { return true; }
};

// The same, but new elements are not initialised: for arrays created at their full size, whose
// zeroed blocks already hold the zero value. Pages of a fresh block nobody writes are then never
// made resident, so a file of ten million empty lines costs address space, not memory. An array
// grown in place must clear what it adds: an element reused from spare capacity keeps its old
// value.
template <typename T>
struct BigUninitAllocator : BigAllocator<T> {
  template <typename U>
  struct rebind { using other = BigUninitAllocator<U>; };
  BigUninitAllocator() = default;
  template <typename U>
  BigUninitAllocator(const BigUninitAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U*) noexcept {
    static_assert(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>);
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) { ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...); }
};

// The same for arrays written whole before anything reads them (a read's buffer, the symbols'
// centres, the symbol index): their blocks are not cleared first.
template <typename T>
struct BigScratchAllocator : BigUninitAllocator<T> {
  template <typename U>
  struct rebind { using other = BigScratchAllocator<U>; };
  BigScratchAllocator() = default;
  template <typename U>
  BigScratchAllocator(const BigScratchAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateBig(n * sizeof(T), false)); }
};

}  // namespace ternova
