#include "session/property_table.h"

namespace quenlo::confext {

void PropertyTable::Declare(std::string name, std::unique_ptr<PropertyCallback> onChange) {
  records_.try_emplace(std::move(name), std::move(onChange));
}

void PropertyTable::SetDefault(std::string_view name, std::string value) {
  if (PropertyRecord* record = Find(name)) record->Set(std::move(value), false);
}

PropertyRecord* PropertyTable::Find(std::string_view name) noexcept {
  auto found = records_.find(name);
  return found == records_.end() ? nullptr : &found->second;
}

const PropertyRecord* PropertyTable::Find(std::string_view name) const noexcept {
  auto found = records_.find(name);
  return found == records_.end() ? nullptr : &found->second;
}

}  // namespace quenlo::confext
