// Runs of the task manager: scheduling with 0..3 threads, stop, pause, resume, errors inside a
// run, main-thread delivery of progress and waiting stops that keep the main thread serviced.
#include <csignal>

#include <poll.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media/dispatcher.h"
#include "media/ffutils.h"
#include "task_manager_support.h"

using namespace tmtest;

namespace {

std::string Name(const char* APrefix, int AIndex) { return APrefix + std::to_string(AIndex); }

// Checks the notifications of a whole run: every task once, then -1 once and last.
void ExpectCompleteRun(const std::vector<TTerminateInfo>& ATerms, int ATasks) {
  ASSERT_EQ(static_cast<int>(ATerms.size()), ATasks + 1);
  for (int i = 0; i < ATasks; ++i)
    EXPECT_EQ(std::count_if(ATerms.begin(), ATerms.end(),
                            [&](const TTerminateInfo& t) { return t.TaskIndex == i; }),
              1)
        << "task " << i;
  const TTerminateInfo& last = ATerms.back();
  EXPECT_EQ(last.TaskIndex, -1);
  EXPECT_TRUE(last.Finished);
  EXPECT_FALSE(last.Exception);
  EXPECT_EQ(last.ExceptionMsg, "");
}

// A task manager over endless inputs: each task runs until its source is finished.
struct EndlessRun {
  explicit EndlessRun(int ATasks) {
    tm.SetTriggerEventInMainThread(false);  // handlers run on the workers
    tm.SetProgressInterval(100);
    log.Attach(tm);
    for (int i = 0; i < ATasks; ++i) {
      sources.push_back(std::make_unique<EndlessSource>(dir / Name("in", i)));
      EXPECT_EQ(tm.AddTask(sources.back()->Path(), kEndlessFormat), i) << tm.LastErrMsg();
      EXPECT_TRUE(tm.SetOutputFile(i, dir / Name("out", i) + ".wav")) << tm.LastErrMsg();
    }
  }
  bool WaitAlive(int ACount) {
    return log.Wait([&] { return log.alive == ACount; });
  }

  // Destroyed in reverse: the task manager first, while the sources still feed its tasks.
  TempDir dir;
  RunLog log;
  std::vector<std::unique_ptr<EndlessSource>> sources;
  TTaskManager tm;
};

}  // namespace

TEST(TaskManagerRun, ThreadModeRunsAtMostThreadCountTasksAtOnce) {
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    EndlessRun run(5);
    run.tm.Start(threads);  // returns at once
    EXPECT_TRUE(run.tm.Working());
    EXPECT_FALSE(run.tm.Terminated());
    for (int done = 0; done < 5; ++done) {
      const int expect = std::min(threads, 5 - done);
      ASSERT_TRUE(run.WaitAlive(expect));
      // While these run no further task may start.
      std::this_thread::sleep_for(300ms);
      run.log.With([&] {
        EXPECT_EQ(run.log.alive, expect);
        std::set<int> first;  // tasks start in list order
        for (int i = 0; i < done + expect; ++i)
          first.insert(i);
        EXPECT_EQ(run.log.started, first);
        EXPECT_LE(run.log.max_alive, threads);
        EXPECT_TRUE(run.log.terms.size() == static_cast<size_t>(done));
      });
      // End the oldest running task: the next one starts only now.
      run.sources[done]->Finish();
      ASSERT_TRUE(run.log.Wait([&] { return run.log.TermCount(done) == 1; }));
    }
    ASSERT_TRUE(run.log.Wait([&] { return run.log.TermCount(-1) == 1; }));
    EXPECT_TRUE(run.tm.Terminated());
    run.log.With([&] {
      ExpectCompleteRun(run.log.terms, 5);
      for (const auto& t : run.log.terms)
        EXPECT_TRUE(t.Finished && !t.Exception) << t.TaskIndex << " " << t.ExceptionMsg;
      for (auto id : run.log.term_threads)
        EXPECT_NE(id, std::this_thread::get_id());
    });
  }
}

