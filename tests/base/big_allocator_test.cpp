#include "base/big_allocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ternova {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

bool AllZero(const void* p, std::size_t bytes) {
  const auto* c = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < bytes; ++i)
    if (c[i] != 0) return false;
  return true;
}

TEST(BigBlocks, AKeptBlockServesTheNextRequestOfAboutItsSizeCleared) {
  ReleaseKeptBigBlocks();
  void* a = AllocateBig(10 * kMiB);
  ASSERT_TRUE(AllZero(a, 10 * kMiB));
  std::memset(a, 0xAB, 10 * kMiB);
  FreeBig(a, 10 * kMiB);

  // A little smaller, in the same pages: the same block, cut to size, and nothing of the old
  // contents left.
  void* b = AllocateBig(9 * kMiB + 123);
  EXPECT_EQ(b, a);
  EXPECT_TRUE(AllZero(b, 9 * kMiB + 123));
  std::memset(b, 0xCD, 9 * kMiB + 123);
  FreeBig(b, 9 * kMiB + 123);

  // Much smaller: a kept block more than twice the size is not spent on it.
  void* c = AllocateBig(2 * kMiB);
  EXPECT_NE(c, b);
  EXPECT_TRUE(AllZero(c, 2 * kMiB));
  // A bigger request than anything kept gets fresh memory.
  void* d = AllocateBig(40 * kMiB);
  EXPECT_TRUE(AllZero(d, 40 * kMiB));
  FreeBig(c, 2 * kMiB);
  FreeBig(d, 40 * kMiB);
  ReleaseKeptBigBlocks();
}

TEST(BigBlocks, WhatIsKeptStaysWithinItsLimitsAndSmallBlocksAreNotKept) {
  ReleaseKeptBigBlocks();
  // More blocks than are kept: the oldest go back to the system, the newest are reused.
  std::vector<void*> blocks;
  for (int i = 0; i < 12; ++i) blocks.push_back(AllocateBig(4 * kMiB));
  for (void* p : blocks) FreeBig(p, 4 * kMiB);
  std::vector<void*> again;
  for (int i = 0; i < 12; ++i) again.push_back(AllocateBig(4 * kMiB));
  int reused = 0;
  for (void* p : again) {
    EXPECT_TRUE(AllZero(p, 4 * kMiB));
    for (std::size_t k = 4; k < blocks.size(); ++k) reused += p == blocks[k];
  }
  EXPECT_EQ(reused, 8);
  for (void* p : again) FreeBig(p, 4 * kMiB);

  // Beyond what may be kept at all: given back at once, and a vector over it works as ever.
  std::vector<char, BigUninitAllocator<char>> huge(600 * kMiB);
  huge.back() = 1;
  huge = {};
  void* small = AllocateBig(100);
  EXPECT_TRUE(AllZero(small, 100));
  FreeBig(small, 100);
  ReleaseKeptBigBlocks();
}

}  // namespace
}  // namespace ternova
