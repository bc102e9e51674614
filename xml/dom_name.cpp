#include "xml/dom_name.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace quenlo::confext {

namespace {

// A name as first passed in: the caller's pointer (nearly always a literal, so the same pointer
// comes back on every call) and the BSTR made from its text.
struct Entry {
  const OLECHAR* source;
  BSTR name;
  std::size_t length;  // of name, kept here to spare a call per comparison
};

// The text at source (zero-terminated) equals the entry's name. Stops at the first difference,
// so it never reads past the end of a shorter text.
bool SameText(const Entry& entry, const OLECHAR* source) noexcept {
  for (std::size_t index = 0; index <= entry.length; ++index) {  // the terminator included
    if (entry.name[index] != source[index]) return false;
  }
  return true;
}

// Open addressing by the caller's pointer over slots that are only ever filled, never emptied,
// so that lookups take no lock: a slot, once set, holds its entry until unload. The text is
// still compared on every hit, since a pointer may later hold other text.
class NameTable {
 public:
  NameTable() = default;
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;
  ~NameTable() {
    for (std::atomic<Entry*>& slot : slots_) {
      if (Entry* entry = slot.exchange(nullptr)) {
        SysFreeString(entry->name);
        delete entry;
      }
    }
  }

  // The table's BSTR for the text at source; null when the table is full or allocation fails.
  BSTR Find(const OLECHAR* source) noexcept {
    std::size_t index = SlotOf(source);
    for (std::size_t probe = 0; probe < kSlots; ++probe, index = (index + 1) % kSlots) {
      Entry* held = slots_[index].load(std::memory_order_acquire);
      if (held == nullptr) {
        Entry* made = Make(source);
        if (made == nullptr) return nullptr;
        if (slots_[index].compare_exchange_strong(held, made, std::memory_order_acq_rel)) {
          return made->name;
        }
        SysFreeString(made->name);  // another thread filled the slot first; held is its entry
        delete made;
      }
      if (held->source == source && SameText(*held, source)) return held->name;
    }
    return nullptr;
  }

 private:
  static constexpr std::size_t kSlots = 128;

  static std::size_t SlotOf(const OLECHAR* source) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(source);
    return static_cast<std::size_t>((address >> 1) * 0x9E3779B97F4A7C15ull >> 57) % kSlots;
  }

  static Entry* Make(const OLECHAR* source) noexcept {
    const OleStringView text = ViewOf(source);
    BSTR name = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (name == nullptr) return nullptr;
    auto* entry = new (std::nothrow) Entry{source, name, text.size()};
    if (entry == nullptr) SysFreeString(name);
    return entry;
  }

  std::array<std::atomic<Entry*>, kSlots> slots_{};
};

NameTable names;

}  // namespace

DomName::DomName(const OLECHAR* name) {
  if (name != nullptr) shared_ = names.Find(name);
  if (shared_ == nullptr) copy_ = Bstr::Copy(ViewOf(name));
}

}  // namespace quenlo::confext
