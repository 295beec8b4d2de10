// Playing generated clips headless: opening paused, playing, seeking, the end, stopping, a
// second file while one plays, and the pictures shown.
#include <algorithm>
#include <cmath>

#include "player_fixtures.h"

namespace {

using namespace player_fixtures;

class PlaybackTest : public PlayerTest {};

// Remembers the frame number of every picture shown from the counter clip (flat grey pictures
// whose luma tells the frame).
class TCounterTarget : public TMemoryRenderTarget {
public:
  using TMemoryRenderTarget::TMemoryRenderTarget;
  void ShowPicture(const TBitmap24& APicture, const TRenderRect& ARect) override {
    TMemoryRenderTarget::ShowPicture(APicture, ARect);
    const uint8_t* centre = APicture.Row(APicture.Height() / 2) + APicture.Width() / 2 * 3;
    // RGB grey g of luma 16 + 4 N: g = 4 N * 255 / 219 (the mean of B, G, R: the conversion
    // tints grey by a unit or two).
    std::lock_guard lock(mutex_);
    const double grey = (centre[0] + centre[1] + centre[2]) / 3.0;
    frames_.push_back(static_cast<int>(std::lround(grey * 219.0 / 255.0 / 4.0)));
  }
  std::vector<int> Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
  }

private:
  mutable std::mutex mutex_;
  std::vector<int> frames_;
};

int GreyOfFrame(int AFrame) {
  return static_cast<int>(std::lround((fixtures::CounterLuma(AFrame) - 16) * 255.0 / 219.0));
}

TEST_F(PlaybackTest, OpenPausedShowsTwoPicturesThenReportsPause) {
  std::string clip = MakeClip(dir_, "clip.mkv", 2);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  EXPECT_EQ(recorder_.Opened(), 1);
  EXPECT_NEAR(recorder_.Duration(), 2000000, 100000);
  EXPECT_EQ(recorder_.FrameWidth(), 160);
  EXPECT_EQ(recorder_.FrameHeight(), 120);
  // The handler left the display size alone, so it is the target's client size.
  EXPECT_EQ(player_.ScreenWidth(), 320);
  EXPECT_EQ(player_.ScreenHeight(), 240);

  ASSERT_TRUE(Until([&] { return recorder_.Saw(psPause) && target_.PictureCount() >= 2; }));
  EXPECT_TRUE(player_.Paused());
  EXPECT_EQ(player_.PlayState(), psPause);
  // Paused after the second picture: no third one comes.
  Pump(std::chrono::milliseconds(400));
  EXPECT_EQ(target_.PictureCount(), 2);
  EXPECT_EQ(target_.DisplayWidth(), 320);
  EXPECT_EQ(target_.DisplayHeight(), 240);
  // 4:3 picture in a 4:3 area fills it.
  EXPECT_EQ(target_.LastRect(), (TRenderRect{0, 0, 320, 240}));
}

TEST_F(PlaybackTest, PlayingReportsIncreasingPositions) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Positions().size() >= 5; }));
  std::vector<int64_t> positions = recorder_.Positions();
  for (size_t i = 1; i < positions.size(); ++i)
    EXPECT_GT(positions[i], positions[i - 1]) << "at " << i;
  EXPECT_TRUE(recorder_.Saw(psPlay));
  EXPECT_FALSE(player_.Paused());
  EXPECT_GT(player_.CurrentPTS(), 0);
}

TEST_F(PlaybackTest, SeekWhilePausedShowsTheFirstPictureAfterTheSeek) {
  std::string clip = fixtures::MakeCounterVideo(dir_, "counter.mkv");
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psPause) && target_.PictureCount() >= 2; }));
  const int shown = target_.PictureCount();

  // Frame 30 is a key frame, so the seek lands on it exactly.
  player_.Seek(int64_t{1200000}, 0, true);
  EXPECT_FALSE(player_.Seeking());
  ASSERT_TRUE(Until([&] { return target_.PictureCount() > shown; }));
  int64_t pts = -2;
  TBitmap24& frame = player_.CurrentFrame(pts);
  EXPECT_EQ(pts, 1200000);
  ASSERT_EQ(frame.Width(), 64);
  ASSERT_EQ(frame.Height(), 48);
  EXPECT_NEAR(frame.Row(24)[32 * 3 + 1], GreyOfFrame(30), 3);
  EXPECT_NEAR(target_.PicturePixel(10, 10).g, GreyOfFrame(30), 3);
  // Still paused: one picture for the seek, no more.
  Pump(std::chrono::milliseconds(300));
  EXPECT_EQ(target_.PictureCount(), shown + 1);
  EXPECT_TRUE(player_.Paused());
}

