#include "xml/dom_name.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace quenlo::confext {

namespace {

// A name as first passed in, by where its text lies, and the BSTR made from its text.
struct Entry {
  const OLECHAR* source;
  BSTR name;
};

// Open addressing by where the text lies, over slots that are only ever filled, never emptied,
// so that lookups take no lock: a slot, once set, holds its entry until unload.
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

  // The table's BSTR for the name; null when the table is full or allocation fails.
  BSTR Find(FixedName fixed) noexcept {
    const OLECHAR* const source = fixed.Text();
    std::size_t index = SlotOf(source);
    for (std::size_t probe = 0; probe < kSlots; ++probe, index = (index + 1) % kSlots) {
      Entry* held = slots_[index].load(std::memory_order_acquire);
      if (held == nullptr) {
        Entry* made = Make(fixed);
        if (made == nullptr) return nullptr;
        if (slots_[index].compare_exchange_strong(held, made, std::memory_order_acq_rel)) {
          return made->name;
        }
        SysFreeString(made->name);  // another thread filled the slot first; held is its entry
        delete made;
      }
      if (held->source == source) return held->name;
    }
    return nullptr;
  }

 private:
  static constexpr std::size_t kSlots = 128;

  static std::size_t SlotOf(const OLECHAR* source) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(source);
    return static_cast<std::size_t>((address >> 1) * 0x9E3779B97F4A7C15ull >> 57) % kSlots;
  }

  static Entry* Make(FixedName fixed) noexcept {
    const OleStringView text = fixed.View();
    BSTR name = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (name == nullptr) return nullptr;
    auto* entry = new (std::nothrow) Entry{fixed.Text(), name};
    if (entry == nullptr) SysFreeString(name);
    return entry;
  }

  std::array<std::atomic<Entry*>, kSlots> slots_{};
};

NameTable names;

}  // namespace

DomName::DomName(FixedName name) : shared_(names.Find(name)) {
  if (shared_ == nullptr) copy_ = Bstr::Copy(name.View());
}

}  // namespace quenlo::confext
