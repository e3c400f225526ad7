// Strings, lists, events, trace, qualities and the exception of the toolkit.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "server/toolkit/SOCmnEvent.h"
#include "server/toolkit/SOCmnException.h"
#include "server/toolkit/SOCmnList.h"
#include "server/toolkit/SOCmnString.h"
#include "server/toolkit/SOCmnTrace.h"
#include "server/toolkit/SODaSQuality.h"

namespace {

class Counted : public SOCmnObject {
 public:
  explicit Counted(int* destroyed) : destroyed_(destroyed) {}

 protected:
  ~Counted() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

struct Plain {
  int value;
};

}  // namespace

TEST(SOCmnString, formatAppendAndReplaceReportWhatTheyDid) {
  SOCmnString s;
  s.format("%d-%s", 42, "x");
  EXPECT_EQ(s.str(), "42-x");
  s.append("-y").append("-x");
  EXPECT_EQ(s.replace("x", "zz"), 2);
  EXPECT_EQ(s.str(), "42-zz-y-zz");
  EXPECT_EQ(s.replace("nothing", "a"), 0);
  EXPECT_EQ(s.replace("", "a"), 0);
  s.format("%s", std::string(3000, 'a').c_str());  // longer than any fixed buffer
  EXPECT_EQ(s.getLength(), 3000u);
}

TEST(SOCmnListHeader, keepsOrderKeysAndCountedReferences) {
  int destroyed = 0;
  {
    SOCmnListHeader<Counted> list(SOCmnListConfig{0x4124, 10, 17});
    EXPECT_TRUE(list.isKeyed());
    SOCmnPointer<Counted> a(new Counted(&destroyed));
    list.add(a, "A");
    list.add(SOCmnPointer<Counted>(new Counted(&destroyed)), "B");
    list.add(SOCmnPointer<Counted>(new Counted(&destroyed)), "A");  // duplicate key: first wins
    EXPECT_EQ(a->getRefCount(), 2);
    EXPECT_EQ(list.getCount(), 3u);
    EXPECT_EQ(list.findKey("A"), a.get());
    EXPECT_EQ(list.findKey("a"), nullptr);  // keys are exact

    std::vector<Counted*> walked;
    for (SOCmnListPosition pos = list.getStartPosition(); pos != 0;) walked.push_back(list.getNext(pos));
    ASSERT_EQ(walked.size(), 3u);
    EXPECT_EQ(walked[0], a.get());
    EXPECT_EQ(walked[1], list.getIndex(1));

    SOCmnPointer<Counted> head = list.removeHead();
    EXPECT_EQ(head.get(), a.get());
    EXPECT_EQ(list.getCount(), 2u);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 3);  // the list released what it held, the pointers the rest
}

TEST(SOCmnListHeader, ownsPlainRecordsUntilHandedOut) {
  SOCmnListHeader<Plain> list;
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(list.getStartPosition(), 0u);
  list.add(std::make_unique<Plain>(Plain{1}));
  list.add(std::make_unique<Plain>(Plain{2}));
  std::unique_ptr<Plain> first = list.removeHead();
  EXPECT_EQ(first->value, 1);
  EXPECT_EQ(list.getIndex(0)->value, 2);
  EXPECT_EQ(list.getIndex(5), nullptr);
  EXPECT_EQ(list.removeHead()->value, 2);
  EXPECT_EQ(list.removeHead(), nullptr);  // empty: nothing, no crash
}

TEST(SOCmnEventPool, eventsSignalAcrossThreadsAndComeBackReset) {
  SOCmnEventPool pool;
  SOCmnEvent* e = pool.popEvent();
  EXPECT_FALSE(e->waitFor(5));
  std::thread t([e] { e->signal(); });
  EXPECT_TRUE(e->waitFor(5000));
  t.join();
  EXPECT_FALSE(e->waitFor(0));  // auto-reset: the wait consumed the signal
  e->signal();
  pool.pushEvent(e);
  EXPECT_EQ(pool.getOutstandingCount(), 0u);
  SOCmnEvent* again = pool.popEvent();
  EXPECT_EQ(again, e);  // reused, and reset on the way
  EXPECT_FALSE(again->waitFor(0));
  pool.pushEvent(again);
  pool.pushEvent(again);  // a second return is ignored
  EXPECT_EQ(pool.getOutstandingCount(), 0u);
  EXPECT_NE(getEventPool(), nullptr);
}

TEST(SOCmnTrace, tracesOnlyWhatTheLevelMaskLets) {
  SOCmnTrace trace;
  std::vector<std::string> lines;
  trace.setSink([&](unsigned, std::uint32_t, std::string_view id, std::string_view text) {
    lines.push_back(std::string(id) + ":" + std::string(text));
  });
  EXPECT_TRUE(trace.isOn(SOCMNTRACE_L_ERR, 0x10000000));
  trace.trace(SOCMNTRACE_L_ERR, 0x10000000, "DMS", trace.expand("Can't start the %s", "OPC server").str());
  trace.trace(SOCMNTRACE_L_DEB, 0x10000000, "DMS", "debug, off by default");
  trace.setLevelMask(SOCMNTRACE_L_ERR, 0);
  trace.trace(SOCMNTRACE_L_ERR, 0x10000000, "DMS", "now off");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "DMS:Can't start the OPC server");
  EXPECT_NE(getSOCmnTrace(), nullptr);
}

TEST(Quality2String, namesTheQualitiesTheServerUses) {
  EXPECT_EQ(quality2string(0xC0).str(), "GOOD");
  EXPECT_EQ(quality2string(0x00).str(), "BAD");
  EXPECT_EQ(quality2string(0x18).str(), "BAD (comm failure)");
  EXPECT_EQ(quality2string(0x0C).str(), "BAD (device failure)");
  EXPECT_EQ(quality2string(0x1C).str(), "BAD (out of service)");
  EXPECT_EQ(quality2string(0x41).str(), "UNCERTAIN [low limited]");
  EXPECT_FALSE(quality2string(0xFF).isEmpty());  // any 16-bit value has a text
}

TEST(SOCmnException, outOfMemoryHasCodeOneAndItsText) {
  try {
    SOCmnThrowOutOfMemory();
    FAIL();
  } catch (const SOCmnException& e) {
    EXPECT_EQ(e.getCode(), 1u);
    EXPECT_STREQ(e.what(), "Out of memory");
  }
  struct Huge {
    Huge() { throw std::bad_alloc(); }
  };
  EXPECT_THROW(SOCmnNew<Huge>(), SOCmnException);
}
