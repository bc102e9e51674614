// The last error is per thread, so one thread's failure never overwrites another's report.
#include <platform/codepage.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" {
DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }
}