TEST_F(PlaybackTest, SeekWhilePlayingShowsTheFirstPictureAfterTheSeek) {
  std::string clip = fixtures::MakeCounterVideo(dir_, "counter.mkv");
  TCounterTarget target(128, 96);
  ASSERT_TRUE(player_.Open(clip, &target, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return target.Frames().size() >= 3; }));
  player_.Seek(int64_t{1200000}, 0, true);
  ASSERT_TRUE(Until([&] {
    std::vector<int> f = target.Frames();
    return std::find(f.begin(), f.end(), 31) != f.end() || player_.PlayState() == psEnd;
  }));
  std::vector<int> frames = target.Frames();
  auto at = std::find(frames.begin(), frames.end(), 30);
  std::string seen;
  for (int f : frames)
    seen += std::to_string(f) + " ";
  ASSERT_NE(at, frames.end()) << "frame 30 was never shown: " << seen;
  SCOPED_TRACE(seen);
  for (auto it = at + 1; it != frames.end(); ++it)
    EXPECT_GT(*it, *(it - 1)) << "pictures after the seek go forward";
}

TEST_F(PlaybackTest, RelativeAndByteSeeksMoveThePicture) {
  std::string clip = dir_.FFmpeg(
      "-f lavfi -i \"nullsrc=s=64x48:r=25:d=3,format=yuv420p,geq=lum='16+2*N':cb=128:cr=128\" "
      "-c:v mpeg2video -q:v 1 -g 10 -bf 0",
      "counter.ts");
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return player_.PlayState() == psPause && target_.PictureCount() >= 2; }));
  int64_t start = -1;
  player_.CurrentFrame(start);

  int shown = target_.PictureCount();
  player_.Seek(1.0, 0, true);  // forward by a second, to a key frame after the current time
  ASSERT_TRUE(Until([&] { return target_.PictureCount() > shown; }));
  int64_t forward = -1;
  player_.CurrentFrame(forward);
  EXPECT_GE(forward, start + 400000);
  EXPECT_LE(forward, start + 1600000);

  shown = target_.PictureCount();
  player_.Seek(int64_t{0}, sfByte, true);  // byte 0: the start
  ASSERT_TRUE(Until([&] { return target_.PictureCount() > shown; }));
  int64_t back = -1;
  player_.CurrentFrame(back);
  EXPECT_LT(back, forward);
  EXPECT_LE(back, start + 400000);
}

TEST_F(PlaybackTest, SeekBeyondTheDurationEndsAtTheEnd) {
  std::string clip = MakeClip(dir_, "clip.mkv", 2);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return !recorder_.Positions().empty(); }));
  player_.Seek(int64_t{60000000}, 0, true);
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psEnd); }));
  EXPECT_EQ(recorder_.Positions().back(), recorder_.Duration());
}

TEST_F(PlaybackTest, ReachingTheEndReportsEndOnceAndTheFinalPosition) {
  std::string clip = MakeClip(dir_, "short.mkv", 1);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psEnd); }));
  const int64_t duration = recorder_.Duration();
  ASSERT_TRUE(Until([&] {
    std::vector<int64_t> p = recorder_.Positions();
    return !p.empty() && p.back() == duration;
  }));
  Pump(std::chrono::milliseconds(500));
  EXPECT_EQ(recorder_.Count(psEnd), 1);
  EXPECT_FALSE(recorder_.Saw(psStop));  // the file stays open at its end
}

TEST_F(PlaybackTest, AtTheEndAHandlerCanRewindAndPauseLikeThePreviewPanel) {
  std::string clip = MakeClip(dir_, "short.mkv", 1);
  recorder_.Attach(player_);
  std::vector<TPlayState> states;
  player_.SetOnState([&](TCustomPlayer* ASender, TPlayState AState) {
    states.push_back(AState);
    if (AState == psEnd) {
      ASender->Seek(0, sfAny, false);
      ASender->Pause();
    }
  });
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] {
    return std::find(states.begin(), states.end(), psPause) != states.end() && !player_.Seeking();
  }));
  EXPECT_TRUE(Until([&] { return player_.CurrentPTS() >= 0 && player_.CurrentPTS() < 100000; }));
  EXPECT_TRUE(player_.Paused());
  player_.Stop(true);  // the handler refers to this test's locals
}

