// The memory behind a group of nodes: one parse, or a document's own. A parse places its nodes
// and their texts in blocks, one bump of a pointer each, so that a tree costs a few allocations
// instead of several per node. Names (tags, attribute names, namespace URIs) are the process's
// (NameRegistry) or, for names it does not keep, the store's own, kept once either way and shared
// by every node that carries them; the nodes a document makes are on the heap, each freed on its
// own, and take only their names from the document's store. The store lives while any of its
// nodes does, so a node handed out keeps everything it points into.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "document_link.h"
#include "name.h"
#include "name_registry.h"
#include "prefetch.h"

namespace quenlo::platform::dom {

class NodeStore {
 public:
  // Comes with one hold for the caller (see Hold and LetGo).
  static NodeStore* Create(std::shared_ptr<DocumentLink> link);

  NodeStore(const NodeStore&) = delete;
  NodeStore& operator=(const NodeStore&) = delete;

  DocumentLink& Link() const noexcept { return *link_; }
  const std::shared_ptr<DocumentLink>& SharedLink() const noexcept { return link_; }

  // Every live node holds its store once; the store frees itself with its last holder.
  void Hold(std::size_t count = 1) noexcept {
    holders_.fetch_add(count, std::memory_order_relaxed);
  }
  void LetGo(std::size_t count = 1) noexcept;

  // Block memory, freed only with the store: for a parse, which alone uses a new store until it
  // ends. Throws std::bad_alloc.
  void* Allocate(std::size_t size, std::size_t alignment) {
    const auto address = reinterpret_cast<std::uintptr_t>(cursor_);
    char* start = cursor_ + (((address + alignment - 1) & ~(alignment - 1)) - address);
    if (start > end_ || static_cast<std::size_t>(end_ - start) < size) {
      return AllocateInNewBlock(size, alignment);
    }
    cursor_ = start + size;
    PrefetchAheadForWriting(cursor_);
    return start;
  }
  char16_t* AllocateText(std::size_t length) {
    return static_cast<char16_t*>(Allocate(length * sizeof(char16_t), alignof(char16_t)));
  }

  // The one name with this text for every node of the store. Several threads may call at once.
  // Throws std::bad_alloc.
  const Name* Intern(std::u16string_view text);
  // The same for an ASCII name, looked up from its bytes and widened only when first kept; its
  // hash is TagSummary::HashOfAscii, which a reader may have taken while it read the name.
  const Name* InternAscii(std::string_view ascii, std::uint32_t hash) {
    if (const Name* name = FindShared(ascii, hash)) return name;
    return InternUnits(ascii, hash);
  }
  // A name of the registry found earlier (NameCache), as FindShared would give it: null once the
  // registry is full, when only InternUnits may decide.
  const Name* ShareKnown(const Name& name) {
    if (NameRegistry::Process().Full()) return nullptr;
    NoteTag(name.hash);
    return &name;
  }

  // Set by a parse whose document link no other thread can reach until the parse hands out its
  // root, and cleared before that.
  void SetLinkAlone(bool alone) noexcept { linkAlone_ = alone; }

 private:
  struct Block {
    Block* previous;
    std::size_t size;
  };

  NodeStore(std::shared_ptr<DocumentLink> link, char* firstBlock, std::size_t size) noexcept;
  ~NodeStore();

  // A name the registry holds already, while it has room (see InternUnits); null otherwise.
  template <class Unit>
  const Name* FindShared(std::basic_string_view<Unit> text, std::uint32_t hash) {
    const Name* name = NameRegistry::Process().Find(text, hash);
    return name != nullptr ? ShareKnown(*name) : nullptr;
  }
  // Intern past the names callers passed last: kept out of line, so that a name found there
  // costs no more than the comparison.
  [[gnu::noinline]] const Name* InternAfresh(std::u16string_view text);
  template <class Unit>
  const Name* InternUnits(std::basic_string_view<Unit> text, std::uint32_t hash);
  template <class Unit>
  const Name* FindOwnName(std::basic_string_view<Unit> text, std::uint32_t hash) const noexcept;
  template <class Unit>
  const Name* AddOwnName(std::basic_string_view<Unit> text, std::uint32_t hash);
  void* AllocateInNewBlock(std::size_t size, std::size_t alignment);
  void NoteTag(std::uint32_t hash) noexcept {
    if (linkAlone_) {
      link_->Tags().NoteTagAlone(hash);
    } else {
      link_->Tags().NoteTag(hash);
    }
  }
  void GrowNameTable();

  std::shared_ptr<DocumentLink> link_;
  std::atomic<std::size_t> holders_{1};
  bool linkAlone_ = false;
  Block* lastBlock_ = nullptr;  // the blocks after the first, which lives inside the store
  char* cursor_;
  char* end_;
  std::size_t nextBlockSize_;
  std::mutex namesMutex_;  // over the store's own names
  // The store's own names, those the registry refused. Open addressing, a power of two in size,
  // itself in the blocks.
  const Name** nameTable_ = nullptr;
  std::size_t nameTableSize_ = 0;
  std::size_t nameCount_ = 0;
};

}  // namespace quenlo::platform::dom
