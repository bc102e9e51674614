// One named property of a session: its value (narrow text, ANSI code page) and the callback
// that runs when the value changes.
#pragma once

#include <memory>
#include <string>

#include "session/property_callback.h"

namespace quenlo::confext {

class PropertyRecord {
 public:
  explicit PropertyRecord(std::unique_ptr<PropertyCallback> onChange = nullptr) noexcept
      : onChange_(std::move(onChange)) {}

  const std::string& Value() const noexcept { return value_; }

  // Stores the value unless it equals the current one (bytes and length); a stored value runs
  // the callback when notify is set, at once, on the caller's thread. A callback that failed
  // (raised) runs again at the next notified Set, even of an equal value.
  void Set(std::string value, bool notify);

 private:
  std::string value_;
  std::unique_ptr<PropertyCallback> onChange_;
  bool changePending_ = false;
};

}  // namespace quenlo::confext
