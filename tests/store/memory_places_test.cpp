#include "store/memory_places.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "support/program_fixture.h"

namespace qv {
namespace {

class MemoryPlacesTest : public test::ProgramTest {};

MemoryPlaces& Places() { return TheProgram().memory; }
// Real and virtual bytes and places: in use now, or at most so far.
std::array<std::int64_t, 3> InUse() { return {Places().realTotal, Places().virtualTotal, Places().placesInUse}; }
std::array<std::int64_t, 3> Maxima() { return {Places().realMax, Places().virtualMax, Places().placesMax}; }

TEST(PlaceTags, PackFirstCharacterLowestPaddedAndCut) {
  EXPECT_EQ(PackTag("abcd"), 0x64636261u);
  EXPECT_EQ(UnpackTag(PackTag("theimgs")), "thei");
  EXPECT_EQ(UnpackTag(PackTag("ab")), "ab  ");
  EXPECT_EQ(UnpackTag(PackTag("")), "    ");
  EXPECT_EQ(UnpackTag(PackTag(nullptr)), "    ");
}

TEST_F(MemoryPlacesTest, TableGrowsTo400ThenByHalfPlus256) {
  EXPECT_EQ(Places().capacity, 0);
  std::vector<void*> blocks;
  blocks.push_back(AllocReal(8, "a"));
  EXPECT_EQ(Places().capacity, 400);
  while (Places().placesInUse < 398) blocks.push_back(AllocReal(8, "a"));
  EXPECT_EQ(Places().capacity, 400);
  blocks.push_back(AllocReal(8, "a"));
  EXPECT_EQ(Places().capacity, 856);
  EXPECT_EQ(Places().placesInUse, 399);
  for (void* b : blocks) {
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(FreeReal(b, "a"), nullptr);
  }
  EXPECT_EQ(Places().placesInUse, 0);
  EXPECT_EQ(Places().placesMax, 399);
}

TEST_F(MemoryPlacesTest, RealPlacesAreZeroedAndCountedWithTheirSlack) {
  auto* p = static_cast<unsigned char*>(AllocReal(100, "buf"));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 104; ++i) ASSERT_EQ(p[i], 0) << i;
  EXPECT_EQ(Places().realTotal, 104);
  EXPECT_EQ(Places().virtualTotal, 104);
  EXPECT_EQ(Places().handle[1], HandleOfAddress(p));  // place 0 is never used
  EXPECT_EQ(PlaceSizeOfAddress(p), 104);
  EXPECT_EQ(FreeReal(p, "buf"), nullptr);
  EXPECT_EQ(Places().realTotal, 0);
  EXPECT_EQ(HandleOfAddress(nullptr), nullptr);
}

// Large blocks freed are kept and handed out again: the next owner must
// still get zeros, the counts must not see the kept ones, and a different
// size must not be served from them.
TEST_F(MemoryPlacesTest, LargeBlocksComeBackZeroedAndUncounted) {
  constexpr std::int64_t kPlane = std::int64_t{8} << 20;
  auto* first = static_cast<unsigned char*>(AllocReal(kPlane, "pln1"));
  ASSERT_NE(first, nullptr);
  std::fill(first, first + kPlane, 0xAB);
  EXPECT_EQ(FreeReal(first, "pln1"), nullptr);
  EXPECT_EQ(InUse(), (std::array<std::int64_t, 3>{0, 0, 0}));
  EXPECT_EQ(Places().spare.size(), 1u);

  auto* other = static_cast<unsigned char*>(AllocReal(kPlane + 100, "pln2"));
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(Places().spare.size(), 1u) << "another size is not served from a kept block";
  PlaceHandle again = AllocVirtual(kPlane, "pln3");
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(Places().spare.empty());
  auto* bytes = static_cast<unsigned char*>(LockVirtual(again));
  for (std::int64_t i = 0; i < kPlane + 4; i += 4093) ASSERT_EQ(bytes[i], 0) << i;
  ASSERT_EQ(bytes[kPlane + 3], 0);
  EXPECT_EQ(UnlockVirtual(again), 0);
  EXPECT_EQ(FreeVirtual(again), 0);
  EXPECT_EQ(FreeReal(other, "pln2"), nullptr);

  // No more than four are kept, the oldest going first.
  std::vector<void*> blocks;
  for (int i = 0; i < 6; ++i) blocks.push_back(AllocReal(kPlane + i, "many"));
  for (void* b : blocks) EXPECT_EQ(FreeReal(b, "many"), nullptr);
  ASSERT_EQ(Places().spare.size(), 4u);
  EXPECT_EQ(Places().spare.front().first, kPlane + 2 + 4);
  EXPECT_EQ(InUse(), (std::array<std::int64_t, 3>{0, 0, 0}));
}

TEST_F(MemoryPlacesTest, NestedLocksReturnOneAddressAndUnlockOnTheLast) {
  StartLog();
  PlaceHandle h = AllocVirtual(60, "mask");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Places().realTotal, 0);
  void* a = LockVirtual(h);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Places().realTotal, 64);
  EXPECT_EQ(LockVirtual(h), a);
  EXPECT_EQ(Logged(), "Mem: \"mask\" was used 2 times at once.\n");
  EXPECT_EQ(UnlockVirtual(h), 0);
  EXPECT_EQ(Places().realTotal, 64);  // still locked once
  EXPECT_EQ(HandleOfAddress(a), h);
  EXPECT_EQ(UnlockVirtual(h), 0);
  EXPECT_EQ(Places().realTotal, 0);
  EXPECT_EQ(HandleOfAddress(a), nullptr);
  EXPECT_EQ(UnlockVirtual(h), 1);
  EXPECT_EQ(FreeVirtual(h), 0);
  EXPECT_EQ(Logged(), "Mem: \"mask\" was used 2 times at once.\nUnlock again \"mask\"\n");
}

