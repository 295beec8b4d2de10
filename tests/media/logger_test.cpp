// The logger: direct Log calls, the library log capture (line assembly per thread, the object
// prefix, level filtering), level conversions and delivery in the main thread.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/version.h>
}

#include "media/dispatcher.h"
#include "media/logger.h"

namespace {

struct Event {
  const void* sender;
  uint32_t thread_id;
  TLogLevel level;
  std::string msg;
};

// An object the library can log for: its first member points at its class record.
AVClass MakeTestClass() {
  AVClass c{};
  c.class_name = "TestObj";
  c.item_name = av_default_item_name;
  c.version = LIBAVUTIL_VERSION_INT;
  return c;
}
const AVClass kTestClass = MakeTestClass();
struct TestObj {
  const AVClass* cls = &kTestClass;
};

std::string Prefix(const void* obj) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "[TestObj @ %p]", obj);
  return buf;
}

class Logger : public ::testing::Test {
protected:
  void SetUp() override {
    logger_ = &LoggerInstance();
    logger_->SetTriggerEventInMainThread(false);
    logger_->SetLogLevel(llInfo);
    logger_->InstallAVLogCallback();
    logger_->SetOnLog([this](const void* sender, uint32_t tid, TLogLevel level, const std::string& msg) {
      std::lock_guard lock(mutex_);
      events_.push_back({sender, tid, level, msg});
    });
  }
  void TearDown() override {
    logger_->SetOnLog(nullptr);
    logger_->SetLogLevel(llInfo);
    logger_->SetTriggerEventInMainThread(true);
    SetMainThreadDispatcher(nullptr);
  }
  std::vector<Event> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const auto& e : Events())
      out.push_back(e.msg);
    return out;
  }

  TMediaLogger* logger_ = nullptr;
  std::mutex mutex_;  // protects events_
  std::vector<Event> events_;
};

}  // namespace

TEST_F(Logger, OnlyOneInstance) {
  try {
    TMediaLogger second;
    ADD_FAILURE() << "a second logger was created";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Allow creating only one instance of TMediaLogger.");
  }
  EXPECT_EQ(ExistingLogger(), logger_);
  EXPECT_EQ(&LoggerInstance(), logger_);
}

TEST_F(Logger, PartsOfALineJoinWithThePrefixOnce) {
  TestObj obj;
  av_log(&obj, AV_LOG_ERROR, "abc");
  EXPECT_TRUE(Events().empty());
  av_log(&obj, AV_LOG_ERROR, "def\n");
  auto events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].msg, Prefix(&obj) + "abcdef");
  EXPECT_EQ(events[0].sender, logger_);
  EXPECT_EQ(events[0].thread_id, CurrentThreadID());
  EXPECT_EQ(events[0].level, llError);
}

TEST_F(Logger, LinesAreSplitAndTheRestWaits) {
  av_log(nullptr, AV_LOG_WARNING, "a\nb\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{"a", "b"}));
  av_log(nullptr, AV_LOG_WARNING, "x\n\ny");
  av_log(nullptr, AV_LOG_WARNING, "%s=%d\n", "z", 7);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"a", "b", "x", "", "yz=7"}));
  EXPECT_EQ(Events().back().level, llWarning);
}

TEST_F(Logger, LongMessageArrivesWhole) {
  TestObj obj;
  std::string big(100000, 'x');
  av_log(&obj, AV_LOG_ERROR, "%s", big.c_str());
  av_log(&obj, AV_LOG_ERROR, "%s\n", big.c_str());
  logger_->LogFmt(nullptr, llError, "%s!", big.c_str());
  auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], Prefix(&obj) + big + big);
  EXPECT_EQ(messages[1], big + "!");
}

