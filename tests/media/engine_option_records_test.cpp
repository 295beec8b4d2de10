// The option records' defaults, Reset, and the option text they carry.
#include <gtest/gtest.h>

#include "media/option_records.h"

namespace {

void ExpectInputDefaults(const TInputOptions& r) {
  EXPECT_EQ(r.FileName, "");
  EXPECT_EQ(r.FileFormat, "");
  EXPECT_EQ(r.TimeStart, INT64_MIN);
  EXPECT_EQ(r.ProgramID, -1);
  EXPECT_EQ(r.ExtOptions, "");
  EXPECT_EQ(r.Tag, 0);
  EXPECT_EQ(r.Data, nullptr);
}

void ExpectOutputDefaults(const TOutputOptions& r) {
  for (int v : {r.PacketSize, r.MuxRate, r.AudioVolume, r.AudioChannels, r.AudioSampleRate,
                r.AudioBitrate, r.AudioBitRateTolerance, r.CropTop, r.CropBottom, r.CropLeft,
                r.CropRight, r.GroupPictureSize, r.VideoBitrate, r.VideoMaxRate, r.VideoMinRate,
                r.VideoBitRateTolerance, r.VideoBufSize, r.VideoSyncMethod})
    EXPECT_EQ(v, -1);
  EXPECT_EQ(r.AudioSyncMethod, 0);
  EXPECT_FLOAT_EQ(r.MuxDelay, -1.0f);
  EXPECT_FLOAT_EQ(r.MuxPreload, -1.0f);
  for (const std::string* s :
       {&r.FileName, &r.FileExt, &r.FileFormat, &r.AudioCodec, &r.AudioPreset, &r.AudioLanguage,
        &r.AudioTag, &r.VideoCodec, &r.VideoPreset, &r.FrameRate, &r.FrameSize,
        &r.FrameAspectRatio, &r.VideoTag, &r.VideoFilters, &r.VideoLanguage, &r.SubtitleCodec,
        &r.SubtitlePreset, &r.SubtitleLanguage, &r.ExtOptions})
    EXPECT_EQ(*s, "");
  for (bool b : {r.DisableAudio, r.DisableVideo, r.DisableSubtitle, r.InputSync, r.CopyTimestamp,
                 r.CustomHook, r.Join})
    EXPECT_FALSE(b);
  EXPECT_EQ(r.TimeStart, INT64_MIN);
  EXPECT_EQ(r.TimeLength, INT64_MIN);
  EXPECT_DOUBLE_EQ(r.Info.TimeStamp, -1.0);
  EXPECT_EQ(r.Info.Year, -1);
  EXPECT_EQ(r.Info.Track, -1);
  EXPECT_EQ(r.Info.Title + r.Info.Author + r.Info.Copyright + r.Info.Comment + r.Info.Album +
                r.Info.Genre,
            "");
  EXPECT_EQ(r.TargetType, ttIgnore);
  EXPECT_EQ(r.NormType, ntAuto);
  EXPECT_EQ(r.NormDefault, ntPAL);
  EXPECT_EQ(r.Tag, 0);
  EXPECT_EQ(r.Data, nullptr);
}

}  // namespace

TEST(OptionRecords, ResetRestoresEveryDefault) {
  TInputOptions in;
  ExpectInputDefaults(in);
  int anchor = 0;
  in = {"a.avi", "avi", 5, 3, "x=1\n", 7, &anchor};
  in.Reset();
  ExpectInputDefaults(in);

  TOutputOptions out;
  ExpectOutputDefaults(out);
  out.FileName = "o.mp4";
  out.AudioBitrate = 128000;
  out.MuxDelay = 0.7f;
  out.DisableVideo = true;
  out.TimeLength = 10;
  out.Info.Year = 2010;
  out.Info.Title = "t";
  out.TargetType = ttDVD;
  out.NormType = ntNTSC;
  out.NormDefault = ntNTSC;
  out.Join = true;
  out.Data = &anchor;
  out.Reset();
  ExpectOutputDefaults(out);
}

TEST(OptionText, SplitsIntoNameValueLines) {
  struct Case {
    const char* text;
    std::vector<TOptionLine> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"  \t\r\n ", {}},
      {"vcodec=mpeg4", {{"vcodec", "mpeg4"}}},
      {" a=1\r\nb=2\rc=3\nd=4 ", {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}},
      {"a=1<CRLF>b=x=y<CRLF>an", {{"a", "1"}, {"b", "x=y"}, {"an", ""}}},
      {"a= 1 \n\nb=", {{"a", " 1 "}, {"b", ""}}},  // lines are not trimmed, empty ones skipped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(OptionTextLines(c.text), c.lines);
  }
}

TEST(OptionText, InputTextTakesTimeStartAndKeepsTheRest) {
  TInputOptions r = InputOptionsFromText("timeSTART=2500000<CRLF>f=avi\r\nvn");
  EXPECT_EQ(r.TimeStart, 2500000);
  EXPECT_EQ(r.ExtOptions, "f=avi\nvn=\n");
  EXPECT_EQ(r.FileName, "");

  for (const char* bad : {"TimeStart=abc", "TimeStart=", "TimeStart=12s", "TimeStart"})
    EXPECT_EQ(InputOptionsFromText(bad).TimeStart, INT64_MIN) << bad;
  EXPECT_EQ(InputOptionsFromText("TimeStart=-40").TimeStart, -40);
}

TEST(OptionText, OutputTextTakesItsOwnLines) {
  TOutputOptions r =
      OutputOptionsFromText("Hook=0<CRLF>JOIN<CRLF>TimeStart=1<CRLF>timelength=2<CRLF>ab=64k");
  EXPECT_TRUE(r.CustomHook);  // the value of Hook is not read
  EXPECT_TRUE(r.Join);
  EXPECT_EQ(r.TimeStart, 1);
  EXPECT_EQ(r.TimeLength, 2);
  EXPECT_EQ(r.ExtOptions, "ab=64k\n");
  EXPECT_TRUE(OutputOptionsFromText("customhook").CustomHook);
  EXPECT_FALSE(OutputOptionsFromText("vcodec=x").CustomHook);
}
