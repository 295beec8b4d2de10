// The hooks of a conversion: the custom hook's bitmap round trip, AUpdate and AStopHook, a
// throwing handler; video hook modules on every picture; the preview bitmap event and its
// interval; the preview window the application supplies.
#include <dlfcn.h>

#include <cstring>
#include <mutex>

#include "media/engine_preview.h"
#include "media/logger.h"
#include "task_manager_support.h"

using namespace tmtest;
using enginetest::MakeClip;

namespace {

std::string FirstPictureRGB(const std::string& APath, const TempDir& ADir) {
  return enginetest::FirstPictureRGB(APath, ADir / "picture.rgb");
}

bool TopLeftWhite(const std::string& APicture) {
  return enginetest::TopLeftQuarterWhite(APicture, 160, 120);
}

void DrawWhiteQuarter(TBitmap24& ABitmap) {
  for (int y = 0; y < ABitmap.Height() / 2; ++y)
    std::memset(ABitmap.Row(y), 255, static_cast<size_t>(ABitmap.Width() / 2) * 3);
}

struct THookRun {
  int calls = 0;
  int last_frame = 0;
  std::vector<int64_t> pts;
  TTerminateInfo result;
};

// Converts AInput to AOutput (lossless video) with a custom hook running AHandler.
THookRun RunWithHook(const std::string& AInput, const std::string& AOutput,
                     const std::function<void(THookInfo&, int)>& AHandler) {
  THookRun run;
  TTaskManager tm;
  tm.SetOnCustomHook([&](TCustomTaskManager*, THookInfo* AInfo) {
    ++run.calls;
    run.last_frame = AInfo->FrameNumber;
    run.pts.push_back(AInfo->PTS);
    AHandler(*AInfo, run.calls);
  });
  tm.SetOnTerminate([&](TCustomTaskManager*, const TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex == 0)
      run.result = AInfo;
  });
  EXPECT_EQ(tm.AddTask(AInput), 0);
  EXPECT_TRUE(tm.SetOutputFile(0, AOutput, "Hook<CRLF>vcodec=ffv1<CRLF>an")) << tm.LastErrMsg();
  tm.Start(0);
  return run;
}

}  // namespace

TEST(EngineHooks, CustomHookDrawsIntoTheEncodedPicture) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 1.0, "160x120");
  EXPECT_FALSE(TopLeftWhite(FirstPictureRGB(clip, dir)));

  const THookRun drawn = RunWithHook(clip, dir / "drawn.mkv", [](THookInfo& AInfo, int) {
    EXPECT_EQ(AInfo.Bitmap->Width(), 160);
    EXPECT_EQ(AInfo.Bitmap->Height(), 120);
    EXPECT_TRUE(AInfo.Update);  // the engine's values go in
    EXPECT_FALSE(AInfo.StopHook);
    DrawWhiteQuarter(*AInfo.Bitmap);
  });
  ASSERT_TRUE(drawn.result.Finished) << drawn.result.ExceptionMsg;
  EXPECT_EQ(drawn.calls, 25);
  EXPECT_EQ(drawn.last_frame, 25);
  EXPECT_TRUE(std::is_sorted(drawn.pts.begin(), drawn.pts.end()));
  EXPECT_NEAR(drawn.pts.back(), 960000, 1000);  // the 25th picture's time, microseconds
  EXPECT_TRUE(TopLeftWhite(FirstPictureRGB(dir / "drawn.mkv", dir)));

  // AUpdate False: the picture is encoded as decoded.
  const THookRun kept = RunWithHook(clip, dir / "kept.mkv", [](THookInfo& AInfo, int) {
    DrawWhiteQuarter(*AInfo.Bitmap);
    AInfo.Update = false;
  });
  ASSERT_TRUE(kept.result.Finished);
  EXPECT_EQ(kept.calls, 25);
  EXPECT_FALSE(TopLeftWhite(FirstPictureRGB(dir / "kept.mkv", dir)));
}

TEST(EngineHooks, StopHookEndsTheHookAfterOneCall) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 1.0, "160x120");
  const THookRun run = RunWithHook(clip, dir / "out.mkv", [](THookInfo& AInfo, int) {
    AInfo.StopHook = true;
  });
  ASSERT_TRUE(run.result.Finished);
  EXPECT_EQ(run.calls, 1);
  EXPECT_EQ(enginetest::Probe(dir / "out.mkv", true).First("video")->Int("nb_read_frames"), 25);
}

TEST(EngineHooks, AThrowingHandlerIsLoggedAndLeavesThePicture) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 1.0, "160x120");
  std::mutex mutex;
  int errors = 0;
  LoggerInstance().SetTriggerEventInMainThread(false);
  LoggerInstance().SetOnLog([&](const void*, uint32_t, TLogLevel ALevel, const std::string& AText) {
    std::lock_guard lock(mutex);
    if (ALevel == llError && AText == "Error occurs OnCustomHook: drawing failed")
      ++errors;
  });
  const THookRun run = RunWithHook(clip, dir / "out.mkv", [](THookInfo& AInfo, int) {
    DrawWhiteQuarter(*AInfo.Bitmap);
    throw std::runtime_error("drawing failed");
  });
  LoggerInstance().SetOnLog(nullptr);
  ASSERT_TRUE(run.result.Finished) << run.result.ExceptionMsg;
  EXPECT_EQ(run.calls, 25);  // called for every picture
  EXPECT_EQ(errors, 25);
  EXPECT_FALSE(TopLeftWhite(FirstPictureRGB(dir / "out.mkv", dir)));
}

