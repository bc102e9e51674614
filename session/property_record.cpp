#include "session/property_record.h"

namespace quenlo::confext {

void PropertyRecord::Set(std::string value, bool notify) {
  if (value == value_ && !changePending_) return;
  value_ = std::move(value);
  if (!notify || onChange_ == nullptr) return;
  // Until the callback has run to its end the change counts as not yet made, so that setting
  // the same value again repairs what a callback failing part-way left behind.
  changePending_ = true;
  onChange_->Invoke();
  changePending_ = false;
}

}  // namespace quenlo::confext
