// A monitored item's sampling and queue: what counts as a change for each trigger, a queue
// of one that holds only the newest value (without a copy of its own), longer queues that
// keep their order and mark what they dropped, and changes of the queue size.
#include <gtest/gtest.h>

#include "server/toolkit/SODaSTag.h"
#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/services/MonitoredItem.h"

namespace zentarc::ua::test {
namespace {

constexpr uint32_t kOverflow = 0x0480;
constexpr int16_t kNoValue = INT16_MIN;

class MonitoredItemQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    tag_ = SOCmnPointer<SODaSTag>(new SODaSTag());
    tag_->setName("T");
    tag_->setAccessRights(OPC_READABLE);
    tag_->setNativeDatatype(VT_I2);
    node_.nodeId = NodeId(1, String("T"));
    node_.nodeClass = NodeClass::Variable;
    node_.dataType = NodeId(0, 4u);
    node_.tag = tag_;
    node_.cache = tag_->getCache().get();
    ReadValueId target;
    target.nodeId = node_.nodeId;
    item_ = std::make_unique<MonitoredItem>(1, node_, target, TimestampsToReturn::Source);
  }
  // Stores a value as the PLC's worker would and samples it.
  void sample(int16_t v) {
    tag_->getCache()->setValue(SOCmnVariant::fromI2(v));
    tag_->getCache()->setQuality(OPC_QUALITY_GOOD);
    ASSERT_TRUE(item_->sample());
  }
  struct Taken {
    int16_t value;
    uint32_t status;
  };
  std::vector<Taken> take(size_t max = SIZE_MAX) {
    std::vector<Taken> out;
    item_->takeQueued(max, [&](const DataValue& dv) {
      // A Bad status comes without a value.
      out.push_back({dv.value ? *dv.value->get<int16_t>() : kNoValue, dv.status ? dv.status->value : 0});
    });
    return out;
  }
  std::vector<int16_t> values(const std::vector<Taken>& taken) {
    std::vector<int16_t> out;
    for (const auto& t : taken) out.push_back(t.value);
    return out;
  }

  SOCmnPointer<SODaSTag> tag_;
  Node node_;
  std::unique_ptr<MonitoredItem> item_;
};

TEST_F(MonitoredItemQueue, aQueueOfOne_holdsTheNewestValueOnce_withoutOverflow) {
  item_->setQueue(1, true);
  sample(1);
  sample(2);
  sample(3);
  ASSERT_TRUE(item_->hasQueued());
  const auto taken = take();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].value, 3);
  EXPECT_EQ(taken[0].status, 0u);
  EXPECT_FALSE(item_->hasQueued());
  EXPECT_TRUE(take().empty());
  // The value sent is still what a change is judged against.
  tag_->getCache()->setValue(SOCmnVariant::fromI2(3));
  EXPECT_FALSE(item_->sample());
  sample(4);
  EXPECT_EQ(values(take()), std::vector<int16_t>{4});
}

TEST_F(MonitoredItemQueue, longerQueues_keepOrder_andMarkWhatWasDropped) {
  item_->setQueue(3, true);
  for (int16_t v = 1; v <= 5; ++v) sample(v);
  auto taken = take();
  EXPECT_EQ(values(taken), (std::vector<int16_t>{3, 4, 5}));
  EXPECT_EQ(taken[0].status, kOverflow);  // the oldest kept says that older ones were lost
  EXPECT_EQ(taken[2].status, 0u);

  item_->setQueue(3, false);
  for (int16_t v = 6; v <= 9; ++v) sample(v);
  taken = take();
  EXPECT_EQ(values(taken), (std::vector<int16_t>{6, 7, 9}));  // the newest replaced the last
  EXPECT_EQ(taken[2].status, kOverflow);
}

TEST_F(MonitoredItemQueue, takingPartOfTheQueue_leavesTheRestInOrder) {
  item_->setQueue(4, true);
  for (int16_t v = 1; v <= 3; ++v) sample(v);
  EXPECT_EQ(values(take(2)), (std::vector<int16_t>{1, 2}));
  EXPECT_TRUE(item_->hasQueued());
  EXPECT_EQ(values(take(2)), (std::vector<int16_t>{3}));
  item_->setQueue(1, true);
  sample(4);
  EXPECT_TRUE(take(0).empty());
  EXPECT_TRUE(item_->hasQueued());
  EXPECT_EQ(values(take(1)), std::vector<int16_t>{4});
}

TEST_F(MonitoredItemQueue, resizingTheQueue_keepsWhatWaits) {
  item_->setQueue(1, true);
  sample(1);
  item_->setQueue(3, true);  // the waiting value moves into the longer queue
  sample(2);
  EXPECT_EQ(values(take()), (std::vector<int16_t>{1, 2}));

  for (int16_t v = 3; v <= 5; ++v) sample(v);
  item_->setQueue(1, false);  // keeps the oldest, as a shrinking queue that keeps its oldest does
  EXPECT_EQ(values(take()), std::vector<int16_t>{3});
  for (int16_t v = 6; v <= 8; ++v) sample(v);
  item_->setQueue(1, true);
  EXPECT_EQ(values(take()), std::vector<int16_t>{8});

  sample(9);
  item_->clearQueue();
  EXPECT_FALSE(item_->hasQueued());
  EXPECT_TRUE(take().empty());
}

TEST_F(MonitoredItemQueue, aNewReadOfTheSameValue_isAChangeOnlyWhenTimestampsCount) {
  item_->setQueue(10, true);
  const auto t0 = std::chrono::system_clock::now();
  auto poll = [&](int16_t v, int seconds, uint16_t quality = OPC_QUALITY_GOOD) {
    SOCmnVariant value = SOCmnVariant::fromI2(v);
    tag_->getCache()->storeDeviceValue(std::move(value), quality, t0 + std::chrono::seconds(seconds));
    return item_->sample();
  };
  EXPECT_TRUE(poll(5, 0));
  EXPECT_FALSE(poll(5, 1));  // StatusValue: the same value read again
  EXPECT_TRUE(poll(5, 2, OPC_QUALITY_COMM_FAILURE));  // the status changed
  EXPECT_TRUE(poll(5, 3));
  EXPECT_TRUE(poll(6, 4));

  DataChangeFilter f;
  f.trigger = DataChangeTrigger::StatusValueTimestamp;
  ASSERT_TRUE(item_->setFilter(toExtensionObject(f)).isGood());
  EXPECT_TRUE(poll(6, 5));  // only the time is new
  EXPECT_TRUE(poll(6, 6));
  ASSERT_TRUE(item_->setFilter(ExtensionObject{}).isGood());
  EXPECT_FALSE(poll(6, 7));
  EXPECT_EQ(values(take()), (std::vector<int16_t>{5, kNoValue, 5, 6, 6, 6}));
}

}  // namespace
}  // namespace zentarc::ua::test
