// The task manager's operations outside the scheduling: properties, adding inputs and outputs,
// records and option text, refusals while working, capacity limits, the list operations, the
// preview post hooks and the custom hook.
#include <sstream>

#include "task_manager_support.h"

using namespace tmtest;

namespace {

template <class F>
std::string ErrorOf(F AOperation) {
  try {
    AOperation();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no exception)";
}

}  // namespace

TEST(TaskManagerApi, Defaults) {
  TTaskManager tm;
  EXPECT_EQ(tm.Version(), "3.3");
  EXPECT_EQ(tm.CustomMaxFiles(), 20);
  EXPECT_EQ(tm.ProgressInterval(), 500);
  EXPECT_EQ(tm.ThreadPriority(), tpNormal);
  EXPECT_TRUE(tm.TriggerEventInMainThread());
  EXPECT_FALSE(tm.Preview());
  EXPECT_FALSE(tm.PreviewBitmap());
  EXPECT_EQ(tm.Verbose(), 1);
  EXPECT_EQ(tm.UserData(), nullptr);
  EXPECT_EQ(tm.LastErrMsg(), "");
  EXPECT_EQ(tm.TasksCount(), 0);
  EXPECT_FALSE(tm.Working());
  EXPECT_FALSE(tm.Terminated());
}

TEST(TaskManagerApi, LoadsAndUnloadsTheEngineLibraries) {
  TTaskManager tm;
  ASSERT_TRUE(tm.LoadAVLib("")) << tm.LastErrMsg();
  EXPECT_TRUE(tm.AVLibLoaded());
  tm.UnloadAVLib();
  EXPECT_FALSE(tm.AVLibLoaded());
  EXPECT_TRUE(tm.LoadAVLib(""));
  EXPECT_TRUE(tm.AVLibLoaded());
}

TEST(TaskManagerApi, ProgressIntervalHasAFloorOf100) {
  TTaskManager tm;
  for (auto [set, read] : {std::pair{50, 100}, {100, 100}, {101, 101}, {-5, 100}, {2000, 2000}}) {
    tm.SetProgressInterval(set);
    EXPECT_EQ(tm.ProgressInterval(), read) << set;
  }
}

TEST(TaskManagerApi, AddTaskOfAMissingFileChangesNothing) {
  TempDir dir;
  TTaskManager tm;
  ASSERT_EQ(tm.AddTask(enginetest::MakeTone(dir / "in.wav", 0.1)), 0);
  const std::string missing = dir / "missing.mp4";
  EXPECT_EQ(tm.AddTask(missing), -1);
  EXPECT_EQ(tm.LastErrMsg(), missing + ": No such file or directory");
  EXPECT_EQ(tm.TasksCount(), 1);
  EXPECT_FALSE(tm.AddInputFile(0, missing));
  EXPECT_EQ(tm.LastErrMsg(), missing + ": No such file or directory");
  EXPECT_FALSE(tm.SetOutputFile(0, dir / "nodir/out.mp4"));
  EXPECT_EQ(tm.LastErrMsg(), dir / "nodir/out.mp4: No such file or directory");
}

