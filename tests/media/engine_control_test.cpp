// The per-task engine on its own: creation, the byte-copy media work, start, worker thread,
// pause, resume, stop, termination of a never-started engine, failures and priorities.
#include <csignal>

#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include "task_manager_support.h"

using namespace tmtest;

namespace {

struct Report {
  int file_index, frame_number, fps;
  float quality, bitrate;
  int64_t size, duration, total;
};

// Records one engine's events; HoldNext makes the next progress report wait until Release.
class EngineWatch {
public:
  void Attach(TCustomFFmpeg& AEngine) {
    AEngine.OnProgress = [this](TCustomFFmpeg* ASender, int AFileIndex, int AFrameNumber, int AFPS,
                                float AQuality, float ABitRate, int64_t ASize, int64_t ADuration,
                                int64_t ATotal) {
      std::unique_lock lock(mutex_);
      reports.push_back({AFileIndex, AFrameNumber, AFPS, AQuality, ABitRate, ASize, ADuration,
                         ATotal});
      cond_.notify_all();
      if (in_handler) {
        auto action = in_handler;
        lock.unlock();
        action(ASender);
        lock.lock();
      }
      if (hold_) {
        hold_ = false;
        held_ = true;
        cond_.notify_all();
        cond_.wait(lock, [this] { return release_; });
        release_ = false;
        held_ = false;
      }
    };
    AEngine.OnTerminate = [this](TCustomFFmpeg*) {
      std::lock_guard lock(mutex_);
      ++terminations;
      term_thread = std::this_thread::get_id();
      cond_.notify_all();
    };
  }
  bool Wait(const std::function<bool()>& APred, std::chrono::milliseconds ATimeout = kTimeout) {
    std::unique_lock lock(mutex_);
    return cond_.wait_for(lock, ATimeout, APred);
  }
  void HoldNext() {
    std::lock_guard lock(mutex_);
    hold_ = true;
  }
  bool WaitHeld() {
    return Wait([this] { return held_; });
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      release_ = true;
    }
    cond_.notify_all();
  }
  size_t ReportCount() {
    std::lock_guard lock(mutex_);
    return reports.size();
  }
  int Terminations() {
    std::lock_guard lock(mutex_);
    return terminations;
  }

  // Read under the lock, or after the engine has terminated.
  std::vector<Report> reports;
  int terminations = 0;
  std::thread::id term_thread;
  std::function<void(TCustomFFmpeg*)> in_handler;  // set before the run

private:
  std::mutex mutex_;
  std::condition_variable cond_;
  bool hold_ = false;
  bool held_ = false;
  bool release_ = false;
};

constexpr int64_t kBytesPerSecond = 16000;  // the stand-in's nominal stream rate
int64_t DurationOf(int64_t ABytes) { return ABytes * 1000000 / kBytesPerSecond; }

}  // namespace

TEST(EngineCreate, CapacityMustLieIn1To512) {
  struct Case {
    int max_files;
    bool accepted;
  };
  for (Case c : {Case{0, false}, Case{-1, false}, Case{513, false}, Case{1, true},
                 Case{512, true}}) {
    SCOPED_TRACE(c.max_files);
    if (c.accepted) {
      TFFmpeg engine(c.max_files);
      EXPECT_EQ(engine.MaxFiles(), c.max_files);
      EXPECT_EQ(engine.ReportInterval.load(), 500000);
      EXPECT_EQ(engine.PreviewInterval.load(), 100000);
      EXPECT_EQ(engine.TotalOutputDuration(), -1);
      EXPECT_NO_THROW(engine.InputOptions(c.max_files - 1));
      EXPECT_THROW(engine.OutputOptions(c.max_files), std::out_of_range);
    } else {
      EXPECT_THROW(TFFmpeg engine(c.max_files), std::invalid_argument);
    }
  }
}