TEST(TaskManagerRun, SynchronousModeRunsTasksOneAfterAnotherInTheCaller) {
  TempDir dir;
  RunLog log;
  TTaskManager tm;
  tm.SetTriggerEventInMainThread(false);
  log.Attach(tm);
  for (int i = 0; i < 5; ++i) {
    enginetest::MakeTone(dir / Name("in", i) + ".wav", 0.2 + 0.1 * i);
    ASSERT_EQ(tm.AddTask(dir / Name("in", i) + ".wav"), i);
    ASSERT_TRUE(tm.SetOutputFile(i, dir / Name("out", i) + ".mp2"));
  }
  tm.Start(0);
  // Everything has happened by the time Start returns, in the caller's thread.
  EXPECT_TRUE(tm.Terminated());
  ASSERT_EQ(log.terms.size(), 6u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(log.terms[i].TaskIndex, i);
    EXPECT_TRUE(log.terms[i].Finished);
  }
  ExpectCompleteRun(log.terms, 5);
  for (auto id : log.term_threads)
    EXPECT_EQ(id, std::this_thread::get_id());
  for (auto id : log.progress_threads)
    EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(log.max_alive, 1);
  EXPECT_EQ(log.start_order, (std::vector<int>{0, 1, 2, 3, 4}));
  for (int i = 0; i < 5; ++i) {
    const auto out = enginetest::Probe(dir / Name("out", i) + ".mp2");
    ASSERT_TRUE(out.ok) << out.log;
    EXPECT_NEAR(out.Duration(), 0.2 + 0.1 * i, 0.05) << i;
  }
}

// Short tasks end while Start is still starting others: each task must start and terminate
// exactly once however the two callers of the next-task start interleave.
TEST(TaskManagerRun, ShortTasksEachRunExactlyOnce) {
  TempDir dir;
  for (int i = 0; i < 5; ++i)
    enginetest::MakeTone(dir / Name("in", i) + ".wav", 0.05);
  for (int threads : {1, 2, 3}) {
    for (int round = 0; round < 8; ++round) {
      SCOPED_TRACE(testing::Message() << threads << " threads, round " << round);
      RunLog log;
      TTaskManager tm;
      tm.SetTriggerEventInMainThread(false);
      log.Attach(tm);
      for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(tm.AddTask(dir / Name("in", i) + ".wav"), i);
        ASSERT_TRUE(tm.SetOutputFile(i, dir / Name("out", i) + ".wav"));
      }
      tm.Start(threads);
      ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
      log.With([&] {
        ExpectCompleteRun(log.terms, 5);
        for (const auto& t : log.terms)
          EXPECT_TRUE(t.Finished);
      });
      for (int i = 0; i < 5; ++i)  // PCM to PCM: the same file
        EXPECT_EQ(ReadFile(dir / Name("out", i) + ".wav").size(),
                  ReadFile(dir / Name("in", i) + ".wav").size());
    }
  }
}

TEST(TaskManagerRun, StopWithWaitEndsRunningAndNeverStartedTasks) {
  EndlessRun run(4);
  run.tm.Start(2);
  ASSERT_TRUE(run.WaitAlive(2));
  {
    Watchdog dog(60s, "Stop(true)");
    run.tm.Stop(true);
  }
  ASSERT_TRUE(run.log.Wait([&] { return run.log.terms.size() == 5; }));
  EXPECT_TRUE(run.tm.Terminated());
  run.log.With([&] {
    ExpectCompleteRun(run.log.terms, 4);
    for (int i = 0; i < 4; ++i) {
      const TTerminateInfo* t = run.log.TermOf(i);
      ASSERT_NE(t, nullptr);
      EXPECT_FALSE(t->Finished) << i;
      EXPECT_FALSE(t->Exception) << i;
    }
    EXPECT_EQ(run.log.started, (std::set<int>{0, 1}));  // 2 and 3 never ran
  });
  const auto out0 = enginetest::Probe(run.dir / "out0.wav");
  ASSERT_TRUE(out0.ok) << out0.log;  // stopped, and playable
  EXPECT_GT(out0.Duration(), 0.0);
  run.tm.ClearTasks();
  EXPECT_FALSE(Exists(run.dir / "out2.wav"));  // empty outputs are deleted with their tasks
  EXPECT_TRUE(Exists(run.dir / "out0.wav"));
}

