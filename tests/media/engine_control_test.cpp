// The per-task engine on its own: creation, conversions into several outputs and joined,
// opening failures, start, worker thread, pause, resume, stop, termination of a never-started
// engine, failures during a run and priorities.
#include <csignal>

#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media/ffutils.h"
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

TEST(EngineConvert, ConvertsIntoEveryOutputAndReportsAtTheEnd) {
  TempDir dir;
  const std::string clip = enginetest::MakeClip(dir / "clip.avi", 2.0, "160x120");
  const std::string tone = enginetest::MakeTone(dir / "tone.wav", 3.0);
  EngineWatch watch;
  TFFmpeg engine(4);
  watch.Attach(engine);
  ASSERT_TRUE(engine.OpenInput(clip)) << engine.LastErrMsg();
  ASSERT_TRUE(engine.OpenInput(tone)) << engine.LastErrMsg();
  EXPECT_NEAR(engine.TotalOutputDuration() / 1e6, 3.0, 0.05);  // the longest input
  EXPECT_EQ(engine.OpenOutput(dir / "o1.mkv", false), 1) << engine.LastErrMsg();
  EXPECT_EQ(engine.OpenOutput(dir / "o2.wav", false), 2) << engine.LastErrMsg();

  EXPECT_EQ(engine.StartConvert(false, tpNormal), nullptr);  // ran in this thread
  EXPECT_TRUE(engine.Terminated());
  EXPECT_TRUE(engine.Finished()) << engine.FatalMessage();
  EXPECT_FALSE(engine.FatalException());
  EXPECT_EQ(watch.terminations, 1);
  EXPECT_EQ(watch.term_thread, std::this_thread::get_id());
  EXPECT_EQ(engine.InputCount(), 0);  // released by the clean-up
  EXPECT_EQ(engine.OutputCount(), 0);

  const auto o1 = enginetest::Probe(dir / "o1.mkv", true);
  ASSERT_TRUE(o1.ok) << o1.log;
  ASSERT_NE(o1.First("video"), nullptr);
  EXPECT_EQ(o1.First("video")->Int("width"), 160);
  EXPECT_EQ(o1.First("video")->Int("nb_read_frames"), 50);
  ASSERT_NE(o1.First("audio"), nullptr);
  const auto o2 = enginetest::Probe(dir / "o2.wav");
  ASSERT_TRUE(o2.ok) << o2.log;
  EXPECT_EQ(o2.Count("video"), 0);
  ASSERT_NE(o2.First("audio"), nullptr);
  EXPECT_EQ(o2.First("audio")->Int("sample_rate"), 44100);

  ASSERT_FALSE(watch.reports.empty());
  const Report& last = watch.reports.back();
  EXPECT_EQ(last.file_index, -1);
  EXPECT_EQ(last.frame_number, 50);
  EXPECT_GE(last.fps, 0);
  EXPECT_GT(last.quality, 0.0f);
  EXPECT_EQ(last.size, static_cast<int64_t>(std::filesystem::file_size(dir / "o1.mkv")));
  EXPECT_NEAR(last.duration / 1e6, 2.0, 0.1);
  EXPECT_NEAR(last.total / 1e6, 3.0, 0.05);
  EXPECT_NEAR(last.bitrate, last.size * 8.0 / (last.duration / 1e6) / 1000.0, 1.0);
}