TEST(EngineStandIn, CopiesAllInputsIntoEveryOutput) {
  TempDir dir;
  const std::string a = RandomBytes(300000, 1), b = RandomBytes(70000, 2);
  WriteFile(dir / "a.bin", a);
  WriteFile(dir / "b.bin", b);
  EngineWatch watch;
  TFFmpeg engine(4);
  watch.Attach(engine);
  ASSERT_TRUE(engine.OpenInput(dir / "a.bin"));
  ASSERT_TRUE(engine.OpenInput(dir / "b.bin"));
  EXPECT_EQ(engine.TotalOutputDuration(), DurationOf(300000));  // the longest input
  EXPECT_EQ(engine.OpenOutput(dir / "o1.bin", false), 1);
  EXPECT_EQ(engine.OpenOutput(dir / "o2.bin", false), 2);

  EXPECT_EQ(engine.StartConvert(false, tpNormal), nullptr);  // ran in this thread
  EXPECT_TRUE(engine.Terminated());
  EXPECT_TRUE(engine.Finished());
  EXPECT_FALSE(engine.FatalException());
  EXPECT_EQ(watch.terminations, 1);
  EXPECT_EQ(watch.term_thread, std::this_thread::get_id());
  EXPECT_EQ(ReadFile(dir / "o1.bin"), a + b);
  EXPECT_EQ(ReadFile(dir / "o2.bin"), a + b);
  EXPECT_EQ(engine.InputCount(), 0);  // released by the clean-up
  EXPECT_EQ(engine.OutputCount(), 0);

  ASSERT_FALSE(watch.reports.empty());
  const Report& last = watch.reports.back();
  EXPECT_EQ(last.file_index, -1);
  EXPECT_EQ(last.frame_number, -1);
  EXPECT_EQ(last.fps, -1);
  EXPECT_FLOAT_EQ(last.quality, -1.0f);
  EXPECT_EQ(last.size, 370000);
  EXPECT_EQ(last.duration, DurationOf(370000));
  EXPECT_EQ(last.total, DurationOf(300000));
  EXPECT_NEAR(last.bitrate, kBytesPerSecond * 8 / 1000.0, 1.0);
}

TEST(EngineStandIn, JoinSumsDurationsAndTakesOneOutput) {
  TempDir dir;
  const std::string a = RandomBytes(100000, 3), b = RandomBytes(50000, 4), c = RandomBytes(10, 5);
  WriteFile(dir / "a", a);
  WriteFile(dir / "b", b);
  WriteFile(dir / "c", c);
  EngineWatch watch;
  TFFmpeg engine(8);
  watch.Attach(engine);
  for (const char* name : {"a", "b", "c"})
    ASSERT_TRUE(engine.OpenInput(dir / name));
  EXPECT_EQ(engine.OpenOutput(dir / "joined", true), 3);  // one output entry per input
  EXPECT_TRUE(engine.JoinMode());
  EXPECT_EQ(engine.TotalOutputDuration(), DurationOf(100000) + DurationOf(50000) + DurationOf(10));
  EXPECT_EQ(engine.OpenOutput(dir / "second", false), -1);
  EXPECT_EQ(engine.LastErrMsg(), "Cannot join more than one output file.");
  EXPECT_FALSE(Exists(dir / "second"));

  TConvertThread* thread = engine.StartConvert(true, tpNormal);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 1; }));
  EXPECT_TRUE(engine.Finished());
  EXPECT_NE(watch.term_thread, std::this_thread::get_id());
  EXPECT_EQ(ReadFile(dir / "joined"), a + b + c);
}

TEST(EngineStandIn, OpenFailuresSayWhy) {
  TempDir dir;
  const std::string data = RandomBytes(1000, 6);
  WriteFile(dir / "in", data);
  std::filesystem::create_directory(dir / "folder");
  const std::string missing = dir / "missing.avi";
  const std::string nodir = dir / "nodir/out.avi";

  TFFmpeg engine(2);
  EXPECT_FALSE(engine.OpenInput(missing));
  EXPECT_EQ(engine.LastErrMsg(), missing + ": No such file or directory");
  EXPECT_FALSE(engine.OpenInput(dir / "folder"));
  EXPECT_EQ(engine.LastErrMsg().rfind(dir / "folder: ", 0), 0u);
  EXPECT_FALSE(engine.OpenInput("stream:1234:x"));
  EXPECT_EQ(engine.LastErrMsg().rfind("stream:1234:x: ", 0), 0u);
  EXPECT_EQ(engine.InputCount(), 0);

  ASSERT_TRUE(engine.OpenInput(dir / "in"));
  EXPECT_EQ(engine.OpenOutput(nodir, false), -1);
  EXPECT_EQ(engine.LastErrMsg(), nodir + ": No such file or directory");
  // The output must never truncate an input of the same task.
  EXPECT_EQ(engine.OpenOutput(dir / "in", false), -1);
  EXPECT_NE(engine.LastErrMsg().find("same file as input #0"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "in"), data);
  EXPECT_EQ(engine.OutputCount(), 0);

  ASSERT_TRUE(engine.OpenInput(dir / "in"));
  EXPECT_FALSE(engine.OpenInput(dir / "in"));
  EXPECT_EQ(engine.LastErrMsg(), "max input files 2 reached");
}