TEST(TaskManagerRun, PauseStopsEventsAndResumeContinues) {
  EndlessRun run(2);
  run.tm.Start(2);
  ASSERT_TRUE(run.WaitAlive(2));
  // Pause while one worker is inside its progress handler; the other may be anywhere.
  run.log.HoldNext();
  ASSERT_TRUE(run.log.WaitHeld());
  run.tm.Pause();
  size_t count = run.log.Read<size_t>([&] { return run.log.progress.size(); });
  auto reports = run.log.Read<std::map<int, int>>([&] { return run.log.reports; });
  run.log.Release();
  EXPECT_FALSE(run.log.Wait(
      [&] { return run.log.progress.size() > count || !run.log.terms.empty(); }, 500ms));

  run.tm.Resume();
  ASSERT_TRUE(run.log.Wait(
      [&] { return run.log.reports[0] > reports[0] && run.log.reports[1] > reports[1]; }));
  run.sources[0]->Finish();
  run.sources[1]->Finish();
  ASSERT_TRUE(run.log.Wait([&] { return run.log.TermCount(-1) == 1; }));
  run.log.With([&] {
    ExpectCompleteRun(run.log.terms, 2);
    for (const auto& t : run.log.terms)
      EXPECT_TRUE(t.Finished);
  });
}

TEST(TaskManagerRun, StopEndsPausedTasks) {
  EndlessRun run(3);
  run.tm.Start(2);
  ASSERT_TRUE(run.WaitAlive(2));
  run.log.HoldNext();
  ASSERT_TRUE(run.log.WaitHeld());
  run.tm.Pause();
  run.log.Release();
  {
    Watchdog dog(60s, "Stop(true) of paused tasks");
    run.tm.Stop(true);
  }
  ASSERT_TRUE(run.log.Wait([&] { return run.log.TermCount(-1) == 1; }));
  run.log.With([&] {
    ExpectCompleteRun(run.log.terms, 3);
    for (int i = 0; i < 3; ++i)
      EXPECT_FALSE(run.log.TermOf(i)->Finished);
  });
}

TEST(TaskManagerRun, TaskWithoutOutputEndsWithItsError) {
  for (int threads : {0, 1}) {
    SCOPED_TRACE(threads);
    TempDir dir;
    RunLog log;
    TTaskManager tm;
    log.Attach(tm);
    const std::string in = enginetest::MakeTone(dir / "in.wav", 0.1);
    ASSERT_EQ(tm.AddTask(in), 0);
    ASSERT_EQ(tm.AddTask(in), 1);  // without output
    ASSERT_EQ(tm.AddTask(in), 2);
    ASSERT_TRUE(tm.SetOutputFile(0, dir / "out0.wav"));
    ASSERT_TRUE(tm.SetOutputFile(2, dir / "out2.wav"));
    tm.Start(threads);
    ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
    log.With([&] {
      ExpectCompleteRun(log.terms, 3);
      const TTerminateInfo* failed = log.TermOf(1);
      EXPECT_TRUE(failed->Exception);
      EXPECT_FALSE(failed->Finished);
      EXPECT_EQ(failed->ExceptionMsg, "At least one output file must be specified");
      EXPECT_TRUE(log.TermOf(0)->Finished && !log.TermOf(0)->Exception);
      EXPECT_TRUE(log.TermOf(2)->Finished && !log.TermOf(2)->Exception);
    });
  }
}

TEST(TaskManagerRun, OutputFailingMidwayEndsTheTaskWithItsError) {
  std::signal(SIGPIPE, SIG_IGN);
  TempDir dir;
  RunLog log;
  TTaskManager tm;
  log.Attach(tm);
  const std::string fifo = dir / "out.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(tm.AddTask(enginetest::MakeTone(dir / "in.wav", 30.0)), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, fifo, "f=wav")) << tm.LastErrMsg();
  tm.Start(1);
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
  ::close(reader);
  ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
  log.With([&] {
    const TTerminateInfo* t = log.TermOf(0);
    EXPECT_TRUE(t->Exception);
    EXPECT_FALSE(t->Finished);
    EXPECT_EQ(t->ExceptionMsg, ErrorText("av_interleaved_write_frame()", AVERROR(EPIPE)));
  });
}

// A dispatcher that tells when a worker waits for the main thread.
class WatchedDispatcher : public TLoopDispatcher {
public:
  void RunSync(const std::function<void()>& fn) override {
    ++waiting;
    TLoopDispatcher::RunSync(fn);
  }
  std::atomic<int> waiting{0};
};

struct DispatcherScope {
  explicit DispatcherScope(TMainThreadDispatcher* d) { SetMainThreadDispatcher(d); }
  ~DispatcherScope() { SetMainThreadDispatcher(nullptr); }
};

