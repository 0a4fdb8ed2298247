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

// How the new elements of a big array start out.
struct BigCleared {};  // zero-filled blocks, elements initialised as by std::allocator
// Zero-filled blocks, new elements not initialised: for arrays created at their full size,
// whose zeroed blocks already hold the zero value. Pages of a fresh block nobody writes are then
// never made resident, so a file of ten million empty lines costs address space, not memory. An
// array grown in place must clear what it adds: an element reused from spare capacity keeps its
// old value.
struct BigUninit {};
// As BigUninit, and the blocks are not cleared first: for arrays written whole before anything
// reads them (a read's buffer, the symbols' centres, the symbol index).
struct BigScratch {};

template <typename T, typename Start = BigCleared>
struct BigArrayAllocator {
  using value_type = T;
  BigArrayAllocator() = default;
  template <typename U>
  BigArrayAllocator(const BigArrayAllocator<U, Start>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateBig(n * sizeof(T), !std::is_same_v<Start, BigScratch>)); }
  void deallocate(T* p, std::size_t n) noexcept { FreeBig(p, n * sizeof(T)); }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0 && !std::is_same_v<Start, BigCleared>)
      static_assert(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>);
    else
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const BigArrayAllocator<U, Start>&) const noexcept { return true; }
};

template <typename T>
using BigAllocator = BigArrayAllocator<T>;
template <typename T>
using BigUninitAllocator = BigArrayAllocator<T, BigUninit>;
template <typename T>
using BigScratchAllocator = BigArrayAllocator<T, BigScratch>;

}  // namespace ternova