TEST(TaskManagerApi, RecordsAreFilledAndStored) {
  TempDir dir;
  TestTaskManager tm;
  const std::string a = enginetest::MakeTone(dir / "a.wav", 0.2);
  const std::string b = enginetest::MakeTone(dir / "b.wav", 0.1);

  TInputOptions in;
  in.Tag = 5;
  ASSERT_EQ(tm.AddTask(a, &in), 0);
  EXPECT_EQ(in.FileName, a);  // the caller's empty FileName is filled
  TFFmpeg* task = tm.FFmpegList().Get(0);
  EXPECT_EQ(task->InputOptions(0).FileName, a);
  EXPECT_EQ(task->InputOptions(0).Tag, 5);
  // The input's probe shares the engine's container.
  ASSERT_NE(tm.MediaProbes(0, 0), nullptr);
  EXPECT_EQ(tm.MediaProbes(0, 0)->FileHandle(), task->InputHandle(0));
  EXPECT_EQ(tm.MediaProbes(0, 0)->AudioStreamCount(), 1);

  TInputOptions named;
  named.FileName = "kept";
  ASSERT_TRUE(tm.AddInputFile(0, b, &named));
  EXPECT_EQ(named.FileName, "kept");
  EXPECT_EQ(task->InputOptions(1).FileName, "kept");

  // Text forms build their record first.
  ASSERT_TRUE(tm.AddInputFile(0, a, "TimeStart=7000<CRLF>vcodec=mpeg4"));
  EXPECT_EQ(task->InputOptions(2).TimeStart, 7000);
  EXPECT_EQ(task->InputOptions(2).ExtOptions, "vcodec=mpeg4\n");
  EXPECT_EQ(task->InputOptions(2).FileName, a);

  // A failed output leaves its slot at the defaults.
  TOutputOptions bad;
  bad.Tag = 9;
  EXPECT_FALSE(tm.SetOutputFile(0, dir / "nodir/x.wav", &bad));
  EXPECT_EQ(task->OutputOptions(0).Tag, 0);
  EXPECT_EQ(task->OutputOptions(0).FileName, "");

  ASSERT_TRUE(tm.SetOutputFile(0, dir / "joined.wav", "Join<CRLF>ab=64000"));
  EXPECT_TRUE(task->OutputOptions(0).Join);
  EXPECT_EQ(task->OutputOptions(0).FileName, dir / "joined.wav");
  EXPECT_EQ(task->OutputOptions(0).ExtOptions, "ab=64000\n");
  EXPECT_TRUE(task->JoinMode());
  EXPECT_FALSE(tm.SetOutputFile(0, dir / "second.wav"));
  EXPECT_EQ(tm.LastErrMsg(), "Cannot join more than one output file.");

  ASSERT_EQ(tm.AddTask(b, "TimeStart=12"), 1);
  EXPECT_EQ(tm.FFmpegList().Get(1)->InputOptions(0).TimeStart, 12);
  TOutputOptions out;
  ASSERT_TRUE(tm.SetOutputFile(1, dir / "out1.wav", &out));
  EXPECT_EQ(out.FileName, dir / "out1.wav");
  EXPECT_EQ(tm.FFmpegList().Get(1)->OutputOptions(0).FileName, dir / "out1.wav");
}

TEST(TaskManagerApi, StreamFormsNameTheStreamObject) {
  TTaskManager tm;
  std::istringstream in("data");
  const std::string in_name =
      "stream:" + std::to_string(reinterpret_cast<uintptr_t>(&in)) + ":private";
  EXPECT_EQ(tm.AddTask(&in, "private", nullptr), -1);  // no stream layer serves it
  EXPECT_EQ(tm.LastErrMsg().rfind(in_name + ": ", 0), 0u) << tm.LastErrMsg();

  TempDir dir;
  ASSERT_EQ(tm.AddTask(enginetest::MakeTone(dir / "in.wav", 0.1)), 0);
  std::ostringstream out;
  const std::string out_name = "stream:" + std::to_string(reinterpret_cast<uintptr_t>(&out)) + ":p";
  EXPECT_FALSE(tm.SetOutputStream(0, &out, "p", nullptr));
  EXPECT_EQ(tm.LastErrMsg().rfind(out_name + ": ", 0), 0u) << tm.LastErrMsg();
}

TEST(TaskManagerApi, CapacityLimitsInputsAndOutputs) {
  TempDir dir;
  const std::string in = enginetest::MakeTone(dir / "in.wav", 0.1);
  for (int capacity : {20, 3}) {
    SCOPED_TRACE(capacity);
    TTaskManager tm;
    if (capacity != 20)
      tm.SetCustomMaxFiles(capacity);
    ASSERT_EQ(tm.AddTask(in), 0);
    for (int i = 1; i < capacity; ++i)
      ASSERT_TRUE(tm.AddInputFile(0, in)) << i;
    EXPECT_FALSE(tm.AddInputFile(0, in));
    EXPECT_EQ(tm.LastErrMsg(), "max input files " + std::to_string(capacity) + " reached");
    for (int i = 0; i < capacity; ++i)
      ASSERT_TRUE(tm.SetOutputFile(0, dir / ("out" + std::to_string(i) + ".wav"))) << i;
    EXPECT_FALSE(tm.SetOutputFile(0, dir / "one-more.wav"));
    EXPECT_EQ(tm.LastErrMsg(), "max output files " + std::to_string(capacity) + " reached");
    EXPECT_FALSE(Exists(dir / "one-more.wav"));
  }
}

