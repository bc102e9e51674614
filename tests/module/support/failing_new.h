// The test program's own operator new, which counts the allocations of a chosen stretch of code
// and can make one of them fail with std::bad_alloc, as a full heap would. It replaces operator
// new for the whole process, the module and the platform runtime included, so it is linked into
// the programs that walk allocation failures and into no other (the failing_new object library).
#pragma once

namespace quenlo::testing {

// Makes the `ordinal`-th operator new from now on fail (1: the next one) and starts counting
// again; 0 lets every one succeed. Only that one fails.
void FailOperatorNew(long ordinal);
// Calls of operator new since the last FailOperatorNew, the failed one included.
long OperatorNewsSeen();

// While one lives, operator new neither counts nor fails: for code that is not under test but
// runs inside an armed stretch, such as a test host's own bookkeeping.
class OperatorNewFailuresHeld {
 public:
  OperatorNewFailuresHeld();
  ~OperatorNewFailuresHeld();
  OperatorNewFailuresHeld(const OperatorNewFailuresHeld&) = delete;
  OperatorNewFailuresHeld& operator=(const OperatorNewFailuresHeld&) = delete;
};

// While one lives, the allocation that follows the first `allowed` ones fails; the ones before
// and after it succeed.
class FailingAllocation {
 public:
  explicit FailingAllocation(long allowed) noexcept : allowed_(allowed) {
    FailOperatorNew(allowed + 1);
  }
  ~FailingAllocation() { FailOperatorNew(0); }
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;

  // Whether the failing allocation was reached.
  bool Refused() const noexcept { return OperatorNewsSeen() > allowed_; }

 private:
  long allowed_;
};

}  // namespace quenlo::testing