TEST_F(PlaybackTest, StopDeliversStopAndEndsEveryThread) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  recorder_.Attach(player_);
  const int before = ThreadCount();
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return !recorder_.Positions().empty(); }));
  EXPECT_GT(ThreadCount(), before);
  player_.Stop(true);
  EXPECT_TRUE(recorder_.Saw(psStop));
  EXPECT_EQ(recorder_.States().back(), psStop);
  EXPECT_EQ(player_.PlayState(), psStop);
  EXPECT_EQ(ThreadCount(), before);
  EXPECT_TRUE(player_.Paused());
  EXPECT_EQ(player_.CurrentPTS(), -1);
  EXPECT_EQ(player_.AudioStreamIndex(), -1);
  // Stopping again, and operations without a file, do nothing.
  player_.Stop(true);
  player_.Pause();
  player_.Resume();
  player_.Seek(int64_t{0}, 0, true);
  EXPECT_EQ(player_.CurrentFrame().Width(), 0);
}

TEST_F(PlaybackTest, StopWhilePausedAndStopWithoutWaitingBothEnd) {
  std::string clip = MakeClip(dir_, "clip.mkv", 3);
  recorder_.Attach(player_);
  const int before = ThreadCount();
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psPause); }));
  player_.Stop(false);
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psStop); }));
  player_.Stop(true);  // joins what is left
  EXPECT_EQ(ThreadCount(), before);
}

TEST_F(PlaybackTest, OpeningASecondFileStopsTheFirstCompletely) {
  std::string first = MakeClip(dir_, "first.mkv", 3);
  std::string second = MakeQuadrants(dir_);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(first, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return !recorder_.Positions().empty(); }));
  ASSERT_TRUE(player_.Open(second, &target_, true)) << player_.LastErrMsg();
  EXPECT_EQ(player_.FileName(), second);
  EXPECT_EQ(recorder_.Opened(), 2);
  EXPECT_EQ(recorder_.FrameWidth(), 64);
  ASSERT_TRUE(Until([&] { return recorder_.Count(psPause) >= 1; }));
  std::vector<TPlayState> states = recorder_.States();
  auto stop = std::find(states.begin(), states.end(), psStop);
  ASSERT_NE(stop, states.end());
  EXPECT_EQ(std::find(stop + 1, states.end(), psStop), states.end());
  EXPECT_NE(std::find(stop + 1, states.end(), psPause), states.end());
  ASSERT_TRUE(Until([&] { return target_.PicturePixel(0, 0).r > 200; }));
}

struct TPatternCase {
  const char* name;
  bool flip;
  const char* filters;
  // Expected colour names of the quadrants: top-left, top-right, bottom-left, bottom-right.
  char quadrant[4];
};

class PatternTest : public PlayerTest, public ::testing::WithParamInterface<TPatternCase> {};

bool IsColour(char AName, int r, int g, int b) {
  switch (AName) {
    case 'r': return r > 230 && g < 25 && b < 25;
    case 'g': return g > 230 && r < 25 && b < 25;
    case 'b': return b > 230 && r < 25 && g < 25;
    default: return r > 230 && g > 230 && b > 230;
  }
}

TEST_P(PatternTest, CurrentFrameHoldsThePatternsColours) {
  const TPatternCase& c = GetParam();
  std::string clip = MakeQuadrants(dir_);
  recorder_.Attach(player_);
  player_.SetVerticalFlip(c.flip);
  player_.SetVideoFilters(c.filters);
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psPause) && target_.PictureCount() >= 2; }));
  int64_t pts = -2;
  TBitmap24& frame = player_.CurrentFrame(pts);
  EXPECT_EQ(pts, 40000);  // the second picture is on display
  ASSERT_EQ(frame.Width(), 64);
  ASSERT_EQ(frame.Height(), 48);
  const int points[4][2] = {{8, 6}, {56, 6}, {8, 42}, {56, 42}};
  for (int q = 0; q < 4; ++q) {
    const uint8_t* px = frame.Row(points[q][1]) + points[q][0] * 3;
    EXPECT_TRUE(IsColour(c.quadrant[q], px[2], px[1], px[0]))
        << "quadrant " << q << ": " << int(px[2]) << "," << int(px[1]) << "," << int(px[0]);
  }
  // The target shows the same picture scaled to its 320 x 240 area.
  TMemoryRenderTarget::TPixel top_left = target_.ScreenPixel(40, 30);
  EXPECT_TRUE(IsColour(c.quadrant[0], top_left.r, top_left.g, top_left.b));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, PatternTest,
    ::testing::Values(TPatternCase{"plain", false, "", {'r', 'g', 'b', 'w'}},
                      TPatternCase{"flipped", true, "", {'b', 'w', 'r', 'g'}},
                      TPatternCase{"mirrored", false, "hflip", {'g', 'r', 'w', 'b'}}),
    [](const ::testing::TestParamInfo<TPatternCase>& AInfo) { return std::string(AInfo.param.name); });

}  // namespace