TEST(TaskManagerApi, CapacityOutOfRangeReachesTheCaller) {
  TempDir dir;
  const std::string in = enginetest::MakeTone(dir / "in.wav", 0.1);
  TTaskManager tm;
  for (int capacity : {0, 513}) {
    tm.SetCustomMaxFiles(capacity);
    EXPECT_THROW(tm.AddTask(in), std::invalid_argument) << capacity;
    EXPECT_EQ(tm.TasksCount(), 0);
  }
}

TEST(TaskManagerApi, OperationsAreRefusedAfterARunUntilClearTasks) {
  TempDir dir;
  const std::string in = enginetest::MakeTone(dir / "in.wav", 0.2);
  RunLog log;
  TTaskManager tm;
  log.Attach(tm);
  ASSERT_EQ(tm.AddTask(in), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.wav"));
  tm.Start(1);
  ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
  EXPECT_TRUE(tm.Working());
  EXPECT_TRUE(tm.Terminated());

  struct Case {
    const char* name;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"AddTask", [&] { tm.AddTask(in); }},
      {"AddInputFile", [&] { tm.AddInputFile(0, in); }},
      {"AddInputFile", [&] { tm.AddInputFile(0, in, "vn"); }},
      {"SetOutputFile", [&] { tm.SetOutputFile(0, dir / "out2.wav"); }},
      {"SetOutputFile", [&] { tm.SetOutputFile(0, dir / "out2.wav", "Join"); }},
      {"Exchange", [&] { tm.Exchange(0, 0); }},
      {"RemoveTask", [&] { tm.RemoveTask(0); }},
      {"StartTask", [&] { tm.Start(1); }},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorOf(c.call), std::string("Cannot ") + c.name + " while working.");
  EXPECT_EQ(tm.TasksCount(), 1);

  tm.ClearTasks();
  EXPECT_FALSE(tm.Working());
  EXPECT_FALSE(tm.Terminated());
  EXPECT_EQ(tm.TasksCount(), 0);
  EXPECT_EQ(tm.AddTask(in), 0);
}