TEST(EngineConvert, JoinSumsDurationsAndTakesOneOutput) {
  TempDir dir;
  const double lengths[] = {1.0, 2.0, 1.5};
  std::vector<std::string> names;
  int frames = 0;
  for (int i = 0; i < 3; ++i) {
    names.push_back(
        enginetest::MakeClip(dir / ("part" + std::to_string(i) + ".avi"), lengths[i], "160x120"));
    frames += enginetest::Probe(names.back(), true).First("video")->Int("nb_read_frames");
  }
  EngineWatch watch;
  TFFmpeg engine(8);
  watch.Attach(engine);
  for (const std::string& name : names)
    ASSERT_TRUE(engine.OpenInput(name)) << engine.LastErrMsg();
  EXPECT_EQ(engine.OpenOutput(dir / "joined.avi", true), 3);  // one output entry per input
  EXPECT_TRUE(engine.JoinMode());
  EXPECT_NEAR(engine.TotalOutputDuration() / 1e6, 4.5, 0.1);
  EXPECT_EQ(engine.OpenOutput(dir / "second.avi", false), -1);
  EXPECT_EQ(engine.LastErrMsg(), "Cannot join more than one output file.");
  EXPECT_FALSE(Exists(dir / "second.avi"));

  TConvertThread* thread = engine.StartConvert(true, tpNormal);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 1; }));
  EXPECT_TRUE(engine.Finished()) << engine.FatalMessage();
  EXPECT_NE(watch.term_thread, std::this_thread::get_id());
  const auto joined = enginetest::Probe(dir / "joined.avi", true);
  ASSERT_TRUE(joined.ok) << joined.log;
  ASSERT_NE(joined.First("video"), nullptr);
  EXPECT_EQ(joined.First("video")->Int("nb_read_frames"), frames);
  EXPECT_NEAR(joined.Duration(), 4.5, 0.15);
  // The frame number of the reports goes on counting across the segments.
  ASSERT_FALSE(watch.reports.empty());
  EXPECT_EQ(watch.reports.back().frame_number, frames);
}

TEST(EngineConvert, OpenFailuresSayWhy) {
  TempDir dir;
  const std::string tone = enginetest::MakeTone(dir / "in.wav", 0.2);
  WriteFile(dir / "text.avi", "not media at all\n");
  std::filesystem::create_directory(dir / "folder");
  const std::string missing = dir / "missing.avi";
  const std::string nodir = dir / "nodir/out.avi";

  TFFmpeg engine(2);
  EXPECT_FALSE(engine.OpenInput(missing));
  EXPECT_EQ(engine.LastErrMsg(), missing + ": No such file or directory");
  EXPECT_FALSE(engine.OpenInput(dir / "text.avi"));
  EXPECT_EQ(engine.LastErrMsg(), dir / "text.avi: Invalid data found when processing input");
  EXPECT_FALSE(engine.OpenInput(dir / "folder"));
  EXPECT_EQ(engine.LastErrMsg().rfind(dir / "folder: ", 0), 0u);
  EXPECT_FALSE(engine.OpenInput("stream:1234:x"));
  EXPECT_EQ(engine.LastErrMsg().rfind("stream:1234:x: ", 0), 0u);
  engine.ParseOption("f", "no_such_format");
  EXPECT_FALSE(engine.OpenInput(tone));
  EXPECT_EQ(engine.LastErrMsg(), "Unknown input format: \"no_such_format\"");
  engine.ParseOption("acodec", "no_such_decoder");
  EXPECT_FALSE(engine.OpenInput(tone));
  EXPECT_EQ(engine.LastErrMsg(), "Unknown decoder 'no_such_decoder'");
  engine.ParseOption("acodec", "mpeg4");
  EXPECT_FALSE(engine.OpenInput(tone));
  EXPECT_EQ(engine.LastErrMsg(), "Invalid decoder type 'mpeg4'");
  EXPECT_EQ(engine.InputCount(), 0);

  ASSERT_TRUE(engine.OpenInput(tone)) << engine.LastErrMsg();  // the requests did not stay
  EXPECT_EQ(engine.OpenOutput(nodir, false), -1);
  EXPECT_EQ(engine.LastErrMsg(), nodir + ": No such file or directory");
  EXPECT_EQ(engine.OpenOutput(dir / "out.unknown_extension", false), -1);
  EXPECT_EQ(engine.LastErrMsg(), "Unable to find a suitable output format for '" +
                                     (dir / "out.unknown_extension") + "'");
  engine.ParseOption("f", "ffm");  // the server feed format is gone from the libraries
  EXPECT_EQ(engine.OpenOutput(dir / "feed.ffm", false), -1);
  EXPECT_EQ(engine.LastErrMsg(), "Requested output format 'ffm' is not a suitable output format");
  // The output must never truncate an input of the same task.
  const std::string before = ReadFile(tone);
  EXPECT_EQ(engine.OpenOutput(tone, false), -1);
  EXPECT_NE(engine.LastErrMsg().find("same file as input #0"), std::string::npos);
  EXPECT_EQ(ReadFile(tone), before);
  EXPECT_EQ(engine.OutputCount(), 0);

  ASSERT_TRUE(engine.OpenInput(tone));
  EXPECT_FALSE(engine.OpenInput(tone));
  EXPECT_EQ(engine.LastErrMsg(), "max input files 2 reached");
}

