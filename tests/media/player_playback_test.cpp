// Playing generated clips headless: opening paused, playing, seeking, the end, stopping, a
// second file while one plays, and the pictures shown.
#include "player_fixtures.h"

namespace {

using namespace player_fixtures;

class PlaybackTest : public PlayerTest {};

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

}  // namespace