TEST(EngineStandIn, EmptyOutputIsDeletedByCleanUp) {
  TempDir dir;
  WriteFile(dir / "empty", "");
  TFFmpeg engine(1);
  ASSERT_TRUE(engine.OpenInput(dir / "empty"));
  ASSERT_EQ(engine.OpenOutput(dir / "out", false), 1);
  EXPECT_TRUE(Exists(dir / "out"));
  engine.StartConvert(false, tpNormal);
  EXPECT_TRUE(engine.Finished());
  EXPECT_FALSE(Exists(dir / "out"));
}

TEST(EngineStart, MissingInputOrOutputEndsTheRunAtOnce) {
  struct Case {
    bool input, output, threaded;
    const char* message;
  };
  const Case cases[] = {
      {true, false, false, "At least one output file must be specified"},
      {true, false, true, "At least one output file must be specified"},
      {false, true, true, "At least one input file must be specified"},
      {false, false, false, "At least one output file must be specified"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    WriteFile(dir / "in", "data");
    EngineWatch watch;
    TFFmpeg engine(2);
    watch.Attach(engine);
    if (c.input) {
      ASSERT_TRUE(engine.OpenInput(dir / "in"));
    }
    if (c.output) {
      ASSERT_EQ(engine.OpenOutput(dir / "out", false), 1);
    }
    EXPECT_EQ(engine.StartConvert(c.threaded, tpNormal), nullptr);
    EXPECT_EQ(watch.terminations, 1);
    EXPECT_TRUE(engine.Terminated());
    EXPECT_FALSE(engine.Converting());
    EXPECT_FALSE(engine.Finished());
    EXPECT_TRUE(engine.FatalException());
    EXPECT_EQ(engine.FatalMessage(), c.message);
    EXPECT_FALSE(Exists(dir / "out"));  // the clean-up deleted the empty output
  }
}

TEST(EngineStart, RunsOnceUntilInitEngine) {
  TempDir dir;
  WriteFile(dir / "in", RandomBytes(5000, 7));
  EngineWatch watch;
  TFFmpeg engine(1);
  watch.Attach(engine);
  ASSERT_TRUE(engine.OpenInput(dir / "in"));
  ASSERT_EQ(engine.OpenOutput(dir / "out", false), 1);
  engine.StartConvert(false, tpNormal);
  EXPECT_EQ(engine.StartConvert(false, tpNormal), nullptr);
  EXPECT_EQ(engine.StartConvert(true, tpNormal), nullptr);
  EXPECT_EQ(watch.terminations, 1);

  engine.InitEngine();
  EXPECT_FALSE(engine.Terminated());
  ASSERT_TRUE(engine.OpenInput(dir / "in"));
  ASSERT_EQ(engine.OpenOutput(dir / "out2", false), 1);
  TConvertThread* thread = engine.StartConvert(true, tpNormal);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 2; }));
  EXPECT_EQ(ReadFile(dir / "out2"), ReadFile(dir / "in"));
}

