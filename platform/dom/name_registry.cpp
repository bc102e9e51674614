#include "name_registry.h"

#include <algorithm>
#include <bit>
#include <new>

namespace quenlo::platform::dom {
namespace {

// The name and its text in one allocation.
template <class Unit>
Name* MakeName(std::basic_string_view<Unit> text, std::uint32_t hash) {
  void* memory = ::operator new(sizeof(Name) + text.size() * sizeof(char16_t));
  auto* copy = reinterpret_cast<char16_t*>(static_cast<char*>(memory) + sizeof(Name));
  std::copy(text.begin(), text.end(), copy);
  return new (memory) Name{hash, static_cast<std::uint32_t>(text.size()), copy};
}

void FreeName(Name* name) noexcept {
  name->~Name();
  ::operator delete(name);
}

}  // namespace

NameRegistry::NameRegistry(std::size_t capacity, std::size_t longestName)
    : capacity_(capacity),
      longestName_(longestName),
      mask_(std::bit_ceil(2 * std::max<std::size_t>(capacity, 1)) - 1),
      slots_(new std::atomic<Name*>[mask_ + 1]()) {}

NameRegistry::~NameRegistry() {
  for (std::size_t slot = 0; slot <= mask_; ++slot) {
    if (Name* name = slots_[slot].load(std::memory_order_relaxed)) FreeName(name);
  }
}

template <class Unit>
const Name* NameRegistry::Intern(std::basic_string_view<Unit> text, std::uint32_t hash) {
  if (text.size() > longestName_) return nullptr;
  Name* made = nullptr;
  for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
    Name* held = slots_[slot].load(std::memory_order_acquire);
    if (held == nullptr) {
      if (made == nullptr) {
        if (taken_.fetch_add(1, std::memory_order_relaxed) >= capacity_) {
          full_.store(true);
          return nullptr;
        }
        made = MakeName(text, hash);
      }
      if (slots_[slot].compare_exchange_strong(held, made, std::memory_order_acq_rel)) {
        return made;
      }
      // Another thread filled the slot first; held is its name, maybe this very text.
    }
    if (held->Matches(text, hash)) {
      if (made != nullptr) FreeName(made);
      return held;
    }
  }
}

template const Name* NameRegistry::Intern(std::u16string_view, std::uint32_t);
template const Name* NameRegistry::Intern(std::string_view, std::uint32_t);

}  // namespace quenlo::platform::dom