TEST_F(Logger, LevelsFilterLibraryMessagesAndLogCalls) {
  logger_->SetLogLevel(llQuiet);
  EXPECT_EQ(TMediaLogger::LibraryLevel(), -8);
  EXPECT_EQ(av_log_get_level(), -8);
  av_log(nullptr, AV_LOG_PANIC, "panic\n");
  av_log(nullptr, AV_LOG_QUIET, "quiet\n");
  logger_->Log(nullptr, llVerbose, "verbose while quiet");
  logger_->Log(nullptr, llQuiet, "log quiet");

  logger_->SetLogLevel(llError);
  EXPECT_EQ(av_log_get_level(), 16);
  av_log(nullptr, AV_LOG_WARNING, "library warning\n");
  av_log(nullptr, AV_LOG_ERROR, "library error\n");
  logger_->Log(nullptr, llVerbose, "verbose while error");
  logger_->Log(nullptr, llWarning, "warning while error");
  logger_->Log(nullptr, llError, "error while error");

  logger_->SetLogLevel(llInfo);
  av_log(nullptr, AV_LOG_VERBOSE, "library verbose\n");
  av_log(nullptr, AV_LOG_INFO, "library info\n");

  EXPECT_EQ(Messages(), (std::vector<std::string>{"quiet", "log quiet", "library error",
                                                  "verbose while error", "error while error",
                                                  "library info"}));
  EXPECT_EQ(Events()[0].level, llQuiet);
  EXPECT_EQ(Events()[5].level, llInfo);
}

TEST_F(Logger, SenderAndFormattedLog) {
  int sender = 0;
  logger_->LogFmt(&sender, llWarning, "n=%d %s", 5, "x");
  auto events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].sender, &sender);
  EXPECT_EQ(events[0].msg, "n=5 x");
  EXPECT_EQ(events[0].level, llWarning);
}

TEST(LoggerLevels, LibraryLevelConversions) {
  const struct {
    int library;
    TLogLevel level;
  } cases[] = {{-100, llQuiet}, {-8, llQuiet}, {-1, llPanic}, {0, llPanic}, {7, llPanic},
               {8, llFatal},    {20, llError}, {24, llWarning}, {32, llInfo}, {40, llVerbose},
               {48, llDebug},   {56, llDebug}};
  for (const auto& c : cases)
    EXPECT_EQ(LogLevelOf(c.library), c.level) << c.library;
  EXPECT_EQ(LibraryLevelOf(llQuiet), -8);
  EXPECT_EQ(LibraryLevelOf(llInfo), 32);
  EXPECT_EQ(LibraryLevelOf(llDebug), 48);
}

TEST_F(Logger, OptLogLevel) {
  const struct {
    const char* arg;
    TLogLevel level;
  } cases[] = {{"WARNING", llWarning}, {"20", llError}, {"-100", llQuiet}, {"Debug", llDebug},
               {"56", llDebug},        {"quiet", llQuiet}, {"-1", llPanic}, {"+32", llInfo}};
  for (const auto& c : cases) {
    logger_->SetLogLevel(llVerbose);
    logger_->OptLogLevel(c.arg);
    EXPECT_EQ(logger_->LogLevel(), c.level) << c.arg;
    EXPECT_EQ(av_log_get_level(), LibraryLevelOf(c.level)) << c.arg;
  }
  for (const char* bad : {"abc", "", "12x", "info2", " 5"}) {
    try {
      logger_->OptLogLevel(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
}

// Two threads write the halves of their lines in turn: each line stays whole and carries the
// id of the thread that wrote it.
TEST_F(Logger, LinesOfThreadsStaySeparate) {
  std::mutex m;
  std::condition_variable cv;
  int step = 0;
  auto wait_step = [&](int s) {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return step == s; });
  };
  auto next_step = [&] {
    std::lock_guard lock(m);
    ++step;
    cv.notify_all();
  };
  uint32_t tid_a = 0, tid_b = 0;
  TestObj obj_a, obj_b;
  std::thread a([&] {
    tid_a = CurrentThreadID();
    wait_step(0);
    av_log(&obj_a, AV_LOG_ERROR, "A1");
    next_step();
    wait_step(2);
    av_log(&obj_b, AV_LOG_ERROR, "A2\n");
    next_step();
  });
  std::thread b([&] {
    tid_b = CurrentThreadID();
    wait_step(1);
    av_log(&obj_b, AV_LOG_ERROR, "B1");
    next_step();
    wait_step(3);
    av_log(nullptr, AV_LOG_ERROR, "B2\n");
    next_step();
  });
  a.join();
  b.join();
  auto events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].msg, Prefix(&obj_a) + "A1A2");
  EXPECT_EQ(events[0].thread_id, tid_a);
  EXPECT_EQ(events[1].msg, Prefix(&obj_b) + "B1B2");
  EXPECT_EQ(events[1].thread_id, tid_b);
}

