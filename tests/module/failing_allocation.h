// Makes one allocation of this test program fail on demand: while a FailingAllocation lives, the
// allocation through operator new that follows the first `allowed` ones throws std::bad_alloc;
// the ones before and after it succeed. Linked into one program only, whose operator new it
// replaces (the platform runtime's allocations go through it too).
#pragma once

class FailingAllocation {
 public:
  explicit FailingAllocation(long allowed) noexcept;
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;
  ~FailingAllocation();

  // Whether an allocation was refused while this object lived.
  bool Refused() const noexcept;
};
