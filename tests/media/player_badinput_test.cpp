// Bad input: files that cannot be played, files broken part-way, missing libraries, unknown
// forced formats, refused stream switches and broken filter descriptions. Each leaves the
// player stopped and able to play the next file.
#include <filesystem>
#include <fstream>
#include <random>

#include "player_fixtures.h"

namespace {

using namespace player_fixtures;

class BadInputTest : public PlayerTest {
protected:
  // Plays a good file afterwards, to show the player was left in a clean state.
  void ExpectStillPlays() {
    TMemoryRenderTarget target(160, 120);
    std::string good = MakeQuadrants(dir_);
    ASSERT_TRUE(player_.Open(good, &target, true)) << player_.LastErrMsg();
    EXPECT_TRUE(Until([&] { return target.PictureCount() >= 1; }));
    player_.Stop(true);
  }
};

std::string RandomBytes(const TempDir& ADir, const std::string& AName, size_t ASize) {
  std::mt19937 random(1234);
  std::string bytes(ASize, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return ADir.Write(AName, bytes);
}

struct TOpenCase {
  const char* name;
  std::function<std::string(const TempDir&)> make;  // the file to open
  std::function<void(TCustomPlayer&)> prepare;
  const char* message;  // LastErrMsg after the file name and ": "
};

class OpenFailureTest : public BadInputTest, public ::testing::WithParamInterface<TOpenCase> {};

TEST_P(OpenFailureTest, OpenFailsWithTheReasonAndLeavesNoThreads) {
  const TOpenCase& c = GetParam();
  std::string file = c.make(dir_);
  if (c.prepare)
    c.prepare(player_);
  recorder_.Attach(player_);
  const int before = ThreadCount();
  EXPECT_FALSE(player_.Open(file, &target_, true));
  EXPECT_EQ(player_.LastErrMsg(), file + ": " + c.message);
  EXPECT_EQ(ThreadCount(), before);
  EXPECT_EQ(recorder_.Opened(), 0);
  EXPECT_TRUE(player_.Paused());
  EXPECT_EQ(player_.CurrentFrame().Width(), 0);
  player_.SetDisableAudio(false);
  player_.SetDisableVideo(false);
  player_.SetFormat("");
  ExpectStillPlays();
}

const char* const kNoStream = "could not open codecs, no stream to play.";

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFailureTest,
    ::testing::Values(
        TOpenCase{"missing", [](const TempDir& d) { return d.Path("missing.mkv"); },
                  nullptr, "No such file or directory"},
        TOpenCase{"empty", [](const TempDir& d) { return d.Write("empty.mkv", ""); },
                  nullptr, "Invalid data found when processing input"},
        TOpenCase{"random_bytes",
                  [](const TempDir& d) { return RandomBytes(d, "random.mkv", 65536); },
                  nullptr, "Invalid data found when processing input"},
        TOpenCase{"subtitles_only",
                  [](const TempDir& d) {
                    return d.Write("only.srt", "1\n00:00:00,000 --> 00:00:01,000\nHello\n\n");
                  },
                  nullptr, kNoStream},
        TOpenCase{"sound_disabled",
                  [](const TempDir& d) { return MakeTone(d, "tone.wav", 1); },
                  [](TCustomPlayer& p) { p.SetDisableAudio(true); }, kNoStream},
        TOpenCase{"video_disabled_without_sound",
                  [](const TempDir& d) { return fixtures::MakeCounterVideo(d, "c.mkv"); },
                  [](TCustomPlayer& p) { p.SetDisableVideo(true); }, kNoStream},
        TOpenCase{"forced_wrong_format",
                  [](const TempDir& d) { return fixtures::MakeCounterVideo(d, "c.mkv"); },
                  [](TCustomPlayer& p) { p.SetFormat("wav"); }, "Invalid data found when processing input"}),
    [](const auto& AInfo) { return std::string(AInfo.param.name); });

// Cuts a file, or overwrites its middle with noise.
struct TBrokenCase {
  const char* name;
  const char* extension;
  bool truncate;  // else the middle third is overwritten
};

class BrokenFileTest : public BadInputTest, public ::testing::WithParamInterface<TBrokenCase> {};

TEST_P(BrokenFileTest, PlaybackGoesOnToTheEnd) {
  const TBrokenCase& c = GetParam();
  std::string file = MakeClip(dir_, std::string("clip.") + c.extension, 3);
  const auto size = std::filesystem::file_size(file);
  if (c.truncate) {
    std::filesystem::resize_file(file, size / 2);
  } else {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size / 3));
    std::mt19937 random(99);
    for (size_t i = 0; i < size / 3; ++i)
      f.put(static_cast<char>(random()));
  }
  recorder_.Attach(player_);
  ASSERT_TRUE(player_.Open(file, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return recorder_.Saw(psEnd); }));
  EXPECT_GT(target_.PictureCount(), 5);
  const int before_stop = ThreadCount();
  player_.Stop(true);
  EXPECT_LT(ThreadCount(), before_stop);
  EXPECT_TRUE(recorder_.Saw(psStop));
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenFileTest,
                         ::testing::Values(TBrokenCase{"truncated_mkv", "mkv", true},
                                           TBrokenCase{"truncated_ts", "ts", true},
                                           TBrokenCase{"noisy_middle_ts", "ts", false},
                                           TBrokenCase{"noisy_middle_avi", "avi", false}),
                         [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST_F(BadInputTest, WithoutTheLibrariesOpenIsRefused) {
  std::string clip = MakeQuadrants(dir_);
  player_.UnloadAVLib();
  EXPECT_FALSE(player_.AVLibLoaded());
  EXPECT_FALSE(player_.Open(clip, &target_, true));
  EXPECT_EQ(player_.LastErrMsg(), "libav or libsdl not loaded.");
  player_.SetFormat("wav");
  EXPECT_EQ(player_.Format(), "");
  ASSERT_TRUE(player_.LoadAVLib(ExeFolder() + "LibAV")) << player_.LastErrMsg();
  ExpectStillPlays();
}

TEST_F(BadInputTest, AnUnknownFormatNameThrows) {
  try {
    player_.SetFormat("no-such-format");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unknown input format: no-such-format");
  }
  EXPECT_EQ(player_.Format(), "");
  player_.SetFormat("matroska");
  EXPECT_EQ(player_.Format(), "matroska");
  ExpectStillPlays();  // a forced format that fits plays
}

TEST_F(BadInputTest, ABrokenFilterDescriptionStopsOnlyThePictures) {
  TLogRecorder log;
  std::string clip = MakeClip(dir_, "clip.mkv", 2);
  recorder_.Attach(player_);
  player_.SetVideoFilters("no_such_filter=1");
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return log.Contains("no_such_filter=1: "); }));
  EXPECT_GE(player_.AudioStreamIndex(), 0);  // the sound goes on
  EXPECT_EQ(target_.PictureCount(), 0);
  player_.Seek(int64_t{500000}, 0, true);  // returns although no picture will come
  player_.Stop(true);
  EXPECT_TRUE(recorder_.Saw(psStop));
  player_.SetVideoFilters("");
  ExpectStillPlays();
}