TEST_F(Logger, ManyThreadsManyLines) {
  constexpr int kThreads = 4, kLines = 200;
  std::vector<std::thread> threads;
  std::vector<uint32_t> tids(kThreads);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      tids[t] = CurrentThreadID();
      for (int k = 0; k < kLines; ++k) {
        av_log(nullptr, AV_LOG_ERROR, "t%d-", t);
        av_log(nullptr, AV_LOG_ERROR, "%d\n", k);
      }
    });
  for (auto& th : threads)
    th.join();
  std::map<uint32_t, int> next;  // per thread id: the next line number expected
  auto events = Events();
  ASSERT_EQ(events.size(), static_cast<size_t>(kThreads * kLines));
  for (const auto& e : events) {
    int t = static_cast<int>(std::find(tids.begin(), tids.end(), e.thread_id) - tids.begin());
    ASSERT_LT(t, kThreads) << e.msg;
    EXPECT_EQ(e.msg, "t" + std::to_string(t) + "-" + std::to_string(next[e.thread_id]++));
  }
}

TEST_F(Logger, HandlerMayLogAgain) {
  bool inner_sent = false;
  logger_->SetOnLog([&](const void*, uint32_t, TLogLevel, const std::string& msg) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back({nullptr, 0, llError, msg});
    }
    if (!inner_sent) {
      inner_sent = true;
      av_log(nullptr, AV_LOG_ERROR, "inner\n");
      logger_->Log(nullptr, llError, "direct");
    }
  });
  av_log(nullptr, AV_LOG_ERROR, "outer\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{"outer", "inner", "direct"}));
}

TEST_F(Logger, DeliveryInTheMainThread) {
  TLoopDispatcher loop;
  SetMainThreadDispatcher(&loop);
  logger_->SetTriggerEventInMainThread(true);
  std::thread::id handler_thread;
  logger_->SetOnLog([&](const void*, uint32_t tid, TLogLevel, const std::string& msg) {
    handler_thread = std::this_thread::get_id();
    std::lock_guard lock(mutex_);
    events_.push_back({nullptr, tid, llError, msg});
  });
  std::atomic<bool> done{false};
  uint32_t worker_tid = 0;
  std::thread worker([&] {
    worker_tid = CurrentThreadID();
    av_log(nullptr, AV_LOG_ERROR, "from worker\n");
    logger_->Log(nullptr, llError, "logged by worker");
    done = true;
  });
  EXPECT_TRUE(loop.RunPendingUntil([&] { return done.load(); }, std::chrono::seconds(30)));
  worker.join();
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
  auto events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].msg, "from worker");
  EXPECT_EQ(events[0].thread_id, worker_tid);
  EXPECT_EQ(events[1].thread_id, worker_tid);
}

TEST_F(Logger, WithoutHandlerLinesAreDropped) {
  logger_->SetOnLog(nullptr);
  av_log(nullptr, AV_LOG_ERROR, "nobody listens\n");
  logger_->Log(nullptr, llError, "nobody");
  SetUp();
  av_log(nullptr, AV_LOG_ERROR, "heard\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{"heard"}));
}
