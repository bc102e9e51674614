// The failure policy at the COM boundary, both ways: raising the platform's error where the host
// shares the module's C++ runtime, returning the status where it cannot catch the module's
// exceptions. Each build uses one of them; both are checked here on every platform.
#include "component/boundary_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quenlo::confext {

namespace {

template <BoundaryFailure policy>
HRESULT Outcome(void (*fail)()) {
  try {
    return GuardBoundary<policy>([fail]() -> HRESULT {
      fail();
      return S_OK;
    });
  } catch (const _com_error& error) {
    return policy == BoundaryFailure::kRaise ? error.Error() : E_FAIL;  // E_FAIL: must not raise
  }
}

void OutOfMemory() { throw std::bad_alloc(); }
void FailedConversion() { throw _com_error(DISP_E_TYPEMISMATCH); }
void SomethingElse() { throw std::logic_error("unexpected"); }
void Nothing() {}

TEST(BoundaryGuardTest, EveryFailureBecomesOneStatusWhicheverWayItLeaves) {
  EXPECT_EQ(Outcome<BoundaryFailure::kReturnStatus>(&OutOfMemory), E_OUTOFMEMORY);
  EXPECT_EQ(Outcome<BoundaryFailure::kReturnStatus>(&FailedConversion), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Outcome<BoundaryFailure::kReturnStatus>(&SomethingElse), E_UNEXPECTED);
  EXPECT_EQ(Outcome<BoundaryFailure::kReturnStatus>(&Nothing), S_OK);

  EXPECT_EQ(Outcome<BoundaryFailure::kRaise>(&OutOfMemory), E_OUTOFMEMORY);
  EXPECT_EQ(Outcome<BoundaryFailure::kRaise>(&FailedConversion), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Outcome<BoundaryFailure::kRaise>(&SomethingElse), E_UNEXPECTED);
  EXPECT_EQ(Outcome<BoundaryFailure::kRaise>(&Nothing), S_OK);
}

TEST(BoundaryGuardTest, RaisingReallyRaisesAndReturningNeverDoes) {
  EXPECT_THROW(GuardBoundary<BoundaryFailure::kRaise>([]() -> HRESULT { throw std::bad_alloc(); }),
               _com_error);
  EXPECT_NO_THROW(
      GuardBoundary<BoundaryFailure::kReturnStatus>([]() -> HRESULT { throw std::bad_alloc(); }));
}

}  // namespace

}  // namespace quenlo::confext