TEST(EngineConvert, EmptyOutputsAreDeletedByTheCleanUp) {
  TempDir dir;
  const std::string clip = enginetest::MakeClip(dir / "clip.avi", 0.5, "160x120");
  {
    // Never run: the output opened when it was set is deleted with the engine.
    TFFmpeg engine(1);
    ASSERT_TRUE(engine.OpenInput(clip));
    ASSERT_EQ(engine.OpenOutput(dir / "never.avi", false), 1);
    EXPECT_TRUE(Exists(dir / "never.avi"));
  }
  EXPECT_FALSE(Exists(dir / "never.avi"));

  // A run that fails before writing anything.
  TFFmpeg engine(1);
  ASSERT_TRUE(engine.OpenInput(clip));
  engine.ParseOption("map", "0.0");  // the video stream for the audio output
  ASSERT_EQ(engine.OpenOutput(dir / "failed.wav", false), 1);
  engine.StartConvert(false, tpNormal);
  EXPECT_FALSE(engine.Finished());
  EXPECT_TRUE(engine.FatalException());
  EXPECT_EQ(engine.FatalMessage(), "Codec type mismatch for mapping #0.0 (Video) -> #0.0 (Audio)");
  EXPECT_FALSE(Exists(dir / "failed.wav"));
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
  TempDir media;
  const std::string tone = enginetest::MakeTone(media / "in.wav", 0.2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    EngineWatch watch;
    TFFmpeg engine(2);
    watch.Attach(engine);
    if (c.input) {
      ASSERT_TRUE(engine.OpenInput(tone));
    }
    if (c.output) {
      ASSERT_EQ(engine.OpenOutput(dir / "out.wav", false), 1);
    }
    EXPECT_EQ(engine.StartConvert(c.threaded, tpNormal), nullptr);
    EXPECT_EQ(watch.terminations, 1);
    EXPECT_TRUE(engine.Terminated());
    EXPECT_FALSE(engine.Converting());
    EXPECT_FALSE(engine.Finished());
    EXPECT_TRUE(engine.FatalException());
    EXPECT_EQ(engine.FatalMessage(), c.message);
    EXPECT_FALSE(Exists(dir / "out.wav"));  // the clean-up deleted the empty output
  }
}

TEST(EngineStart, RunsOnceUntilInitEngine) {
  TempDir dir;
  const std::string tone = enginetest::MakeTone(dir / "in.wav", 0.5);
  EngineWatch watch;
  TFFmpeg engine(1);
  watch.Attach(engine);
  ASSERT_TRUE(engine.OpenInput(tone));
  ASSERT_EQ(engine.OpenOutput(dir / "out.mp2", false), 1);
  engine.StartConvert(false, tpNormal);
  EXPECT_EQ(engine.StartConvert(false, tpNormal), nullptr);
  EXPECT_EQ(engine.StartConvert(true, tpNormal), nullptr);
  EXPECT_EQ(watch.terminations, 1);

  engine.InitEngine();
  EXPECT_FALSE(engine.Terminated());
  ASSERT_TRUE(engine.OpenInput(tone));
  ASSERT_EQ(engine.OpenOutput(dir / "out2.wav", false), 1);
  TConvertThread* thread = engine.StartConvert(true, tpNormal);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 2; }));
  EXPECT_TRUE(engine.Finished());
  // PCM in, PCM out: the samples come through unchanged.
  const std::string in = ReadFile(tone), out = ReadFile(dir / "out2.wav");
  ASSERT_GT(out.size(), 1000u);
  EXPECT_EQ(out.substr(out.size() - 1000), in.substr(in.size() - 1000));
}

