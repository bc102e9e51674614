#include "node_store.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <new>
#include <utility>

#include "block_cache.h"
#include "tag_summary.h"

namespace quenlo::platform::dom {
namespace {

// The first block is part of the store's own allocation, sized so that the two make a page: a
// short reply fits and costs one allocation in all, which the block cache keeps for the next
// parse (the C library's allocator takes a slow path for a block this size). Later blocks
// double up to a cap.
constexpr std::size_t kStoreWithFirstBlock = 4096 - 16;
constexpr std::size_t kLargestBlock = 256 * 1024;

}  // namespace

NodeStore* NodeStore::Create(std::shared_ptr<DocumentLink> link) {
  static_assert(kStoreWithFirstBlock > 2 * sizeof(NodeStore));
  void* memory = block_cache::Take(kStoreWithFirstBlock);
  char* firstBlock = static_cast<char*>(memory) + sizeof(NodeStore);
  return new (memory)
      NodeStore(std::move(link), firstBlock, kStoreWithFirstBlock - sizeof(NodeStore));
}

NodeStore::NodeStore(std::shared_ptr<DocumentLink> link, char* firstBlock,
                     std::size_t size) noexcept
    : link_(std::move(link)),
      cursor_(firstBlock),
      end_(firstBlock + size),
      nextBlockSize_(2 * size) {}

NodeStore::~NodeStore() {
  while (lastBlock_ != nullptr) {
    Block* block = std::exchange(lastBlock_, lastBlock_->previous);
    block_cache::Give(block, block->size);
  }
}

void NodeStore::LetGo(std::size_t count) noexcept {
  if (holders_.fetch_sub(count, std::memory_order_acq_rel) != count) return;
  this->~NodeStore();
  block_cache::Give(this, kStoreWithFirstBlock);
}

void* NodeStore::AllocateInNewBlock(std::size_t size, std::size_t alignment) {
  const std::size_t blockSize = std::max(nextBlockSize_, size + alignment + sizeof(Block));
  auto* block = new (block_cache::Take(blockSize)) Block{lastBlock_, blockSize};
  lastBlock_ = block;
  end_ = reinterpret_cast<char*>(block) + blockSize;
  nextBlockSize_ = std::min(nextBlockSize_ * 2, kLargestBlock);
  const auto address = reinterpret_cast<std::uintptr_t>(block + 1);
  char* start = reinterpret_cast<char*>((address + alignment - 1) & ~(alignment - 1));
  cursor_ = start + size;
  return start;
}

namespace {

// Registry names as callers last passed their texts, by where the text was: a caller that builds
// elements passes the same few names over and over from strings it keeps, and finding the name
// here costs a comparison of the text instead of hashing it and probing the registry. Only
// registry names, which are never freed, go in; the text is compared on every hit, since a string
// may be freed and its place used for another. Shared by every thread: an entry is one pointer,
// published with its name's text.
class RecentNames {
 public:
  const Name* Find(std::u16string_view text) const noexcept {
    const Name* name = slots_[SlotOf(text.data())].load(std::memory_order_acquire);
    if (name == nullptr || name->length != text.size()) return nullptr;
    return std::equal(text.begin(), text.end(), name->text) ? name : nullptr;
  }
  void Keep(std::u16string_view text, const Name* name) noexcept {
    slots_[SlotOf(text.data())].store(name, std::memory_order_release);
  }

 private:
  static constexpr unsigned kSlotBits = 6;

  static std::size_t SlotOf(const char16_t* text) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    return static_cast<std::size_t>((address >> 4) * 0x9E3779B97F4A7C15u >> (64 - kSlotBits));
  }

  std::array<std::atomic<const Name*>, std::size_t{1} << kSlotBits> slots_{};
};

RecentNames recentNames;

}  // namespace

const Name* NodeStore::Intern(std::u16string_view text) {
  if (const Name* recent = recentNames.Find(text)) {
    if (const Name* shared = ShareKnown(*recent)) return shared;
  }
  return InternAfresh(text);
}

const Name* NodeStore::InternAfresh(std::u16string_view text) {
  const std::uint32_t hash = TagSummary::HashOf(text);
  if (const Name* name = FindShared(text, hash)) {
    recentNames.Keep(text, name);
    return name;
  }
  return InternUnits(text, hash);
}

// A name is the registry's or the store's own, never both, so that equal names stay one pointer:
// the store keeps a name only once the registry has refused it, for its length (which it always
// will) or for want of room (which lasts). While the registry has room, its answer therefore
// stands without a look at the store's own names, and without a lock; whether it has room is
// asked after the lookup, so that a name another thread kept in the store meanwhile, as the
// registry filled, is not passed over.
template <class Unit>
const Name* NodeStore::InternUnits(std::basic_string_view<Unit> text, std::uint32_t hash) {
  NameRegistry& registry = NameRegistry::Process();
  if (const Name* name = registry.Intern(text, hash)) {
    if (const Name* shared = ShareKnown(*name)) return shared;
  }
  const std::lock_guard lock(namesMutex_);
  if (const Name* name = FindOwnName(text, hash)) return name;
  if (const Name* name = registry.Intern(text, hash)) {
    NoteTag(hash);
    return name;
  }
  return AddOwnName(text, hash);
}

template <class Unit>
const Name* NodeStore::FindOwnName(std::basic_string_view<Unit> text,
                                   std::uint32_t hash) const noexcept {
  if (nameTable_ == nullptr) return nullptr;
  const std::size_t mask = nameTableSize_ - 1;
  for (std::size_t slot = hash & mask; nameTable_[slot] != nullptr; slot = (slot + 1) & mask) {
    if (nameTable_[slot]->Matches(text, hash)) return nameTable_[slot];
  }
  return nullptr;
}

template <class Unit>
const Name* NodeStore::AddOwnName(std::basic_string_view<Unit> text, std::uint32_t hash) {
  if (nameTable_ == nullptr || (nameCount_ + 1) * 2 > nameTableSize_) GrowNameTable();
  const std::size_t mask = nameTableSize_ - 1;
  std::size_t slot = hash & mask;
  while (nameTable_[slot] != nullptr) slot = (slot + 1) & mask;
  char16_t* copy = AllocateText(text.size());
  std::copy(text.begin(), text.end(), copy);
  auto* name = new (Allocate(sizeof(Name), alignof(Name)))
      Name{hash, static_cast<std::uint32_t>(text.size()), copy};
  nameTable_[slot] = name;
  ++nameCount_;
  NoteTag(hash);
  return name;
}

// The old table stays in its block until the store goes: tables are small and grow seldom.
void NodeStore::GrowNameTable() {
  const std::size_t size = nameTableSize_ == 0 ? 32 : nameTableSize_ * 2;
  auto** larger = static_cast<const Name**>(Allocate(size * sizeof(const Name*), alignof(Name*)));
  std::fill_n(larger, size, nullptr);
  const std::size_t mask = size - 1;
  for (std::size_t index = 0; index < nameTableSize_; ++index) {
    const Name* name = nameTable_[index];
    if (name == nullptr) continue;
    std::size_t slot = name->hash & mask;
    while (larger[slot] != nullptr) slot = (slot + 1) & mask;
    larger[slot] = name;
  }
  nameTable_ = larger;
  nameTableSize_ = size;
}

template const Name* NodeStore::InternUnits(std::string_view, std::uint32_t);

}  // namespace quenlo::platform::dom
