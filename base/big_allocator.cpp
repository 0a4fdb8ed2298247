#include "base/big_allocator.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace ternova {

namespace {

constexpr std::size_t kBig = std::size_t{1} << 20;
// Sizes are rounded up to a step, so a block given back fits the next request of about its size.
constexpr std::size_t kStep = std::size_t{2} << 20;
constexpr std::size_t kKeptBytes = std::size_t{512} << 20;
constexpr std::size_t kKeptBlocks = 16;

std::size_t Rounded(std::size_t bytes) { return (bytes + kStep - 1) / kStep * kStep; }

struct Kept {
  std::mutex mutex;
  std::vector<std::pair<void*, std::size_t>> blocks;  // oldest first; sizes rounded
  std::size_t bytes = 0;
};

Kept& KeptBlocks() {
  static Kept* kept = new Kept;  // never destroyed: blocks may be freed during exit
  return *kept;
}

// The smallest kept block of `rounded` bytes or up to twice that, cut to `rounded`.
void* TakeKept(std::size_t rounded) {
  Kept& k = KeptBlocks();
  std::lock_guard lock(k.mutex);
  auto best = k.blocks.end();
  for (auto it = k.blocks.begin(); it != k.blocks.end(); ++it)
    if (it->second >= rounded && it->second <= 2 * rounded && (best == k.blocks.end() || it->second < best->second))
      best = it;
  if (best == k.blocks.end()) return nullptr;
  auto [p, size] = *best;
  k.blocks.erase(best);
  k.bytes -= size;
  if (size > rounded) ::munmap(static_cast<char*>(p) + rounded, size - rounded);
  return p;
}

}  // namespace

void* AllocateBig(std::size_t bytes, bool cleared) {
  if (bytes < kBig) {
    void* p = std::calloc(bytes ? bytes : 1, 1);
    if (!p) throw std::bad_alloc();
    return p;
  }
  const std::size_t rounded = Rounded(bytes);
  if (void* p = TakeKept(rounded)) {
    if (cleared) std::memset(p, 0, bytes);
    return p;
  }
  void* p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    // What is kept is the first thing to give up.
    ReleaseKeptBigBlocks();
    p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
  }
  return p;
}

void FreeBig(void* p, std::size_t bytes) noexcept {
  if (bytes < kBig) {
    std::free(p);
    return;
  }
  const std::size_t rounded = Rounded(bytes);
  std::vector<std::pair<void*, std::size_t>> unmap;
  {
    Kept& k = KeptBlocks();
    std::lock_guard lock(k.mutex);
    if (rounded > kKeptBytes) {
      unmap.emplace_back(p, rounded);
    } else {
      try {
        k.blocks.emplace_back(p, rounded);
        k.bytes += rounded;
      } catch (...) {
        unmap.emplace_back(p, rounded);
      }
      size_t oldest = 0;
      while (k.bytes > kKeptBytes || k.blocks.size() - oldest > kKeptBlocks) {
        k.bytes -= k.blocks[oldest].second;
        ::munmap(k.blocks[oldest].first, k.blocks[oldest].second);
        ++oldest;
      }
      k.blocks.erase(k.blocks.begin(), k.blocks.begin() + static_cast<std::ptrdiff_t>(oldest));
    }
  }
  for (auto [q, size] : unmap) ::munmap(q, size);
}

std::size_t KeptBigBytes() noexcept {
  Kept& k = KeptBlocks();
  std::lock_guard lock(k.mutex);
  return k.bytes;
}

void PrepareForWriting(void* p, std::size_t bytes) noexcept {
  constexpr std::uintptr_t kPage = 4096;
  const auto begin = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kPage - 1);
  // Pages that are there already cost little; a system without this call simply faults them in.
  if (end > begin + 16 * kPage) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

void ReleaseKeptBigBlocks() noexcept {
  Kept& k = KeptBlocks();
  std::lock_guard lock(k.mutex);
  for (auto [p, size] : k.blocks) ::munmap(p, size);
  k.blocks.clear();
  k.bytes = 0;
}

}  // namespace ternova
