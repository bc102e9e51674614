#include "node_store.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "block_cache.h"
#include "document_link.h"
#include "tag_summary.h"

namespace quenlo::platform::dom {
namespace {

// The first block is part of the store's own allocation, sized so that the two make a page: a
// short reply fits and costs one allocation in all. Later blocks double up to a cap.
constexpr std::size_t kStoreWithFirstBlock = 4096 - 16;
constexpr std::size_t kLargestBlock = 256 * 1024;

}  // namespace

NodeStore* NodeStore::Create(std::shared_ptr<DocumentLink> link) {
  static_assert(kStoreWithFirstBlock > 2 * sizeof(NodeStore));
  void* memory = ::operator new(kStoreWithFirstBlock);
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
  ::operator delete(this);
}

void NodeStore::AddBlock(std::size_t atLeast) {
  const std::size_t size = std::max(nextBlockSize_, atLeast + sizeof(Block));
  auto* block = new (block_cache::Take(size)) Block{lastBlock_, size};
  lastBlock_ = block;
  cursor_ = reinterpret_cast<char*>(block + 1);
  end_ = reinterpret_cast<char*>(block) + size;
  nextBlockSize_ = std::min(nextBlockSize_ * 2, kLargestBlock);
}

void* NodeStore::Allocate(std::size_t size, std::size_t alignment) {
  auto aligned = [&] {
    const auto address = reinterpret_cast<std::uintptr_t>(cursor_);
    return reinterpret_cast<char*>((address + alignment - 1) & ~(alignment - 1));
  };
  char* start = aligned();
  if (start > end_ || static_cast<std::size_t>(end_ - start) < size) {
    AddBlock(size + alignment);
    start = aligned();
  }
  cursor_ = start + size;
  return start;
}

void NodeStore::ShrinkLastText(char16_t* text, std::size_t allocated, std::size_t used) noexcept {
  if (reinterpret_cast<char*>(text + allocated) == cursor_)
    cursor_ = reinterpret_cast<char*>(text + used);
}

const Name* NodeStore::Intern(std::u16string_view text) {
  const std::lock_guard lock(namesMutex_);
  return InternWhileBuilding(text);
}

const Name* NodeStore::InternWhileBuilding(std::u16string_view text) {
  return InternUnits(text, TagSummary::HashOf(text));
}

const Name* NodeStore::InternAsciiWhileBuilding(std::string_view ascii) {
  return InternUnits(ascii, TagSummary::HashOfAscii(ascii));
}

template <class Unit>
const Name* NodeStore::InternUnits(std::basic_string_view<Unit> text, std::uint32_t hash) {
  const auto sameText = [text](const Name& name) {
    return name.length == text.size() && std::equal(text.begin(), text.end(), name.text);
  };
  if (nameTable_ == nullptr) GrowNameTable();
  std::size_t mask = nameTableSize_ - 1;
  std::size_t slot = hash & mask;
  for (; nameTable_[slot] != nullptr; slot = (slot + 1) & mask) {
    const Name* name = nameTable_[slot];
    if (name->hash == hash && sameText(*name)) return name;
  }
  if ((nameCount_ + 1) * 2 > nameTableSize_) {
    GrowNameTable();
    mask = nameTableSize_ - 1;
    for (slot = hash & mask; nameTable_[slot] != nullptr; slot = (slot + 1) & mask) {
    }
  }
  char16_t* copy = AllocateText(text.size());
  std::copy(text.begin(), text.end(), copy);
  auto* name = static_cast<Name*>(Allocate(sizeof(Name), alignof(Name)));
  *name = {hash, static_cast<std::uint32_t>(text.size()), copy};
  nameTable_[slot] = name;
  ++nameCount_;
  link_->Tags().NoteTag(hash);
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

}  // namespace quenlo::platform::dom
