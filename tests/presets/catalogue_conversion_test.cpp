// Every format of the catalogue converts: its parameter set with the option lists' default
// choices becomes an output record the way the window does it when a file is added and when a
// run rebuilds its tasks, the engine converts a generated clip (audio formats: an audio-only
// input too), and ffprobe reads the expected codecs, picture size, frame rate, sample rate and
// channel count from the output.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "../media/engine_fixtures.h"
#include "media/task_manager.h"
#include "presets/catalogue.h"
#include "presets/output_record.h"
#include "presets/parameter_set.h"

namespace {

using enginetest::Probe;
using enginetest::TProbed;

// ---- what ffprobe must find --------------------------------------------------------------

// ffprobe's name for what an encoder makes.
std::string CodecOf(const std::string& AEncoder) {
  static const std::map<std::string, std::string> kNames = {
      {"libmp3lame", "mp3"}, {"libfaac", "aac"},          {"libx264", "h264"},
      {"libxvid", "mpeg4"},  {"libvorbis", "vorbis"},     {"libopencore_amrnb", "amr_nb"},
      {"msmpeg4", "msmpeg4v3"}};
  auto it = kNames.find(AEncoder);
  return it == kNames.end() ? AEncoder : it->second;
}

struct TTargetExpect {
  TOptionTargetType type;
  const char* video;
  const char* audio;
  int width, height;  // PAL
  int sample_rate;
};
constexpr TTargetExpect kTargets[] = {{ttVCD, "mpeg1video", "mp2", 352, 288, 44100},
                                      {ttSVCD, "mpeg2video", "mp2", 480, 576, 44100},
                                      {ttDVD, "mpeg2video", "ac3", 720, 576, 48000}};

// The codecs a container takes when the record names none.
struct TDefaultCodecs {
  const char* ext;
  const char* video;
  const char* audio;
};
constexpr TDefaultCodecs kDefaults[] = {{".wav", "", "pcm_s16le"}, {".m4a", "h264", "aac"},
                                        {".rm", "rv10", "ac3"},    {".ra", "rv10", "ac3"},
                                        {".aiff", "", "pcm_s16be"},
                                        {".mp2", "", "mp2"},       {".mpg", "mpeg1video", "mp2"},
                                        {".mov", "h264", "aac"}};

// The frame rates MPEG-1 and MPEG-2 video can carry.
constexpr double kMpegRates[] = {24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};

double RateOf(const std::string& AText) {
  size_t slash = AText.find('/');
  if (slash == std::string::npos)
    return std::atof(AText.c_str());
  double den = std::atof(AText.c_str() + slash + 1);
  return den == 0 ? 0 : std::atof(AText.c_str()) / den;
}

struct TCase {
  int category;
  int format;
  bool audio_only_input;
};

std::string CaseName(const testing::TestParamInfo<TCase>& AInfo) {
  return "f" + std::to_string(FormatCode(AInfo.param.category, AInfo.param.format)) +
         (AInfo.param.audio_only_input ? "_audio_input" : "_clip");
}

std::vector<TCase> AllCases() {
  std::vector<TCase> cases;
  for (int c = 0; c < kCategoryCount; ++c)
    for (int f = 0; f < static_cast<int>(FormatsOf(c).size()); ++f) {
      cases.push_back({c, f, false});
      if (IsAudioCategory(c))
        cases.push_back({c, f, true});
    }
  return cases;
}

class CatalogueConversion : public testing::TestWithParam<TCase> {
protected:
  static void SetUpTestSuite() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "varnosk-catalogue-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    ::setenv("VARNOSK_HOME", root_.c_str(), 1);
    clip_ = enginetest::MakeClip(root_ + "/clip.avi", 5.0, "320x240");
    tone_ = enginetest::MakeTone(root_ + "/tone.wav", 5.0);
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  static std::string root_, clip_, tone_;
};
std::string CatalogueConversion::root_;
std::string CatalogueConversion::clip_;
std::string CatalogueConversion::tone_;

TEST_P(CatalogueConversion, ConvertsWithTheExpectedStreams) {
  const TCase c = GetParam();
  const TFormat& format = *FindFormat(c.category, c.format);
  SCOPED_TRACE(format.DisplayText);
  const std::string input = c.audio_only_input ? tone_ : clip_;
  const std::string folder = root_ + "/" + CaseName({c, 0});
  std::filesystem::create_directories(folder);

  // The row's records, as adding the file and then starting the run make them.
  TParameterSet p;
  p.Video_AddFileName = input;
  ASSERT_TRUE(ApplyParameterSet(p, c.category, c.format, folder, ocRename));
  TOptionTexts texts;
  for (int l = 0; l < kOptionListCount; ++l) {
    const TListChoice& choice = format.Options[l];
    texts[l] = ItemListItems(choice.List)[choice.DefaultIndex];
  }
  ReadOptionChoices(p, texts);
  TOutputOptions oo;
  FillOutputRecord(p, oo);  // as the file list adds the row ...
  oo.FileName = p.Video_OutPutFileName;
  TRowTexts row;
  WriteAddedRowColumns(oo, row);
  UpdateOutputRecordFromColumns(row, oo);  // ... and as a run builds its task
  ASSERT_FALSE(oo.FileName.empty());

  // The conversion.
  TTaskManager tm;
  ASSERT_TRUE(tm.LoadAVLib("")) << tm.LastErrMsg();
  TTerminateInfo result;
  result.TaskIndex = -2;
  tm.SetOnTerminate([&](TCustomTaskManager*, const TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex == 0)
      result = AInfo;
  });
  TInputOptions io;
  ASSERT_EQ(tm.AddTask(input, &io), 0) << tm.LastErrMsg();
  ASSERT_TRUE(tm.SetOutputFile(0, oo.FileName, &oo)) << tm.LastErrMsg();
  tm.Start(0);
  ASSERT_EQ(result.TaskIndex, 0);
  ASSERT_FALSE(result.Exception) << result.ExceptionMsg;
  ASSERT_TRUE(result.Finished);

