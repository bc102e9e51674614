// What a property runs when its value changes.
#pragma once

namespace quenlo::confext {

class PropertyCallback {
 public:
  PropertyCallback() = default;
  PropertyCallback(const PropertyCallback&) = delete;
  PropertyCallback& operator=(const PropertyCallback&) = delete;
  virtual ~PropertyCallback() = default;

  virtual void Invoke() = 0;
};

// Calls one of a session's own operations. Holds no reference on the session: the session
// owns the callback (through its property table), so it always outlives it.
template <class Session>
class MemberCallback final : public PropertyCallback {
 public:
  using Operation = void (Session::*)();

  MemberCallback(Session& session, Operation operation) noexcept
      : session_(session), operation_(operation) {}

  void Invoke() override { (session_.*operation_)(); }

 private:
  Session& session_;
  Operation operation_;
};

}  // namespace quenlo::confext
