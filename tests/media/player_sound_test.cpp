// Sound: the callback's mixing, volume and mute, the stretching limits, files without video
// (waveform, spectrum, none), more than two channels, and a sound device that cannot start.
#include <cstdlib>
#include <cstring>

#include "media/player_core.h"
#include "player_fixtures.h"

namespace {

using namespace player_fixtures;

class SoundTest : public PlayerTest {};

constexpr TMemoryRenderTarget::TPixel kWhite{255, 255, 255};
constexpr TMemoryRenderTarget::TPixel kBlack{0, 0, 0};

// ---- the sound callback on a core with a chunk ready ----

struct TCallbackCase {
  const char* name;
  bool mute;
  int volume;
  int16_t expected;  // every output sample for input samples of 8192
};

class CallbackTest : public ::testing::TestWithParam<TCallbackCase> {};

TEST_P(CallbackTest, MixesTheChunkAtTheVolumeOrSilence) {
  const TCallbackCase& c = GetParam();
  TPreviewPlayer player;
  TPlaySession session;
  auto is = std::make_unique<TVideoState>(&player, &session);
  player.SetMute(c.mute);
  player.SetAudioVolume(c.volume);
  is->audio_channels = 2;
  is->audio_freq = 44100;
  auto* samples = reinterpret_cast<int16_t*>(is->audio_buf1);
  for (int i = 0; i < 2048; ++i)
    samples[i] = 8192;
  is->audio_buf = is->audio_buf1;
  is->audio_buf_size = 4096;
  is->audio_buf_index = 0;

  std::vector<int16_t> out(1024, 123);
  TVideoState::AudioCallback(is.get(), reinterpret_cast<Uint8*>(out.data()), 2048);
  for (int16_t s : out)
    ASSERT_EQ(s, c.expected);
  EXPECT_EQ(is->audio_buf_index, 2048);
}

INSTANTIATE_TEST_SUITE_P(Mixing, CallbackTest,
                         ::testing::Values(TCallbackCase{"full", false, 128, 8192},
                                           TCallbackCase{"half", false, 64, 4096},
                                           TCallbackCase{"silent", false, 0, 0},
                                           TCallbackCase{"muted", true, 128, 0}),
                         [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST(CallbackTest, NothingToPlayGivesSilenceAndKeepsTheClock) {
  TPreviewPlayer player;
  TPlaySession session;
  auto is = std::make_unique<TVideoState>(&player, &session);
  is->audio_channels = 2;
  is->audio_freq = 44100;
  is->paused = true;  // a paused core hands out no sound
  is->audio_clock = 3.5;
  std::vector<int16_t> out(2048, 77);
  TVideoState::AudioCallback(is.get(), reinterpret_cast<Uint8*>(out.data()), 4096);
  for (int16_t s : out)
    ASSERT_EQ(s, 0);
  EXPECT_EQ(is->audio_clock, 3.5);
  EXPECT_EQ(is->audio_buf_size, 1024);
}

TEST(WantedAudioSizeTest, StretchesByTheClockDifferenceWithinLimits) {
  // 4096 bytes of stereo 16-bit = 1024 sample frames of 4 bytes.
  EXPECT_EQ(WantedAudioSize(4096, 4, 0.001, 44100, 288000), 4096 + 4 * 44);
  EXPECT_EQ(WantedAudioSize(4096, 4, -0.001, 44100, 288000), 4096 - 4 * 44);
  EXPECT_EQ(WantedAudioSize(4096, 4, 1.0, 44100, 288000), 4 * (1024 * 110 / 100));
  EXPECT_EQ(WantedAudioSize(4096, 4, -1.0, 44100, 288000), (1024 * 90 / 100) * 4);
  EXPECT_EQ(WantedAudioSize(4096, 4, 1.0, 44100, 4402), 4400);  // never past the buffer
}

// ---- files without video ----

TEST_F(SoundTest, AudioOnlyInputShowsTheWaveform) {
  std::string tone = MakeTone(dir_, "tone.wav", 3);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(tone, &target_, false)) << player_.LastErrMsg();
  EXPECT_EQ(recorder_.FrameWidth(), -1);
  EXPECT_EQ(player_.AudioStreamIndex(), 0);
  EXPECT_EQ(player_.VideoStreamIndex(), -1);
  EXPECT_EQ(player_.CurrentAudioDisplay(), saWave);
  ASSERT_TRUE(Until([&] {
    return target_.SurfaceCount() >= 5 && target_.CountScreenPixels(kWhite) > 100;
  }));
  EXPECT_EQ(target_.DisplayWidth(), 320);
  EXPECT_EQ(target_.PictureCount(), 0);
  // Mostly black, the tone's bars white, one channel so no separator line.
  EXPECT_GT(target_.CountScreenPixels(kBlack), 320 * 240 / 2);
  int separator = 0;
  for (int x = 0; x < 320; ++x)
    separator += target_.ScreenPixel(x, 120).r == 255;
  EXPECT_LT(separator, 320);

  int64_t pts = 0;
  EXPECT_EQ(player_.CurrentFrame(pts).Width(), 0);
  EXPECT_EQ(pts, -1);
  ASSERT_TRUE(Until([&] { return recorder_.Positions().size() >= 3; }));
  std::vector<int64_t> p = recorder_.Positions();
  EXPECT_GT(p.back(), p.front());
}

TEST_F(SoundTest, MoreThanTwoChannelsAreShownAsTwo) {
  std::string clip = dir_.FFmpeg(
      "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 "
      "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:a pcm_s16le",
      "surround.wav");
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  // Two channels of 120 rows each: a white separator line across row 120.
  ASSERT_TRUE(Until([&] {
    for (int x = 0; x < 320; x += 7)
      if (target_.ScreenPixel(x, 120).r != 255)
        return false;
    return true;
  }));
  EXPECT_NE(target_.ScreenPixel(5, 40).r, 255);  // no line where six channels would part
}

struct TShowCase {
  const char* name;
  TShowAudio mode;
  bool drawn;
};

class ShowAudioTest : public PlayerTest, public ::testing::WithParamInterface<TShowCase> {};

TEST_P(ShowAudioTest, DrawsTheChosenVisualisation) {
  const TShowCase& c = GetParam();
  std::string tone = MakeTone(dir_, "tone.wav", 3);
  recorder_.Attach(player_);
  player_.SetShowAudio(c.mode);
  ASSERT_TRUE(player_.Open(tone, &target_, false)) << player_.LastErrMsg();
  EXPECT_EQ(player_.CurrentAudioDisplay(), c.mode);
  if (c.drawn) {
    ASSERT_TRUE(Until([&] {
      return target_.SurfaceCount() >= 20 && target_.CountScreenPixels(kBlack) < 320 * 240;
    }));
  } else {
    // Time goes on (positions) while nothing is drawn.
    ASSERT_TRUE(Until([&] { return recorder_.Positions().size() >= 5; }));
    EXPECT_EQ(target_.SurfaceCount(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ShowAudioTest,
                         ::testing::Values(TShowCase{"none", saNone, false},
                                           TShowCase{"wave", saWave, true},
                                           TShowCase{"spectrum", saRDFT, true}),
                         [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST_F(SoundTest, ToggleAudioDisplayCyclesAndClears) {
  std::string tone = MakeTone(dir_, "tone.wav", 3);
  ASSERT_TRUE(player_.Open(tone, &target_, false)) << player_.LastErrMsg();
  const TShowAudio order[] = {saWave, saRDFT, saNone, saWave};
  EXPECT_EQ(player_.CurrentAudioDisplay(), order[0]);
  for (int i = 1; i < 4; ++i) {
    player_.ToggleAudioDisplay();
    EXPECT_EQ(player_.CurrentAudioDisplay(), order[i]);
  }
  player_.ToggleAudioDisplay();
  player_.ToggleAudioDisplay();  // now none: the cleared area stays black
  ASSERT_EQ(player_.CurrentAudioDisplay(), saNone);
  ASSERT_TRUE(Until([&] { return target_.CountScreenPixels(kBlack) == 320 * 240; }));
}

TEST_F(SoundTest, AudioOnlyInputReachesItsEnd) {
  std::string tone = MakeTone(dir_, "tone.wav", 1);
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(tone, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psEnd); }));
  EXPECT_GE(player_.CurrentPTS(), 900000);
}

TEST_F(SoundTest, WithoutASoundDeviceVideoStillPlays) {
  const std::string saved = std::getenv("SDL_AUDIODRIVER");  // set by the fixture
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  TLogRecorder log;
  std::string clip = MakeClip(dir_, "clip.mkv", 2);
  recorder_.Attach(player_);
  bool opened = player_.Open(clip, &target_, false);
  ::setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  ASSERT_TRUE(opened) << player_.LastErrMsg();
  EXPECT_EQ(player_.AudioStreamIndex(), -1);
  EXPECT_GE(player_.VideoStreamIndex(), 0);
  ASSERT_TRUE(Until([&] { return target_.PictureCount() >= 10 && recorder_.Positions().size() >= 3; }));
  EXPECT_TRUE(log.Contains("Could not initialize SDL with ScreenHandle("));
  EXPECT_TRUE(log.Contains("SDL_OpenAudio() failed: "));
}

}  // namespace
