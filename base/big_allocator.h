#pragma once
// Large arrays (a data file's bytes, its cells, the sample tables, a big picture) are touched
// page by page as they fill; in 4 KiB pages that costs more than parsing a million lines.
// This allocator backs blocks of 1 MiB and more with transparent huge pages where the system
// allows it, and leaves smaller ones to the ordinary heap.
#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

namespace ternova {

// Every block comes zero-filled: fresh pages from the system are, and calloc knows when it
// need not clear them.
inline void* AllocateBig(std::size_t bytes) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (bytes < (std::size_t{1} << 20)) {
    void* p = std::calloc(bytes ? bytes : 1, 1);
    if (!p) throw std::bad_alloc();
    return p;
  }
  const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
  void* p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  ::madvise(p, rounded, MADV_HUGEPAGE);
  return p;
}

inline void FreeBig(void* p, std::size_t bytes) noexcept {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (bytes < (std::size_t{1} << 20)) {
    std::free(p);
    return;
  }
  ::munmap(p, (bytes + kHuge - 1) / kHuge * kHuge);
}

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

// The same, but new elements are not initialised: for byte buffers filled by a read right away,
// and for arrays that are only ever created at their full size, whose zeroed blocks already
// hold the zero value. Pages nobody writes are then never made resident, so a file of ten
// million empty lines costs address space, not memory. Never grow such an array in place: an
// element reused from spare capacity would keep its old value.
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

}  // namespace ternova