TEST_F(MemoryPlacesTest, MisuseIsLoggedAndReportedNeverFatal) {
  StartLog();
  void* p = AllocReal(16, "hdr");
  EXPECT_EQ(FreeReal(p, "hdr"), nullptr);
  EXPECT_EQ(FreeReal(p, "hdr"), p);
  EXPECT_EQ(FreeReal(p, nullptr), p);
  EXPECT_EQ(FreeReal(nullptr, "none"), nullptr);  // owners hold null after a free

  PlaceHandle h = AllocVirtual(16, "views");
  LockVirtual(h);
  EXPECT_EQ(FreeVirtual(h), 0);  // freed all the same
  EXPECT_EQ(Places().realTotal, 0);
  EXPECT_EQ(Places().virtualTotal, 0);
  EXPECT_EQ(FreeVirtual(h), 1);
  EXPECT_EQ(LockVirtual(h), nullptr);
  EXPECT_EQ(UnlockVirtual(h), 1);
  EXPECT_EQ(Logged(),
            "Free again \"hdr\"\n"
            "Free again \"\"\n"
            "Memory: \"view\" was not unlocked before unvirt.\n"
            "Free again of virtual memory.\n"
            "Lock of unlisted virtual memory\n"
            "Unlock on unlisted memory\n");
}

