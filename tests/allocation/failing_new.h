// The test binary's own operator new, which counts the allocations of a chosen stretch of code
// and can make one of them fail with std::bad_alloc, as a full heap would. It replaces operator
// new for the whole process, the module and the platform runtime included.
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

}  // namespace quenlo::testing
