#include "allocation_walk.h"

#include <gtest/gtest.h>

#include "support/failing_new.h"
#include "platform/allocation_probe.h"
#include "xml/shared_document.h"

namespace quenlo::confext {

namespace {

// Far more than any scenario makes: a walk that gets here is stuck, not thorough.
constexpr long kMostPoints = 20'000;

struct LiveObjects {
  long bstrs;
  long domNodes;
};

LiveObjects CountLive() {
  // The module keeps one document for building requests; a run may have released it (a failed
  // creation), so it is made present before counting, as it is after any successful command.
  (void)SharedDocument::Acquire();
  return {QuenloProbeLiveBstrs(), QuenloProbeLiveDomNodes()};
}

void Arm(FailureSchedule::Kind kind, long ordinal) {
  if (kind == FailureSchedule::Kind::kOperatorNew) {
    testing::FailOperatorNew(ordinal);
  } else {
    QuenloProbeFailAllocation(ordinal);
  }
}

long Disarm(FailureSchedule::Kind kind) {
  if (kind == FailureSchedule::Kind::kOperatorNew) {
    const long seen = testing::OperatorNewsSeen();
    testing::FailOperatorNew(0);
    return seen;
  }
  const long seen = QuenloProbeAllocationsSeen();
  QuenloProbeFailAllocation(0);
  return seen;
}

// Points of one kind: runs until the scheduled ordinal lies beyond the scenario's allocations.
long Walk(FailureSchedule::Kind kind, const std::function<void(FailureSchedule&)>& scenario) {
  const LiveObjects before = CountLive();
  for (long ordinal = 1; ordinal <= kMostPoints; ++ordinal) {
    FailureSchedule schedule(kind, ordinal);
    {
      SCOPED_TRACE(schedule.Describe());
      scenario(schedule);
      const LiveObjects after = CountLive();
      EXPECT_EQ(after.bstrs, before.bstrs) << "BSTRs left alive";
      EXPECT_EQ(after.domNodes, before.domNodes) << "DOM nodes left alive";
    }
    if (!schedule.Reached() || ::testing::Test::HasFailure()) return ordinal - 1;
  }
  ADD_FAILURE() << "more than " << kMostPoints << " allocation points";
  return kMostPoints;
}

}  // namespace

void FailureSchedule::Armed(const std::function<void()>& calls) {
  const long remaining = ordinal_ - seen_;
  Arm(kind_, remaining > 0 ? remaining : 0);
  try {
    calls();
  } catch (...) {
    seen_ += Disarm(kind_);
    throw;
  }
  seen_ += Disarm(kind_);
}

std::string FailureSchedule::Describe() const {
  return std::string(kind_ == Kind::kOperatorNew ? "operator new" : "platform allocation") +
         " number " + std::to_string(ordinal_) + " fails";
}

AllocationPoints WalkEveryAllocation(const std::function<void(FailureSchedule&)>& scenario) {
  {
    SCOPED_TRACE("no allocation fails (warm-up: the module's lasting tables fill)");
    FailureSchedule none(FailureSchedule::Kind::kOperatorNew, 0);
    scenario(none);
  }
  AllocationPoints points;
  if (::testing::Test::HasFailure()) return points;
  points.operatorNew = Walk(FailureSchedule::Kind::kOperatorNew, scenario);
  points.platform = Walk(FailureSchedule::Kind::kPlatform, scenario);
  std::printf("allocation points walked: %ld operator new, %ld platform\n", points.operatorNew,
              points.platform);
  return points;
}

}  // namespace quenlo::confext
