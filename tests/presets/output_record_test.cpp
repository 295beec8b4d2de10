// The output record of a row: from the parameter fields, into the hidden columns, and back
// from the columns when a run builds the row's task.
#include "presets/output_record.h"

#include <gtest/gtest.h>

namespace {

TOutputOptions Fresh() {
  TOutputOptions oo;
  oo.Reset();
  return oo;
}

}  // namespace

TEST(OutputRecord, FromParameterFields) {
  TParameterSet p;
  p.Video_VideoCodec = "libx264";
  p.Video_AudioCodec = "AUTO";
  p.Video_AudioChannels = "2";
  p.Video_AudioSampleRate = "44100";
  p.Video_AudioBitrate = -1000;
  p.Video_VideoBitrate = 816000;
  p.Video_TargetType = "dvd";
  p.Video_NormType = "NTSC";
  TOutputOptions oo = Fresh();
  oo.AudioCodec = "kept";
  FillOutputRecord(p, oo);
  EXPECT_EQ(oo.VideoCodec, "libx264");
  EXPECT_EQ(oo.VideoPreset, "libx264-default");
  EXPECT_EQ(oo.AudioCodec, "kept");  // "AUTO" hands nothing on
  EXPECT_EQ(oo.AudioChannels, 2);
  EXPECT_EQ(oo.AudioSampleRate, 44100);
  EXPECT_EQ(oo.AudioBitrate, -1);  // -1000: no value
  EXPECT_EQ(oo.VideoBitrate, 816000);
  EXPECT_EQ(oo.TargetType, ttDVD);
  EXPECT_EQ(oo.NormType, ntNTSC);
  EXPECT_EQ(oo.AudioVolume, 256);
}

TEST(OutputRecord, ColumnsRoundTrip) {
  TParameterSet p;
  p.Video_VideoCodec = "mpeg4";
  p.Video_VideoTag = "XVID";
  p.Video_AudioCodec = "libmp3lame";
  p.Video_FrameSize = "320*240";
  p.Video_FrameRate = "25";
  p.Video_AudioBitrate = 128000;
  TOutputOptions added = Fresh();
  FillOutputRecord(p, added);
  TRowTexts row;
  WriteAddedRowColumns(added, row);
  EXPECT_EQ(row[11], "mpeg4");
  EXPECT_EQ(row[14], "XVID");
  EXPECT_EQ(row[16], "320*240");
  EXPECT_EQ(row[19], "128000");
  EXPECT_EQ(row[22], "");
  TOutputOptions rebuilt = Fresh();
  UpdateOutputRecordFromColumns(row, rebuilt);
  EXPECT_EQ(rebuilt.VideoCodec, added.VideoCodec);
  EXPECT_EQ(rebuilt.VideoTag, "XVID");
  EXPECT_EQ(rebuilt.AudioCodec, added.AudioCodec);
  EXPECT_EQ(rebuilt.FrameSize, added.FrameSize);
  EXPECT_EQ(rebuilt.FrameRate, added.FrameRate);
  EXPECT_EQ(rebuilt.AudioBitrate, 128000);
}

struct TColumnCase {
  const char* name;
  int column;
  const char* text;
  std::function<bool(const TOutputOptions&)> check;
};

class OutputRecordColumns : public testing::TestWithParam<TColumnCase> {};

TEST_P(OutputRecordColumns, RunRule) {
  const TColumnCase& c = GetParam();
  TRowTexts row;
  row[19] = "-1000";
  row[c.column] = c.text;
  TOutputOptions oo = Fresh();
  oo.AudioCodec = "mp2";
  oo.AudioSampleRate = 22050;
  oo.VideoTag = "DIVX";
  oo.TargetType = ttSVCD;
  UpdateOutputRecordFromColumns(row, oo);
  EXPECT_TRUE(c.check(oo)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, OutputRecordColumns,
    testing::Values(
        TColumnCase{"libx264 takes its preset and drops the tag", 11, "libx264",
                    [](const TOutputOptions& o) {
                      return o.VideoPreset == "libx264-default" && o.VideoTag.empty();
                    }},
        TColumnCase{"AUTO audio codec keeps the record's", 12, "AUTO",
                    [](const TOutputOptions& o) { return o.AudioCodec == "mp2"; }},
        TColumnCase{"AUTO sample rate keeps the record's", 20, "AUTO",
                    [](const TOutputOptions& o) { return o.AudioSampleRate == 22050; }},
        TColumnCase{"empty tag column clears the tag", 14, "",
                    [](const TOutputOptions& o) { return o.VideoTag.empty(); }},
        TColumnCase{"-1000 audio bitrate keeps the record's", 19, "-1000",
                    [](const TOutputOptions& o) { return o.AudioBitrate == -1; }},
        TColumnCase{"-2000 audio bitrate keeps the record's", 19, "-2000",
                    [](const TOutputOptions& o) { return o.AudioBitrate == -1; }},
        TColumnCase{"no video", 22, "True", [](const TOutputOptions& o) { return o.DisableVideo; }},
        TColumnCase{"empty target keeps the record's", 23, "",
                    [](const TOutputOptions& o) { return o.TargetType == ttSVCD; }},
        TColumnCase{"unknown target ignored", 23, "dv",
                    [](const TOutputOptions& o) { return o.TargetType == ttIgnore; }},
        TColumnCase{"norm PAL", 24, "PAL", [](const TOutputOptions& o) { return o.NormType == ntPAL; }},
        TColumnCase{"norm in lower case is automatic", 24, "pal",
                    [](const TOutputOptions& o) { return o.NormType == ntAuto; }}));