  // What came out.
  const TProbed out = Probe(oo.FileName);
  ASSERT_TRUE(out.ok) << out.log;
  const std::string ext = FormatExtension(c.category, c.format);
  const TTargetExpect* target = nullptr;
  for (const TTargetExpect& t : kTargets)
    if (t.type == oo.TargetType)
      target = &t;
  const TDefaultCodecs* defaults = nullptr;
  for (const TDefaultCodecs& d : kDefaults)
    if (ext == d.ext)
      defaults = &d;

  const TProbed::TStream* audio = out.First("audio");
  ASSERT_NE(audio, nullptr) << out.log;
  std::string audio_codec = !oo.AudioCodec.empty() ? CodecOf(oo.AudioCodec)
                            : target               ? target->audio
                            : defaults             ? defaults->audio
                                                   : "";
  EXPECT_EQ((*audio)["codec_name"], audio_codec);
  const int sample_rate = oo.AudioSampleRate > 0 ? oo.AudioSampleRate
                          : target               ? target->sample_rate
                                                 : 44100;
  EXPECT_EQ(audio->Int("sample_rate"), sample_rate);
  EXPECT_EQ(audio->Int("channels"), oo.AudioChannels > 0 ? oo.AudioChannels : 2);

  if (IsAudioCategory(c.category))
    return;  // a video stream the input has may be kept (the row's column 22 is empty)
  const TProbed::TStream* video = out.First("video");
  ASSERT_NE(video, nullptr) << out.log;
  const std::string video_codec = !oo.VideoCodec.empty() ? CodecOf(oo.VideoCodec)
                                  : target               ? target->video
                                  : defaults             ? defaults->video
                                                         : "";
  EXPECT_EQ((*video)["codec_name"], video_codec);
  int width = 320, height = 240;
  if (!oo.FrameSize.empty()) {
    width = std::atoi(oo.FrameSize.c_str());
    height = std::atoi(oo.FrameSize.c_str() + oo.FrameSize.find('*') + 1);
  } else if (target) {
    width = target->width;
    height = target->height;
  }
  EXPECT_EQ(video->Int("width"), width);
  EXPECT_EQ(video->Int("height"), height);
  double rate = oo.FrameRate.empty() ? 25.0 : std::atof(oo.FrameRate.c_str());
  if (video_codec == "mpeg1video" || video_codec == "mpeg2video") {
    double nearest = kMpegRates[0];
    for (double r : kMpegRates)
      if (std::fabs(r - rate) < std::fabs(nearest - rate))
        nearest = r;
    rate = nearest;
  }
  EXPECT_NEAR(RateOf((*video)["r_frame_rate"]), rate, 0.01) << (*video)["r_frame_rate"];
  EXPECT_NEAR(out.Duration(), 5.0, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CatalogueConversion, testing::ValuesIn(AllCases()), CaseName);

}  // namespace
