// Makes this test program's own allocations fail on demand: while a FailingAllocation lives, the
// allocation after the first `allowed` ones through operator new throws std::bad_alloc (and every
// one after it, as memory that has run out stays out). Linked into one program only, whose
// operator new it replaces.
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
