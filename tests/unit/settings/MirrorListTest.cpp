#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/MirrorConfig.h"
#include "settings/allparam.h"

namespace {

// M1..M10 as the build configures them.
std::string M(int n) { return kMirrorUrls[n - 1]; }

std::vector<std::string> Order(std::initializer_list<int> labels) {
  std::vector<std::string> v;
  for (int n : labels) v.push_back(M(n));
  return v;
}

const std::vector<std::string> kOrders[5] = {
    Order({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), Order({5, 1, 2, 3, 4, 6, 7, 8, 9}),
    Order({4, 5, 1, 2, 3, 6, 7, 8, 9, 10}), Order({3, 4, 5, 1, 2, 6, 7, 8, 9, 10}),
    Order({4, 3, 5, 1, 2, 6, 7, 8, 9, 10}),
};

class MirrorListBuild : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    MirrorList.clear();
    HomePageUrl.clear();
    FirstMirrorUrl.clear();
  }
  static int Build(int r) {
    Reset();
    BuildMirrorList([r] { return r; });
    return r;
  }
};

// Counts of each order over the draws from `count` seeds starting at `first`, `step` apart.
std::array<int, 5> CountDraws(std::uint32_t first, std::uint32_t step, int count) {
  std::array<int, 5> n{};
  for (int i = 0; i < count; ++i) {
    int r = DrawMirrorOrder(first + step * static_cast<std::uint32_t>(i));
    EXPECT_GE(r, 0);
    EXPECT_LE(r, 4);
    if (r >= 0 && r <= 4) ++n[r];
  }
  return n;
}

}  // namespace

// ---- what each order puts in the list ------------------------------------------------

TEST_F(MirrorListBuild, EachDrawFillsItsOrderExactly) {
  for (int r = 0; r < 5; ++r) {
    Build(r);
    EXPECT_EQ(MirrorList, kOrders[r]) << "order " << r + 1;
  }
}

TEST_F(MirrorListBuild, OrderTwoHasNineEntriesAndNeverAsksM10) {
  Build(1);
  ASSERT_EQ(MirrorList.size(), 9u);
  for (const std::string& url : MirrorList) EXPECT_NE(url, M(10));
  EXPECT_EQ(MirrorList.front(), M(5));
}

TEST_F(MirrorListBuild, FirstMirrorUrlIsItemZeroOfThatRun) {
  const int expected[5] = {1, 5, 4, 3, 4};  // M1, M5, M4, M3, M4
  for (int r = 0; r < 5; ++r) {
    Build(r);
    ASSERT_FALSE(MirrorList.empty());
    EXPECT_EQ(FirstMirrorUrl, MirrorList[0]) << "order " << r + 1;
    EXPECT_EQ(FirstMirrorUrl, M(expected[r])) << "order " << r + 1;
  }
}

TEST_F(MirrorListBuild, OrderFourAsksTheHomePageHostFirst) {
  Build(3);
  EXPECT_EQ(HomePageUrl, M(3));
  EXPECT_EQ(MirrorList[0], HomePageUrl);
}

TEST_F(MirrorListBuild, ASecondBuildAppendsBehindTheFirst) {
  Build(1);
  BuildMirrorList([] { return 0; });
  ASSERT_EQ(MirrorList.size(), 19u);
  EXPECT_EQ(MirrorList[9], M(1));
  EXPECT_EQ(FirstMirrorUrl, M(5));  // still item 0 of the list
}

// ---- the random draw ------------------------------------------------------------------
// The draws come from fixed seeds, so these counts are the same on every run; the bounds
// (10 % around one fifth, about seven standard deviations) still catch a skewed mapping
// such as one that never reaches an order or favours the low ones.

TEST(MirrorDraw, FiveOrdersEquallyLikelyOverSuccessiveCounterValues) {
  for (int n : CountDraws(0x9E3779B9u, 1, 20000)) {
    EXPECT_GT(n, 3600);
    EXPECT_LT(n, 4400);
  }
}

TEST(MirrorDraw, FiveOrdersEquallyLikelyOverCoarseTickCounts) {
  // Where only the tick count exists it moves in steps of about 16 ms.
  for (int n : CountDraws(120000, 16, 20000)) {
    EXPECT_GT(n, 3600);
    EXPECT_LT(n, 4400);
  }
}

TEST_F(MirrorListBuild, TheClockSeededBuildFillsOneOfTheFiveOrders) {
  BuildMirrorList();
  int matches = 0;
  for (const auto& order : kOrders) matches += MirrorList == order;
  EXPECT_EQ(matches, 1);
  EXPECT_EQ(FirstMirrorUrl, MirrorList.at(0));
}

// ---- failures are swallowed ------------------------------------------------------------

TEST_F(MirrorListBuild, AFailingDrawRaisesNothingAndLeavesTheListEmpty) {
  EXPECT_NO_THROW(BuildMirrorList([]() -> int { throw std::runtime_error("no clock"); }));
  EXPECT_TRUE(MirrorList.empty());
  EXPECT_TRUE(HomePageUrl.empty());
  EXPECT_TRUE(FirstMirrorUrl.empty());
}

// ---- the configured values ------------------------------------------------------------

TEST(RequestPath, NamesProductAndVersionWithTheGivenSeparator) {
  AssignSettings();
  EXPECT_EQ(BuildVerifyRequestPath('.'), "brenlow/QORTQ3.6ins.htm");
  EXPECT_EQ(BuildVerifyRequestPath(','), "brenlow/QORTQ3,6ins.htm");
}
