// Walks every allocation of a scenario: runs it once per allocation it makes, with that one
// allocation failing, first each operator new, then each platform allocation (BSTRs and DOM
// nodes). The scenario arms the failure only around the calls under test (Armed), and checks
// the contract's outcome itself; the walk checks that each run leaves no BSTR and no DOM node
// alive that was not alive before.
#pragma once

#include <functional>
#include <string>

namespace quenlo::confext {

class FailureSchedule {
 public:
  enum class Kind { kOperatorNew, kPlatform };

  FailureSchedule(Kind kind, long ordinal) : kind_(kind), ordinal_(ordinal) {}

  // Runs `calls` with the scheduled allocation failing if it falls within them; allocations
  // are counted across every Armed stretch of one run.
  void Armed(const std::function<void()>& calls);

  // Whether the scheduled allocation was reached (so that a later ordinal may be too).
  bool Reached() const { return ordinal_ > 0 && seen_ >= ordinal_; }
  std::string Describe() const;

 private:
  Kind kind_;
  long ordinal_;
  long seen_ = 0;
};

struct AllocationPoints {
  long operatorNew = 0;
  long platform = 0;
};

// Runs the scenario once without failure (which must succeed) and then once per allocation
// point; returns how many points of each kind it walked.
AllocationPoints WalkEveryAllocation(const std::function<void(FailureSchedule&)>& scenario);

}  // namespace quenlo::confext