TEST_F(MemoryPlacesTest, TotalsAndMaximaFollowMixedUse) {
  void* r1 = AllocReal(96, "r1");          // 100
  PlaceHandle v1 = AllocVirtual(196, "v1");  // 200
  PlaceHandle v2 = AllocVirtual(296, "v2");  // 300
  LockVirtual(v1);
  LockVirtual(v2);
  EXPECT_EQ(Places().realTotal, 600);
  UnlockVirtual(v2);
  FreeReal(r1, "r1");
  EXPECT_EQ(InUse(), (std::array<std::int64_t, 3>{200, 500, 2}));
  EXPECT_EQ(Maxima(), (std::array<std::int64_t, 3>{600, 600, 3}));

  StartLog();
  MemoryReport();
  EXPECT_EQ(Logged(),
            "Mem Locked: Y Size:     200 Name: v1  \n"
            "Mem Locked: N Size:     300 Name: v2  \n"
            "Mem Total: Real     200 Virt     500\n"
            "\nMax memory used:     600 real      600 virtual   3 places\n"
            "\nIn use now:          200 real      500 virtual   2 places\n");
  std::size_t before = Log().size();
  MemoryCloseReport();
  EXPECT_EQ(Log().substr(before),
            "\nMax memory used:     600 real      600 virtual   3 places\n"
            "\nIn use at close:     200 real      500 virtual   2 places\n");

  before = Log().size();
  FreeAllPlaces();
  EXPECT_EQ(Log().substr(before),
            "Auto un-locked : v1   (1)\n"
            "Auto freed    : v1  \n"
            "Auto freed    : v2  \n"
            "\nAuto - removed memory places = 2\n");
  EXPECT_EQ(Places().capacity, 0);
  EXPECT_EQ(InUse(), (std::array<std::int64_t, 3>{0, 0, 0}));
  EXPECT_NE(AllocReal(4, "again"), nullptr);  // the manager starts over
  EXPECT_EQ(Places().capacity, 400);
}

TEST_F(MemoryPlacesTest, ReportsWriteNothingWhileLoggingIsOff) {
  AllocReal(4, "x");
  MemoryReport();
  MemoryCloseReport();
  FreeAllPlaces();
  EXPECT_FALSE(std::filesystem::exists(workDir / kLogFileName));
  EXPECT_EQ(Places().placesInUse, 0);
}

TEST_F(MemoryPlacesTest, NumberedAllocationsAreTaggedByCallSite) {
  void* p = AllocNumbered(10, 12073);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(UnpackTag(Places().tag[1]), "M 73");
  void* q = AllocNumbered(10, 5);
  EXPECT_EQ(UnpackTag(Places().tag[2]), "M  5");

  EXPECT_EQ(AllocNumbered(0, 12001), nullptr);
  EXPECT_EQ(host->notes, (std::vector<std::string>{"Zero allocation asked for"}));
  EXPECT_EQ(Places().placesInUse, 2);

  Places().faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(AllocNumbered(10, 12002), nullptr);
  EXPECT_EQ(host->notes.back(), "Memory alloc failed");
  Places().faults.allocate = nullptr;
  FreeReal(p, "");
  FreeReal(q, "");
}

TEST_F(MemoryPlacesTest, FailedAllocationsLeaveNoEntryAndTotalsUnchanged) {
  StartLog();
  // The very first allocation cannot grow the table.
  Places().faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(AllocReal(10, "a"), nullptr);
  EXPECT_EQ(Places().capacity, 0);

  // Blocks fail, the table does not.
  Places().faults.allocate = [](std::int64_t bytes) { return bytes == 1004; };
  EXPECT_EQ(AllocReal(1000, "a"), nullptr);
  EXPECT_EQ(AllocVirtual(1000, "b"), nullptr);
  EXPECT_EQ(Places().capacity, 400);
  EXPECT_EQ(InUse(), (std::array<std::int64_t, 3>{0, 0, 0}));
  EXPECT_EQ(Places().virtualMax, 0);
  EXPECT_EQ(Logged(), "Out of moveable places\n");

  // A block that cannot be locked is given back.
  Places().faults.allocate = nullptr;
  Places().faults.lock = [] { return true; };
  EXPECT_EQ(AllocReal(10, "c"), nullptr);
  PlaceHandle h = AllocVirtual(10, "d");
  EXPECT_EQ(LockVirtual(h), nullptr);
  EXPECT_EQ(Places().placesInUse, 1);
  EXPECT_EQ(Places().realTotal, 0);
  Places().faults.lock = nullptr;
  EXPECT_EQ(FreeVirtual(h), 0);

  EXPECT_EQ(AllocReal(-1, "neg"), nullptr);
  EXPECT_EQ(AllocVirtual(INT64_MAX, "huge"), nullptr);
  EXPECT_EQ(Places().placesInUse, 0);
}

}  // namespace
}  // namespace qv