// A worker held inside a progress report; every loop turn reports (ReportInterval 0).
class EngineRun : public ::testing::Test {
protected:
  void SetUp() override {
    input_ = enginetest::MakeTone(dir_ / "in.wav", 20.0);
    engine_.ReportInterval = 0;
    watch_.Attach(engine_);
    ASSERT_TRUE(engine_.OpenInput(input_));
    ASSERT_EQ(engine_.OpenOutput(dir_ / "out.mkv", false), 1);
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
  std::string input_;
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
  const auto out = enginetest::Probe(dir_ / "out.mkv");
  ASSERT_TRUE(out.ok) << out.log;
  EXPECT_NEAR(out.Duration(), 20.0, 0.1);
}

TEST_F(EngineRun, StopEndsAPausedRunAndLeavesAPlayableOutput) {
  StartHeld();
  engine_.Pause();
  watch_.Release();
  {
    Watchdog dog(60s, "Stop(true) of a paused engine");
    engine_.Stop(true);
  }
  EXPECT_EQ(watch_.Terminations(), 1);  // the wait covered the termination
  EXPECT_FALSE(engine_.Finished());
  EXPECT_FALSE(engine_.FatalException()) << engine_.FatalMessage();
  EXPECT_TRUE(engine_.Broken());
  const auto out = enginetest::Probe(dir_ / "out.mkv", true);
  ASSERT_TRUE(out.ok) << out.log;
  ASSERT_NE(out.First("audio"), nullptr);
  EXPECT_GT(out.First("audio")->Int("nb_read_frames"), 0);
  EXPECT_LT(out.Duration(), 19.0);
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
  engine->ParseOption("f", "s16le");
  ASSERT_TRUE(engine->OpenInput(source.Path())) << engine->LastErrMsg();
  ASSERT_EQ(engine->OpenOutput(dir / "out.wav", false), 1);
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
  TempDir media;
  const std::string tone = enginetest::MakeTone(media / "in.wav", 0.2);
  for (bool wait : {true, false}) {
    SCOPED_TRACE(wait);
    TempDir dir;
    EngineWatch watch;
    TFFmpeg engine(1);
    watch.Attach(engine);
    ASSERT_TRUE(engine.OpenInput(tone));
    ASSERT_EQ(engine.OpenOutput(dir / "out.wav", false), 1);
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
  const std::string tone = enginetest::MakeTone(dir / "in.wav", 30.0);
  EngineWatch watch;
  TFFmpeg engine(1);
  watch.Attach(engine);
  ASSERT_TRUE(engine.OpenInput(tone));
  engine.ParseOption("f", "wav");
  ASSERT_EQ(engine.OpenOutput(fifo, false), 1) << engine.LastErrMsg();
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
  EXPECT_EQ(engine.FatalMessage(), ErrorText("av_interleaved_write_frame()", AVERROR(EPIPE)));
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
    const std::string tone = enginetest::MakeTone(dir / "in.wav", 0.1);
    EngineWatch watch;
    TFFmpeg engine(1);
    std::atomic<int> policy{-1}, nice_value{100};
    watch.in_handler = [&](TCustomFFmpeg*) {
      policy = sched_getscheduler(0);
      nice_value = getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
    };
    watch.Attach(engine);
    ASSERT_TRUE(engine.OpenInput(tone));
    ASSERT_EQ(engine.OpenOutput(dir / "out.wav", false), 1);
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
    const std::string tone = enginetest::MakeTone(dir / "in.wav", 0.1);
    EngineWatch watch;
    TFFmpeg engine(1);
    watch.Attach(engine);
    ASSERT_TRUE(engine.OpenInput(tone));
    ASSERT_EQ(engine.OpenOutput(dir / "out.wav", false), 1);
    engine.StartConvert(true, p)->Resume();
    ASSERT_TRUE(watch.Wait([&] { return watch.terminations == 1; }));
    EXPECT_TRUE(engine.Finished());
  }
}
