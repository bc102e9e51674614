#include "node_store.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "document_link.h"
#include "tag_summary.h"

namespace quenlo::platform::dom {
namespace {

// Small first, so that a short reply costs one small block; doubling up to a cap after that.
constexpr std::size_t kFirstBlock = 2048;
constexpr std::size_t kLargestBlock = 256 * 1024;

}  // namespace

NodeStore* NodeStore::Create(std::shared_ptr<DocumentLink> link) {
  return new NodeStore(std::move(link));
}

NodeStore::NodeStore(std::shared_ptr<DocumentLink> link) noexcept
    : link_(std::move(link)), nextBlockSize_(kFirstBlock) {}

NodeStore::~NodeStore() {
  for (void* block : blocks_) std::free(block);
}

void NodeStore::LetGo(std::size_t count) noexcept {
  if (holders_.fetch_sub(count, std::memory_order_acq_rel) == count) delete this;
}

void NodeStore::AddBlock(std::size_t atLeast) {
  const std::size_t size = std::max(nextBlockSize_, atLeast);
  blocks_.reserve(blocks_.size() + 1);
  void* block = std::malloc(size);
  if (block == nullptr) throw std::bad_alloc();
  blocks_.push_back(block);
  cursor_ = static_cast<char*>(block);
  end_ = cursor_ + size;
  blockBytes_ += size;
  nextBlockSize_ = std::min(nextBlockSize_ * 2, kLargestBlock);
}

void* NodeStore::Allocate(std::size_t size, std::size_t alignment) {
  auto aligned = [&] {
    const auto address = reinterpret_cast<std::uintptr_t>(cursor_);
    return reinterpret_cast<char*>((address + alignment - 1) & ~(alignment - 1));
  };
  char* start = cursor_ == nullptr ? nullptr : aligned();
  if (start == nullptr || static_cast<std::size_t>(end_ - start) < size) {
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
  const std::uint32_t hash = TagSummary::HashOf(text);
  if (nameTable_ == nullptr) GrowNameTable();
  std::size_t mask = nameTableSize_ - 1;
  std::size_t slot = hash & mask;
  for (; nameTable_[slot] != nullptr; slot = (slot + 1) & mask) {
    const Name* name = nameTable_[slot];
    if (name->hash == hash && name->View() == text) return name;
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