struct TSwitchCase {
  const char* name;
  int kind;   // 0 audio, 1 video, 2 subtitle
  int index;  // streams: 0 video, 1 and 2 audio
  const char* message;  // nullptr: switched
};

class StreamSwitchTest : public BadInputTest, public ::testing::WithParamInterface<TSwitchCase> {};

TEST_P(StreamSwitchTest, RefusesWithTheReasonOrSwitches) {
  const TSwitchCase& c = GetParam();
  std::string clip = dir_.FFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 "
      "-f lavfi -i sine=frequency=440:duration=3 -f lavfi -i sine=frequency=880:duration=3 "
      "-map 0:v -map 1:a -map 2:a -c:v mpeg4 -c:a pcm_s16le",
      "two_tracks.mkv");
  TLogRecorder log;
  ASSERT_TRUE(player_.Open(clip, &target_, false)) << player_.LastErrMsg();
  ASSERT_EQ(player_.VideoStreamIndex(), 0);
  const int audio = player_.AudioStreamIndex();
  ASSERT_TRUE(audio == 1 || audio == 2);
  ASSERT_EQ(player_.SubtitleStreamIndex(), -1);
  switch (c.kind) {
    case 0: player_.SetAudioStreamIndex(c.index == -2 ? 3 - audio : c.index); break;
    case 1: player_.SetVideoStreamIndex(c.index); break;
    default: player_.SetSubtitleStreamIndex(c.index); break;
  }
  if (c.message) {
    EXPECT_TRUE(Until([&] { return log.Contains(c.message); })) << c.message;
    EXPECT_EQ(player_.AudioStreamIndex(), audio);
    EXPECT_EQ(player_.VideoStreamIndex(), 0);
  } else {
    EXPECT_EQ(player_.AudioStreamIndex(), 3 - audio);
    const int shown = target_.PictureCount();
    EXPECT_TRUE(Until([&] { return target_.PictureCount() > shown + 5; }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamSwitchTest,
    ::testing::Values(TSwitchCase{"other_audio_track", 0, -2, nullptr},
                      TSwitchCase{"audio_to_video_stream", 0, 0, "the stream type is not matched."},
                      TSwitchCase{"audio_out_of_range", 0, 7, "the stream index is not valid."},
                      TSwitchCase{"video_off", 1, -1, "the stream index is not valid."},
                      TSwitchCase{"video_to_audio_stream", 1, 1, "the stream type is not matched."},
                      TSwitchCase{"subtitle_to_audio_stream", 2, 1, "the stream type is not matched."}),
    [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST_F(BadInputTest, SwitchingAKindThatIsNotPlayingIsRefused) {
  std::string tone = MakeTone(dir_, "tone.wav", 2);
  TLogRecorder log;
  ASSERT_TRUE(player_.Open(tone, &target_, false)) << player_.LastErrMsg();
  player_.SetVideoStreamIndex(0);
  EXPECT_TRUE(Until([&] { return log.Contains("the current stream is not valid."); }));
  EXPECT_EQ(player_.AudioStreamIndex(), 0);
  player_.SetSubtitleStreamIndex(-1);  // off while off: nothing
  EXPECT_EQ(player_.SubtitleStreamIndex(), -1);
}

}  // namespace
