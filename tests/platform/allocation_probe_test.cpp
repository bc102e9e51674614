// The runtime's allocation-failure hook, which the allocation-failure tests rely on: it fails
// exactly the allocation asked for, counts what it saw, and counts live strings and nodes.
#include "platform/allocation_probe.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "dom_test_support.h"

namespace quenlo {

namespace {

TEST(AllocationFailureProbeTest, FailsOnlyTheChosenStringAllocation) {
  QuenloProbeFailAllocation(2);
  const BSTR first = SysAllocString(u"one");
  const BSTR second = SysAllocString(u"two");
  const BSTR third = SysAllocString(u"three");
  EXPECT_EQ(QuenloProbeAllocationsSeen(), 3);
  QuenloProbeFailAllocation(0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  const long live = QuenloProbeLiveBstrs();
  SysFreeString(first);
  SysFreeString(third);
  SysFreeString(nullptr);
  EXPECT_EQ(QuenloProbeLiveBstrs(), live - 2);
}

TEST(AllocationFailureProbeTest, AFailedNodeIsReportedAsOutOfMemory) {
  const auto document = NewDocument();
  const OwnedBstr tag = MakeBstr(u"iq");  // made before arming: the node is the first allocation
  const long nodes = QuenloProbeLiveDomNodes();
  QuenloProbeFailAllocation(1);
  IXMLDOMElement* element = nullptr;
  EXPECT_EQ(document->createElement(tag.get(), &element), E_OUTOFMEMORY);
  QuenloProbeFailAllocation(0);
  EXPECT_EQ(element, nullptr);
  EXPECT_EQ(QuenloProbeLiveDomNodes(), nodes);

  const auto made = NewElement(document.get(), u"iq");
  EXPECT_EQ(QuenloProbeLiveDomNodes(), nodes + 1);
}

// Strings made on a thread that then ends and freed on another, and the other way round: the
// live count is the same whichever thread noted what, before and after the thread's end.
TEST(AllocationFailureProbeTest, LiveCountsAddUpAcrossThreadsThatEnd) {
  const long before = QuenloProbeLiveBstrs();
  std::vector<BSTR> made;
  std::thread([&made] {
    for (int index = 0; index < 3; ++index) made.push_back(SysAllocString(u"made elsewhere"));
  }).join();
  EXPECT_EQ(QuenloProbeLiveBstrs(), before + 3);
  const BSTR here = SysAllocString(u"made here");
  std::thread gone([here] { SysFreeString(here); });
  gone.join();
  EXPECT_EQ(QuenloProbeLiveBstrs(), before + 3);
  std::thread keeps([&made, before] {
    SysFreeString(made[0]);
    EXPECT_EQ(QuenloProbeLiveBstrs(), before + 2);  // while this thread still runs
  });
  keeps.join();
  for (std::size_t index = 1; index < made.size(); ++index) SysFreeString(made[index]);
  EXPECT_EQ(QuenloProbeLiveBstrs(), before);
}

}  // namespace

}  // namespace quenlo
