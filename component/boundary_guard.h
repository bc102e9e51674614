// One policy for failures at the COM boundary, applied by GuardBoundary around every command and
// property call the host makes. Inside, running out of memory and failed conversions travel as
// exceptions; at the boundary they become the one error a host can handle:
//
// - Where the host shares the module's C++ runtime (the POSIX build, which links the system's
//   shared one), _com_error carrying the status passes to the caller, as the contract describes.
// - The Windows DLL links its own copy of the C++ runtime, so a host built with another compiler
//   cannot catch an exception it throws and would terminate: there the status is returned.
//
// Any failure is reported as a status first (E_OUTOFMEMORY for std::bad_alloc, the carried status
// for _com_error, E_UNEXPECTED for anything else), so the two policies differ only in how it
// leaves. Recorded in docs/platform-differences.md.
#pragma once

#include <quenlo/platform.h>

#include <new>
#include <utility>

namespace quenlo {

enum class BoundaryFailure { kRaise, kReturnStatus };

#ifdef _WIN32
inline constexpr BoundaryFailure kBoundaryFailure = BoundaryFailure::kReturnStatus;
#else
inline constexpr BoundaryFailure kBoundaryFailure = BoundaryFailure::kRaise;
#endif

// Runs call (returning HRESULT) and applies the policy to whatever it throws.
template <BoundaryFailure policy = kBoundaryFailure, class Call>
HRESULT GuardBoundary(Call&& call) {
  HRESULT status = E_UNEXPECTED;
  try {
    return std::forward<Call>(call)();
  } catch (const _com_error& error) {
    status = error.Error();
  } catch (const std::bad_alloc&) {
    status = E_OUTOFMEMORY;
  } catch (...) {
    status = E_UNEXPECTED;
  }
  if constexpr (policy == BoundaryFailure::kRaise) throw _com_error(status);
  return status;
}

}  // namespace quenlo
