// Shared set-up of the player tests: generated clips, a main-thread loop that services the
// player's event delivery, recorders of the player's events and of the log, and waits on
// conditions with generous limits (the tests run on a loaded two-core machine).
#pragma once

#include <dirent.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/dispatcher.h"
#include "media/logger.h"
#include "media_probe_fixtures.h"
#include "media/player.h"
#include "media/render_target.h"

namespace player_fixtures {

using fixtures::TempDir;

constexpr auto kLong = std::chrono::seconds(30);

// Threads of this process right now.
inline int ThreadCount() {
  int n = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(dir))
      n += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return n;
}

// 2x2 colour quadrants of 32x24 each: red, green / blue, white; 25 fps, 2 s, lossless.
inline std::string MakeQuadrants(const TempDir& dir) {
  return dir.FFmpeg(
      "-f lavfi -i color=c=red:s=32x24:r=25:d=2 -f lavfi -i color=c=lime:s=32x24:r=25:d=2 "
      "-f lavfi -i color=c=blue:s=32x24:r=25:d=2 -f lavfi -i color=c=white:s=32x24:r=25:d=2 "
      "-filter_complex '[0][1]hstack[top];[2][3]hstack[bottom];[top][bottom]vstack,"
      "format=yuv420p' -c:v ffv1",
      "quadrants.mkv");
}

// Video with sound: 160x120 test pattern and a 440 Hz tone, ASeconds long.
inline std::string MakeClip(const TempDir& dir, const std::string& name, double ASeconds) {
  const std::string d = std::to_string(ASeconds);
  return dir.FFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=" + d +
                        " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + d +
                        " -c:v mpeg4 -q:v 3 -c:a pcm_s16le",
                    name);
}

// Sound only: a 440 Hz tone at full loudness range of the sine source.
inline std::string MakeTone(const TempDir& dir, const std::string& name, double ASeconds) {
  return dir.FFmpeg("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=" +
                        std::to_string(ASeconds) + " -c:a pcm_s16le",
                    name);
}

// Everything a player reports, in order. Handlers run on the main thread by default, but a
// test may deliver them elsewhere, hence the lock.
class TRecorder {
public:
  void Attach(TCustomPlayer& APlayer) {
    APlayer.SetOnPosition([this](TCustomPlayer*, int64_t APTS) {
      std::lock_guard lock(mutex_);
      positions_.push_back(APTS);
      kinds_.push_back(1);
    });
    APlayer.SetOnState([this](TCustomPlayer*, TPlayState AState) {
      std::lock_guard lock(mutex_);
      states_.push_back(AState);
      kinds_.push_back(2);
    });
    APlayer.SetOnFileOpen([this](TCustomPlayer*, int64_t ADuration, int AW, int AH, int&, int&) {
      std::lock_guard lock(mutex_);
      duration_ = ADuration;
      frame_w_ = AW;
      frame_h_ = AH;
      ++opened_;
    });
  }
  std::vector<int64_t> Positions() const {
    std::lock_guard lock(mutex_);
    return positions_;
  }
  std::vector<TPlayState> States() const {
    std::lock_guard lock(mutex_);
    return states_;
  }
  int Count(TPlayState AState) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (TPlayState s : states_)
      n += s == AState;
    return n;
  }
  bool Saw(TPlayState AState) const { return Count(AState) > 0; }
  int64_t Duration() const {
    std::lock_guard lock(mutex_);
    return duration_;
  }
  int FrameWidth() const {
    std::lock_guard lock(mutex_);
    return frame_w_;
  }
  int FrameHeight() const {
    std::lock_guard lock(mutex_);
    return frame_h_;
  }
  int Opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    positions_.clear();
    states_.clear();
    kinds_.clear();
  }

private:
  mutable std::mutex mutex_;
  std::vector<int64_t> positions_;
  std::vector<TPlayState> states_;
  std::vector<int> kinds_;
  int64_t duration_ = -2;
  int frame_w_ = -2, frame_h_ = -2;
  int opened_ = 0;
};

// Log lines at error level or more severe, with their texts.
class TLogRecorder {
public:
  TLogRecorder() {
    LoggerInstance().SetOnLog([this](const void*, uint32_t, TLogLevel ALevel, const std::string& AMsg) {
      std::lock_guard lock(mutex_);
      lines_.push_back({ALevel, AMsg});
    });
  }
  ~TLogRecorder() { LoggerInstance().SetOnLog(nullptr); }
  bool Contains(const std::string& AText) const {
    std::lock_guard lock(mutex_);
    for (const auto& line : lines_)
      if (line.second.find(AText) != std::string::npos)
        return true;
    return false;
  }

private:
  mutable std::mutex mutex_;
  std::vector<std::pair<TLogLevel, std::string>> lines_;
};

// A test with a main-thread loop, a temporary folder and loaded libraries.
class PlayerTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Headless sound unless the caller chose a driver (ctest's environment may not reach here).
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    SetMainThreadDispatcher(&loop_);
    ASSERT_TRUE(player_.LoadAVLib(ExeFolder() + "LibAV")) << player_.LastErrMsg();
  }
  void TearDown() override {
    // Handlers may refer to a test's locals, gone when an assertion ended the test early.
    player_.SetOnPosition(nullptr);
    player_.SetOnState(nullptr);
    player_.SetOnHook(nullptr);
    player_.Stop(true);
    SetMainThreadDispatcher(nullptr);
  }

  // Services the main thread until APred holds; false after the limit.
  bool Until(const std::function<bool()>& APred, std::chrono::milliseconds ALimit = kLong) {
    return loop_.RunPendingUntil(APred, ALimit);
  }
  // Services the main thread for a while (only to let more happen, never to decide a result
  // by itself).
  void Pump(std::chrono::milliseconds AFor) {
    loop_.RunPendingUntil([] { return false; }, AFor);
  }

  // Declared so that the player goes first.
  TLoopDispatcher loop_;
  TempDir dir_;
  TMemoryRenderTarget target_{320, 240};
  TRecorder recorder_;
  TPreviewPlayer player_;
};

}  // namespace player_fixtures