// A worker held inside a progress report; every loop turn reports (ReportInterval 0).
class EngineRun : public ::testing::Test {
protected:
  void SetUp() override {
    data_ = RandomBytes(2 * 1024 * 1024, 8);
    WriteFile(dir_ / "in", data_);
    engine_.ReportInterval = 0;
    watch_.Attach(engine_);
    ASSERT_TRUE(engine_.OpenInput(dir_ / "in"));
    ASSERT_EQ(engine_.OpenOutput(dir_ / "out", false), 1);
  }
  // Starts the worker and holds it in its first report.
  void StartHeld() {
    watch_.HoldNext();
    TConvertThread* thread = engine_.StartConvert(true, tpNormal);
    ASSERT_NE(thread, nullptr);
    thread->Resume();
    ASSERT_TRUE(watch_.WaitHeld());
    ASSERT_TRUE(engine_.Converting());
  }

  TempDir dir_;
  std::string data_;
  EngineWatch watch_;  // outlives the engine, whose last events it receives
  TFFmpeg engine_{2};
};

TEST_F(EngineRun, PauseHoldsTheLoopAndResumeContinues) {
  StartHeld();
  engine_.Pause();
  EXPECT_TRUE(engine_.Paused());
  size_t reports = watch_.ReportCount();
  watch_.Release();
  // Paused: the loop waits at its next turn and reports nothing.
  EXPECT_FALSE(watch_.Wait([&] { return watch_.reports.size() > reports; }, 400ms));
  EXPECT_EQ(watch_.Terminations(), 0);
  EXPECT_FALSE(engine_.Terminated());

  engine_.Resume();
  ASSERT_TRUE(watch_.Wait([&] { return watch_.terminations == 1; }));
  EXPECT_TRUE(engine_.Finished());
  EXPECT_FALSE(engine_.Paused());
  EXPECT_GT(watch_.reports.size(), reports);
  EXPECT_EQ(ReadFile(dir_ / "out"), data_);
}

TEST_F(EngineRun, StopEndsAPausedRun) {
  StartHeld();
  engine_.Pause();
  watch_.Release();
  {
    Watchdog dog(60s, "Stop(true) of a paused engine");
    engine_.Stop(true);
  }
  EXPECT_EQ(watch_.Terminations(), 1);  // the wait covered the termination
  EXPECT_FALSE(engine_.Finished());
  EXPECT_FALSE(engine_.FatalException());
  EXPECT_TRUE(engine_.Broken());
  std::string out = ReadFile(dir_ / "out");
  EXPECT_LT(out.size(), data_.size());
  EXPECT_EQ(out, data_.substr(0, out.size()));
}

TEST_F(EngineRun, StopWithWaitFromTheWorkersOwnHandlerReturns) {
  std::atomic<bool> stopped{false};
  watch_.in_handler = [&](TCustomFFmpeg* ASender) {
    if (!stopped.exchange(true))
      ASender->Stop(true);  // must not wait for itself
  };
  Watchdog dog(60s, "Stop(true) on the worker");
  TConvertThread* thread = engine_.StartConvert(true, tpNormal);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  ASSERT_TRUE(watch_.Wait([&] { return watch_.terminations == 1; }));
  EXPECT_FALSE(engine_.Finished());
  EXPECT_FALSE(engine_.FatalException());
}

TEST(EngineControl, DestroyingARunningEngineStopsAndWaits) {
  TempDir dir;
  EndlessSource source(dir / "in.fifo");
  EngineWatch watch;
  auto engine = std::make_unique<TFFmpeg>(1);
  engine->ReportInterval = 0;
  watch.Attach(*engine);
  ASSERT_TRUE(engine->OpenInput(source.Path()));
  ASSERT_EQ(engine->OpenOutput(dir / "out", false), 1);
  engine->StartConvert(true, tpNormal)->Resume();
  ASSERT_TRUE(watch.Wait([&] { return !watch.reports.empty(); }));
  {
    Watchdog dog(60s, "destruction of a running engine");
    engine.reset();
  }
  EXPECT_EQ(watch.Terminations(), 1);
  EXPECT_EQ(watch.reports.back().file_index, -1);
}

