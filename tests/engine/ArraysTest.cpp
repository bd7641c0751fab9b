#include <memory>

#include <gtest/gtest.h>

#include "engine/IntArray.h"
#include "engine/OwnedArray.h"
#include "tests/support/WinCode.h"

using namespace velmora;

namespace {

struct Tracked {
  explicit Tracked(int* liveCounter) : live(liveCounter) { ++*live; }
  ~Tracked() { --*live; }
  int* live;
};

}  // namespace

TEST(OwnedArrayTest, GrowsByDoublingAndKeepsSlots) {
  int live = 0;
  {
    OwnedArray<Tracked> array(2);
    EXPECT_EQ(array.getCapacity(), 2);
    array.append(std::make_unique<Tracked>(&live));
    array.append(nullptr);  // an empty slot keeps its index
    EXPECT_EQ(array.getCapacity(), 2);
    array.append(std::make_unique<Tracked>(&live));
    EXPECT_EQ(array.getCapacity(), 4);
    EXPECT_EQ(array.getCount(), 3);
    EXPECT_NE(array.at(0), nullptr);
    EXPECT_EQ(array.at(1), nullptr);
    EXPECT_FALSE(array.exists(1));
    EXPECT_TRUE(array.exists(2));
    EXPECT_EQ(live, 2);
  }
  EXPECT_EQ(live, 0);
}

TEST(OwnedArrayTest, BoundsAreCheckedOnBothSides) {
  OwnedArray<int> array(1);
  for (int i = 0; i < 3; ++i) array.append(std::make_unique<int>(i));
  EXPECT_EQ(*array.at(2), 2);
  for (int bad : {-1, -1000, 3, 4}) {
    EXPECT_WIN_CODE(array.at(bad), 14);
    EXPECT_WIN_CODE(array.set(bad, nullptr), 14);
    EXPECT_FALSE(array.exists(bad));
  }
}

TEST(OwnedArrayTest, ZeroCapacityGrowsAndSetReplaces) {
  int live = 0;
  OwnedArray<Tracked> array(0);
  array.append(std::make_unique<Tracked>(&live));
  EXPECT_EQ(array.getCapacity(), 1);
  array.set(0, std::make_unique<Tracked>(&live));
  EXPECT_EQ(live, 1);
  array.clear();
  EXPECT_EQ(live, 0);
  EXPECT_EQ(array.getCount(), 0);
  EXPECT_EQ(array.getCapacity(), 1);
}

TEST(IntArrayTest, AppendsRemovesAndShrinks) {
  IntArray array(5);
  for (int i = 0; i < 6; ++i) array.append(i * 10);
  EXPECT_EQ(array.getCapacity(), 10);
  array.removeAt(0);
  EXPECT_EQ(array.at(0), 10);
  EXPECT_EQ(array.getCount(), 5);
  EXPECT_EQ(array.find(30), 2);
  EXPECT_EQ(array.find(30, 3), -1);
  array.shrinkToFit();
  EXPECT_EQ(array.getCapacity(), 5);
  EXPECT_EQ(array.at(4), 50);
  EXPECT_WIN_CODE(array.at(5), 14);
  EXPECT_WIN_CODE(array.at(-1), 14);
  EXPECT_WIN_CODE(array.removeAt(-1), 14);
  array.clear();
  array.shrinkToFit();
  EXPECT_EQ(array.getCapacity(), 0);
  array.append(7);
  EXPECT_EQ(array.at(0), 7);
}
