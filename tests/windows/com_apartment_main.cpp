// The test programs' main on Windows. A host initialises COM before it loads the module, and the
// module relies on that to create its XML document; every thread of these programs joins the
// process's multithreaded apartment, so threads the tests start need no initialisation of their
// own.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>

int main(int argc, char** argv) {
  const HRESULT status = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(status)) {
    std::fprintf(stderr, "CoInitializeEx failed: 0x%08lx\n", static_cast<unsigned long>(status));
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
