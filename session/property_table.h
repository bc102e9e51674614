// A session's named properties. Names are narrow texts compared byte by byte (case-sensitive);
// the set of names is fixed once the session is constructed, so records never move.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "session/property_record.h"

namespace quenlo::confext {

class PropertyTable {
 public:
  // Adds a property with an empty value; a name already declared is left as it was.
  void Declare(std::string name, std::unique_ptr<PropertyCallback> onChange = nullptr);
  // Sets a default without running the callback; an undeclared name does nothing.
  void SetDefault(std::string_view name, std::string value);

  PropertyRecord* Find(std::string_view name) noexcept;
  const PropertyRecord* Find(std::string_view name) const noexcept;

 private:
  std::map<std::string, PropertyRecord, std::less<>> records_;
};

}  // namespace quenlo::confext