TEST(TaskManagerRun, ProgressRunsInTheMainThread) {
  WatchedDispatcher loop;
  DispatcherScope scope(&loop);
  TempDir dir;
  RunLog log;
  TTaskManager tm;  // TriggerEventInMainThread is on by default
  EXPECT_TRUE(tm.TriggerEventInMainThread());
  log.Attach(tm);
  ASSERT_EQ(tm.AddTask(enginetest::MakeTone(dir / "in.wav", 1.0)), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.wav"));
  tm.Start(1);
  ASSERT_TRUE(loop.RunPendingUntil(
      [&] { return log.Read<bool>([&] { return log.TermCount(-1) == 1; }); }, kTimeout));
  log.With([&] {
    ASSERT_FALSE(log.progress_threads.empty());
    for (auto id : log.progress_threads)
      EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(log.progress.back().FileIndex, -1);
    EXPECT_EQ(log.progress.back().CurrentSize,
              static_cast<int64_t>(std::filesystem::file_size(dir / "out.wav")));
  });
  EXPECT_GT(loop.waiting, 0);
}

TEST(TaskManagerRun, StopWithWaitServicesAWorkerBlockedOnTheMainThread) {
  WatchedDispatcher loop;
  DispatcherScope scope(&loop);
  TempDir dir;
  RunLog log;
  EndlessSource source(dir / "in.fifo");
  TTaskManager tm;
  tm.SetProgressInterval(100);
  log.Attach(tm);
  ASSERT_EQ(tm.AddTask(source.Path(), kEndlessFormat), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.wav"));
  tm.Start(1);
  // The worker's first report waits for the main thread, which does not service it here.
  ASSERT_TRUE(WaitUntil([&] { return loop.waiting > 0; }));
  {
    Watchdog dog(60s, "Stop(true) with a worker waiting for the main thread");
    tm.Stop(true);
  }
  ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
  log.With([&] {
    EXPECT_FALSE(log.TermOf(0)->Finished);
    EXPECT_FALSE(log.TermOf(0)->Exception);
    ASSERT_FALSE(log.progress_threads.empty());
    for (auto id : log.progress_threads)
      EXPECT_EQ(id, std::this_thread::get_id());
  });
}

TEST(TaskManagerRun, DestroyingTheManagerDuringARunStopsAndDeliversEverything) {
  TempDir dir;
  RunLog log;
  std::vector<std::unique_ptr<EndlessSource>> sources;
  auto tm = std::make_unique<TTaskManager>();
  tm->SetTriggerEventInMainThread(false);
  tm->SetProgressInterval(100);
  log.Attach(*tm);
  for (int i = 0; i < 3; ++i) {
    sources.push_back(std::make_unique<EndlessSource>(dir / Name("in", i)));
    ASSERT_EQ(tm->AddTask(sources.back()->Path(), kEndlessFormat), i);
    ASSERT_TRUE(tm->SetOutputFile(i, dir / Name("out", i) + ".wav"));
  }
  tm->Start(2);
  ASSERT_TRUE(log.Wait([&] { return log.alive == 2; }));
  {
    Watchdog dog(60s, "destruction of a running task manager");
    tm.reset();
  }
  // No thread outlives the manager: every notification has been delivered.
  log.With([&] {
    ExpectCompleteRun(log.terms, 3);
  });
}

TEST(TaskManagerRun, StartWithoutTasksEndsTheRunAtOnce) {
  for (int threads : {0, 2}) {
    RunLog log;
    TTaskManager tm;
    log.Attach(tm);
    tm.Start(threads);
    ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
    EXPECT_TRUE(tm.Terminated());
    tm.ClearTasks();
    EXPECT_FALSE(tm.Working());
  }
}

TEST(TaskManagerRun, StopWhileIdleLeavesTheTasksRunnable) {
  TempDir dir;
  RunLog log;
  TTaskManager tm;
  log.Attach(tm);
  const std::string in = enginetest::MakeTone(dir / "in.wav", 0.2);
  ASSERT_EQ(tm.AddTask(in), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.wav"));
  tm.Stop(true);
  tm.Pause();
  tm.Resume();
  EXPECT_TRUE(log.Read<bool>([&] { return log.terms.empty(); }));
  tm.Start(1);
  ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
  EXPECT_TRUE(log.Read<bool>([&] { return log.TermOf(0)->Finished; }));
  EXPECT_EQ(ReadFile(dir / "out.wav").size(), ReadFile(in).size());
}