TEST(EngineHooks, VideoHookModuleSeesEveryPicture) {
  void* handle = dlopen(VIDEO_HOOK_FULL, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  struct TSampleState {
    int configured, processed, released, last_argc;
    char last_words[256];
    int64_t last_pts;
  };
  auto state_of = reinterpret_cast<TSampleState* (*)()>(dlsym(handle, "SampleState"));
  ASSERT_NE(state_of, nullptr);
  TSampleState* state = state_of();
  const int processed = state->processed;
  const int released = state->released;

  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 1.0, "160x120");
  TTaskManager tm;
  ASSERT_EQ(tm.AddTask(clip), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.mkv", std::string("vhook=") + VIDEO_HOOK_FULL))
      << tm.LastErrMsg();
  TTerminateInfo result;
  tm.SetOnTerminate([&](TCustomTaskManager*, const TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex == 0)
      result = AInfo;
  });
  tm.Start(0);
  ASSERT_TRUE(result.Finished) << result.ExceptionMsg;
  EXPECT_EQ(state->processed - processed, 25);
  EXPECT_NEAR(state->last_pts, 960000, 1000);
  EXPECT_EQ(state->released - released, 1);  // released by the clean-up after the run
  dlclose(handle);
}

TEST(EngineHooks, PreviewBitmapsArriveAtMostEveryPreviewInterval) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 2.0, "160x120");
  TTaskManager tm;
  tm.SetTriggerEventInMainThread(false);
  tm.SetPreviewBitmap(true);
  std::vector<std::chrono::steady_clock::time_point> times;
  std::vector<TPreviewInfo> previews;
  tm.SetOnPreviewBitmap([&](TCustomTaskManager*, const TPreviewInfo& AInfo) {
    times.push_back(std::chrono::steady_clock::now());
    previews.push_back(AInfo);
    EXPECT_EQ(AInfo.Bitmap->Width(), 160);
    EXPECT_EQ(AInfo.Bitmap->Height(), 120);
  });
  ASSERT_EQ(tm.AddTask(clip, "re"), 0);  // read at the native rate: two seconds
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.avi"));
  tm.Start(0);
  ASSERT_GE(previews.size(), 5u);
  for (size_t i = 1; i < previews.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(95)) << i;
    EXPECT_GT(previews[i].FrameNumber, previews[i - 1].FrameNumber);
    EXPECT_GT(previews[i].PTS, previews[i - 1].PTS);
  }
}

namespace {

// A preview window that closes itself after three pictures.
struct TFakeWindows {
  std::mutex mutex;
  int made = 0, freed = 0, shown = 0, painted = 0;
  int width = 0, height = 0;
  std::string caption;
};

class TFakePreview : public TPreviewWindow {
public:
  explicit TFakePreview(TFakeWindows& AWindows) : w_(AWindows) {}
  ~TFakePreview() override {
    std::lock_guard lock(w_.mutex);
    ++w_.freed;
  }
  void Show(int AWidth, int AHeight) override {
    std::lock_guard lock(w_.mutex);
    ++w_.shown;
    w_.width = AWidth;
    w_.height = AHeight;
  }
  void SetCaption(const std::string& ACaption) override {
    std::lock_guard lock(w_.mutex);
    w_.caption = ACaption;
  }
  void Paint(const TBitmap24& ABitmap) override {
    std::lock_guard lock(w_.mutex);
    EXPECT_EQ(ABitmap.Width(), w_.width);
    ++w_.painted;
  }
  bool Closed() const override {
    std::lock_guard lock(w_.mutex);
    return w_.painted >= 3;
  }

private:
  TFakeWindows& w_;
};

}  // namespace

TEST(EngineHooks, PreviewWindowShowsFramesUntilTheUserClosesIt) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 2.0, "160x120");
  TFakeWindows windows;
  SetPreviewWindowFactory([&] {
    std::lock_guard lock(windows.mutex);
    ++windows.made;
    return std::make_unique<TFakePreview>(windows);
  });
  TestTaskManager tm;
  tm.SetPreview(true);
  ASSERT_EQ(tm.AddTask(clip, "re"), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.avi"));
  tm.Start(0);
  SetPreviewWindowFactory(nullptr);
  EXPECT_EQ(windows.made, 1);
  EXPECT_EQ(windows.shown, 1);
  EXPECT_EQ(windows.width, 160);
  EXPECT_EQ(windows.height, 120);
  EXPECT_EQ(windows.painted, 3);  // closed after the third: no more pictures
  EXPECT_EQ(windows.freed, 1);
  EXPECT_EQ(windows.caption.rfind("00:00:0", 0), 0u) << windows.caption;
  EXPECT_FALSE(tm.FFmpegList().Get(0)->PostHooks().Contains(phPreview));
  EXPECT_TRUE(tm.Preview());  // the setting itself stays
}

TEST(EngineHooks, WithoutAPreviewWindowThePreviewIsDropped) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 0.5, "160x120");
  SetPreviewWindowFactory(nullptr);
  TestTaskManager tm;
  tm.SetPreview(true);
  ASSERT_EQ(tm.AddTask(clip), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.avi"));
  TTerminateInfo result;
  tm.SetOnTerminate([&](TCustomTaskManager*, const TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex == 0)
      result = AInfo;
  });
  tm.Start(0);
  EXPECT_TRUE(result.Finished) << result.ExceptionMsg;
  EXPECT_FALSE(tm.FFmpegList().Get(0)->PostHooks().Contains(phPreview));
}