TEST(EngineControl, NeverStartedEngineTerminatesWithoutRunning) {
  for (bool wait : {true, false}) {
    SCOPED_TRACE(wait);
    TempDir dir;
    WriteFile(dir / "in", "data");
    EngineWatch watch;
    TFFmpeg engine(1);
    watch.Attach(engine);
    ASSERT_TRUE(engine.OpenInput(dir / "in"));
    ASSERT_EQ(engine.OpenOutput(dir / "out", false), 1);
    engine.StopOrTerminate(wait);
    if (wait) {
      EXPECT_EQ(watch.Terminations(), 1);
    }
    ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 1; }));
    EXPECT_NE(watch.term_thread, std::this_thread::get_id());
    EXPECT_TRUE(watch.Wait([&] { return engine.Terminated(); }));
    EXPECT_FALSE(engine.Finished());
    EXPECT_FALSE(engine.FatalException());
    EXPECT_EQ(engine.StartConvert(true, tpNormal), nullptr);
    engine.StopOrTerminate(true);  // already terminated: left alone
    EXPECT_EQ(watch.Terminations(), 1);
    EXPECT_TRUE(watch.reports.empty());
  }
}

TEST(EngineControl, OutputFailingMidwayEndsTheRunWithItsError) {
  std::signal(SIGPIPE, SIG_IGN);  // a write to a closed pipe must fail, not kill the process
  TempDir dir;
  const std::string fifo = dir / "out.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  WriteFile(dir / "in", RandomBytes(4 * 1024 * 1024, 9));
  EngineWatch watch;
  TFFmpeg engine(1);
  watch.Attach(engine);
  ASSERT_TRUE(engine.OpenInput(dir / "in"));
  ASSERT_EQ(engine.OpenOutput(fifo, false), 1);
  TConvertThread* thread = engine.StartConvert(true, tpNormal);
  ASSERT_NE(thread, nullptr);
  thread->Resume();

  size_t got = 0;
  std::vector<char> buf(65536);
  auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (got < 100000 && std::chrono::steady_clock::now() < deadline) {
    pollfd p{reader, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      ssize_t n = ::read(reader, buf.data(), buf.size());
      if (n > 0)
        got += static_cast<size_t>(n);
    }
  }
  ASSERT_GE(got, 100000u);
  ::close(reader);  // the reader goes away mid-way

  ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 1; }));
  EXPECT_TRUE(engine.FatalException());
  EXPECT_EQ(engine.FatalMessage(), fifo + ": Broken pipe");
  EXPECT_FALSE(engine.Finished());
}

TEST(EnginePriority, WorkerRunsWithTheAskedPriority) {
  struct Case {
    TThreadPriority priority;
    int policy;
    int nice_delta;
  };
  errno = 0;
  const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  for (Case c : {Case{tpIdle, SCHED_IDLE, 19}, Case{tpLowest, SCHED_OTHER, 10},
                 Case{tpLower, SCHED_OTHER, 5}, Case{tpNormal, SCHED_OTHER, 0}}) {
    SCOPED_TRACE(c.priority);
    TempDir dir;
    WriteFile(dir / "in", "some bytes");
    EngineWatch watch;
    TFFmpeg engine(1);
    std::atomic<int> policy{-1}, nice_value{100};
    watch.in_handler = [&](TCustomFFmpeg*) {
      policy = sched_getscheduler(0);
      nice_value = getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
    };
    watch.Attach(engine);
    ASSERT_TRUE(engine.OpenInput(dir / "in"));
    ASSERT_EQ(engine.OpenOutput(dir / "out", false), 1);
    TConvertThread* thread = engine.StartConvert(true, c.priority);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(thread->Suspended());
    EXPECT_EQ(thread->Priority(), c.priority);
    thread->Resume();
    ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 1; }));
    EXPECT_EQ(policy, c.policy);
    EXPECT_EQ(nice_value, std::clamp(base + c.nice_delta, -20, 19));
  }
}

TEST(EnginePriority, RaisingIsAttemptedAndNeverFailsTheRun) {
  for (TThreadPriority p : {tpHigher, tpHighest, tpTimeCritical}) {
    TempDir dir;
    WriteFile(dir / "in", RandomBytes(1000, 10));
    EngineWatch watch;
    TFFmpeg engine(1);
    watch.Attach(engine);
    ASSERT_TRUE(engine.OpenInput(dir / "in"));
    ASSERT_EQ(engine.OpenOutput(dir / "out", false), 1);
    engine.StartConvert(true, p)->Resume();
    ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 1; }));
    EXPECT_TRUE(engine.Finished());
  }
}
