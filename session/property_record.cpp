#include "session/property_record.h"

void PropertyRecord::Set(std::string value, bool notify) {
  if (value == value_) return;
  value_ = std::move(value);
  if (notify && onChange_ != nullptr) onChange_->Invoke();
}