TEST(TaskManagerApi, ClearTasksIsRefusedDuringARun) {
  TempDir dir;
  RunLog log;
  EndlessSource source(dir / "in.fifo");
  TTaskManager tm;
  tm.SetTriggerEventInMainThread(false);
  tm.SetProgressInterval(100);
  log.Attach(tm);
  ASSERT_EQ(tm.AddTask(source.Path(), kEndlessFormat), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.wav"));
  tm.Start(1);
  ASSERT_TRUE(log.Wait([&] { return log.alive == 1; }));
  EXPECT_EQ(ErrorOf([&] { tm.ClearTasks(); }), "Cannot ClearTasks while working.");
  EXPECT_EQ(ErrorOf([&] { tm.AddTask(dir / "x"); }), "Cannot AddTask while working.");
  EXPECT_EQ(tm.TasksCount(), 1);
  tm.Stop(true);
  ASSERT_TRUE(log.Wait([&] { return log.TermCount(-1) == 1; }));
  EXPECT_NO_THROW(tm.ClearTasks());
}

TEST(TaskManagerApi, ExchangeAndRemoveWorkOnListPositions) {
  TempDir dir;
  const std::string in = enginetest::MakeTone(dir / "in.wav", 0.1);
  TestTaskManager tm;
  for (int tag : {10, 11, 12}) {
    TInputOptions rec;
    rec.Tag = tag;
    tm.AddTask(in, &rec);
  }
  auto tags = [&] {
    std::vector<int> v;
    for (int i = 0; i < tm.TasksCount(); ++i)
      v.push_back(tm.FFmpegList().Get(i)->InputOptions(0).Tag);
    return v;
  };
  tm.Exchange(0, 2);
  EXPECT_EQ(tags(), (std::vector<int>{12, 11, 10}));
  tm.RemoveTask(1);
  EXPECT_EQ(tags(), (std::vector<int>{12, 10}));
  EXPECT_EQ(ErrorOf([&] { tm.RemoveTask(5); }), "List index out of bounds (5)");
  EXPECT_EQ(ErrorOf([&] { tm.Exchange(0, -1); }), "List index out of bounds (-1)");
  EXPECT_EQ(ErrorOf([&] { tm.AddInputFile(2, in); }), "List index out of bounds (2)");
  EXPECT_EQ(tm.TasksCount(), 2);
}

TEST(TaskManagerApi, PreviewSettersChangeThePostHooksOfEveryTask) {
  TempDir dir;
  RunLog log;
  std::vector<std::unique_ptr<EndlessSource>> sources;
  TestTaskManager tm;
  tm.SetTriggerEventInMainThread(false);
  tm.SetProgressInterval(100);
  log.Attach(tm);
  for (int i = 0; i < 2; ++i) {
    sources.push_back(std::make_unique<EndlessSource>(dir / ("in" + std::to_string(i))));
    ASSERT_EQ(tm.AddTask(sources.back()->Path(), kEndlessFormat), i);
    ASSERT_TRUE(tm.SetOutputFile(i, dir / ("out" + std::to_string(i) + ".wav")));
  }
  auto hooks_of_all = [&](TPostHooks AExpected) {
    for (int i = 0; i < tm.TasksCount(); ++i)
      if (!(tm.FFmpegList().Get(i)->PostHooks() == AExpected))
        return false;
    return true;
  };
  EXPECT_TRUE(hooks_of_all(TPostHooks{}));
  tm.SetPreview(true);
  EXPECT_TRUE(tm.Preview());
  EXPECT_TRUE(hooks_of_all(TPostHooks{phPreview}));
  tm.SetPreviewBitmap(true);
  EXPECT_TRUE(hooks_of_all(TPostHooks{phPreview, phBitmap}));

  // A new task takes the current settings, keeping hooks it has.
  ASSERT_EQ(tm.AddTask(enginetest::MakeTone(dir / "plain.wav", 0.1)), 2);
  ASSERT_TRUE(tm.SetOutputFile(2, dir / "out2.wav"));
  EXPECT_TRUE(hooks_of_all(TPostHooks{phPreview, phBitmap}));

  // During a run too.
  tm.Start(3);
  ASSERT_TRUE(log.Wait([&] { return log.alive == 2; }));
  for (int round = 0; round < 3; ++round) {
    tm.SetPreview(false);
    EXPECT_TRUE(hooks_of_all(TPostHooks{phBitmap}));
    tm.SetPreviewBitmap(false);
    EXPECT_TRUE(hooks_of_all(TPostHooks{}));
    tm.SetPreview(true);
    tm.SetPreviewBitmap(true);
    EXPECT_TRUE(hooks_of_all(TPostHooks{phPreview, phBitmap}));
  }
  tm.Stop(true);
}

TEST(TaskManagerApi, CustomHookRunsWithTheCanvasLockedAndReturnsItsFlags) {
  TempDir dir;
  const std::string in = enginetest::MakeTone(dir / "in.wav", 0.1);
  TestTaskManager tm;
  ASSERT_EQ(tm.AddTask(in), 0);
  ASSERT_EQ(tm.AddTask(in), 1);
  TFFmpeg* task = tm.FFmpegList().Get(1);
  TBitmap24 bitmap(4, 2);
  bool update = true, stop = false;
  tm.DoCustomHook(task, &bitmap, 3, 40, update, stop);  // no handler: nothing changes
  EXPECT_TRUE(update);
  EXPECT_FALSE(stop);

  bool locked_during_handler = false;
  THookInfo seen;
  tm.SetOnCustomHook([&](TCustomTaskManager* ASender, THookInfo* AInfo) {
    EXPECT_EQ(ASender, &tm);
    seen = *AInfo;
    std::thread probe([&] {
      bool got = AInfo->Bitmap->Canvas().try_lock();
      if (got)
        AInfo->Bitmap->Canvas().unlock();
      locked_during_handler = !got;
    });
    probe.join();
    AInfo->Update = false;
    AInfo->StopHook = true;
  });
  tm.DoCustomHook(task, &bitmap, 3, 40, update, stop);
  EXPECT_TRUE(locked_during_handler);
  EXPECT_EQ(seen.TaskIndex, 1);
  EXPECT_EQ(seen.Bitmap, &bitmap);
  EXPECT_EQ(seen.FrameNumber, 3);
  EXPECT_EQ(seen.PTS, 40);
  EXPECT_TRUE(seen.Update);  // the engine's values go in
  EXPECT_FALSE(seen.StopHook);
  EXPECT_FALSE(update);  // the handler's values come back
  EXPECT_TRUE(stop);
  EXPECT_TRUE(bitmap.Canvas().try_lock());  // released afterwards
  bitmap.Canvas().unlock();
}
