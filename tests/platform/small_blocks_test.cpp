// Freed small blocks are kept per thread and handed out again: a block must never be handed out
// while it is still in use, must hold every byte asked for, and may be freed on another thread
// than the one that took it.
#include "platform/small_blocks.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace quenlo {
namespace {

namespace small_blocks = platform::small_blocks;

struct Block {
  unsigned char* memory;
  std::size_t size;
  unsigned char mark;
};

Block Take(std::size_t size, unsigned char mark) {
  auto* memory = static_cast<unsigned char*>(small_blocks::Take(size));
  EXPECT_NE(nullptr, memory);
  EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(memory) % alignof(std::max_align_t));
  std::memset(memory, mark, size);
  return {memory, size, mark};
}

bool Intact(const Block& block) {
  for (std::size_t at = 0; at < block.size; ++at) {
    if (block.memory[at] != block.mark) return false;
  }
  return true;
}

TEST(SmallBlocksTest, BlocksInUseAreNeverHandedOutAgainAndHoldTheirWholeSize) {
  std::vector<Block> live;
  unsigned char mark = 0;
  // Every size of every class, and past the largest kept; then half given back, taken again at
  // other sizes of the same classes, and given back as well, three times over.
  for (int round = 0; round < 3; ++round) {
    for (std::size_t size = 0; size <= small_blocks::kLargest + 40; ++size) {
      live.push_back(Take(size, ++mark));
    }
    for (std::size_t index = 0; index < live.size(); index += 2) {
      small_blocks::Give(live[index].memory, live[index].size);
      live[index] = Take(live[index].size == 0 ? 0 : live[index].size - 1, ++mark);
    }
    for (const Block& block : live) ASSERT_TRUE(Intact(block)) << "size " << block.size;
  }
  for (const Block& block : live) small_blocks::Give(block.memory, block.size);
  small_blocks::Give(nullptr, 16);
}

TEST(SmallBlocksTest, BlocksMayBeGivenBackOnAnotherThread) {
  std::vector<Block> taken;
  std::thread([&] {
    for (int index = 0; index < 200; ++index) taken.push_back(Take(48, 0x5A));
  }).join();
  std::thread([&] {
    for (const Block& block : taken) small_blocks::Give(block.memory, block.size);
    // Kept by this thread now (as many as it keeps), handed out here again, and freed with it.
    const Block again = Take(40, 0x33);
    EXPECT_TRUE(Intact(again));
    small_blocks::Give(again.memory, again.size);
  }).join();
}

// Taken by a thread-local's destructor that runs after the thread's kept blocks are gone (it was
// made before them), then given back here and handed out for the largest size of its class.
std::vector<Block> takenAtThreadEnd;

struct TakesAtThreadEnd {
  ~TakesAtThreadEnd() { takenAtThreadEnd.push_back(Take(40, 0x21)); }
};
thread_local TakesAtThreadEnd takesAtThreadEnd;

TEST(SmallBlocksTest, BlocksTakenAsAThreadEndsHoldTheirWholeClass) {
  std::thread([] {
    static_cast<void>(&takesAtThreadEnd);  // made first, so destroyed last
    small_blocks::Give(small_blocks::Take(16), 16);
  }).join();
  ASSERT_EQ(1u, takenAtThreadEnd.size());
  ASSERT_TRUE(Intact(takenAtThreadEnd[0]));
  small_blocks::Give(takenAtThreadEnd[0].memory, takenAtThreadEnd[0].size);
  // Whichever block 48 bytes get now, the one given back included, holds them.
  void* again = small_blocks::Take(48);
  EXPECT_GE(malloc_usable_size(again), 48u);
  small_blocks::Give(again, 48);
}

}  // namespace
}  // namespace quenlo
