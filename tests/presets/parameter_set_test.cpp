#include "presets/parameter_set.h"

#include <gtest/gtest.h>

#include <map>

#include "presets/option_code.h"

namespace {

TParameterSet Loaded(int ACode) {
  auto ref = DecodeFormatCode(ACode);
  TParameterSet p;
  EXPECT_TRUE(ref && LoadParameterSet(p, ref->Category, ref->Format)) << ACode;
  return p;
}

// One expected set: columns as in the catalogue's parameter table; "" is the empty text.
struct SetCase {
  int Code;
  const char* FileExt;
  const char* VCodec;
  const char* Tag;
  const char* Size;
  const char* Rate;
  const char* Aspect;
  int32_t VBitrate;
  const char* ACodec;
  const char* Ch;
  const char* SRate;
  int32_t ABitrate;
  bool NoVideo;
  const char* Target;
  const char* Norm;
};

TEST(ParameterSet, RepresentativeSets) {
  const SetCase cases[] = {
      {100, ".mp3", "", "", "", "", "", -1, "libmp3lame", "2", "48000", 128000, true, "", ""},
      {106, ".rm", "", "", "", "", "", -1, "", "2", "48000", 128000, true, "", ""},
      {109, ".mp2", "", "", "", "", "", -1, "", "2", "44100", 128000, true, "", ""},
      {112, ".amr", "", "", "", "", "", -1, "libopencore_amrnb", "1", "8000", 7400, true, "", ""},
      {200, ".avi", "mpeg4", "XVID", "", "25", "", 816000, "libmp3lame", "2", "44100", 128000,
       false, "", ""},
      {202, ".avi", "mpeg4", "DX50", "", "25", "", 816000, "libmp3lame", "2", "44100", 128000,
       false, "", ""},
      {203, ".mov", "", "", "", "25", "", 816000, "libfaac", "2", "44100", 128000, false, "", ""},
      {208, ".asf", "msmpeg4", "", "", "25", "", 816000, "wmav2", "2", "44100", 128000, false, "",
       ""},
      {209, ".3gp", "mpeg4", "", "176*144", "12", "4:3", 128000, "libfaac", "1", "8000", 12000,
       false, "", ""},
      {211, "", "", "", "", "", "", -1000, "", "", "", -1000, false, "dvd", "PAL"},
      {212, "", "", "", "", "", "", -1000, "", "", "", -1000, false, "svcd", "PAL"},
      {213, "", "", "", "", "", "", -1000, "", "", "", -1000, false, "vcd", "PAL"},
      {214, "", "rv20", "", "320*240", "", "", -1, "", "", "", -1, false, "", ""},
      {300, ".mp4", "mpeg4", "", "320*240", "25", "", 528000, "libmp3lame", "2", "44100", 128000,
       false, "", ""},
      {303, ".mp4", "libx264", "", "320*240", "25", "", 1200000, "libfaac", "2", "44100", 128000,
       false, "", ""},
      {400, ".mp4", "libx264", "", "320*240", "25", "", 512000, "libfaac", "2", "48000", 128000,
       false, "", ""},
      {411, ".mp4", "libxvid", "", "640*480", "25", "16:9", 1200000, "libfaac", "2", "48000",
       128000, false, "", ""},
      {413, ".mp4", "libxvid", "", "480*320", "25", "", 1000000, "libfaac", "2", "48000", 128000,
       false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Code);
    TParameterSet p = Loaded(c.Code);
    EXPECT_EQ(p.Video_FileExt, c.FileExt);
    EXPECT_EQ(p.Video_VideoCodec, c.VCodec);
    EXPECT_EQ(p.Video_VideoTag, c.Tag);
    EXPECT_EQ(p.Video_FrameSize, c.Size);
    EXPECT_EQ(p.Video_FrameRate, c.Rate);
    EXPECT_EQ(p.Video_FrameAspectRatio, c.Aspect);
    EXPECT_EQ(p.Video_VideoBitrate, c.VBitrate);
    EXPECT_EQ(p.Video_AudioCodec, c.ACodec);
    EXPECT_EQ(p.Video_AudioChannels, c.Ch);
    EXPECT_EQ(p.Video_AudioSampleRate, c.SRate);
    EXPECT_EQ(p.Video_AudioBitrate, c.ABitrate);
    EXPECT_EQ(p.Video_DisableVideo, c.NoVideo);
    EXPECT_EQ(p.Video_TargetType, c.Target);
    EXPECT_EQ(p.Video_NormType, c.Norm);
    EXPECT_EQ(p.Video_AudioVolume, "256");
    EXPECT_EQ(p.Video_FileFormat, "");
    EXPECT_EQ(p.Video_VideoFilters, "");
  }
}

TEST(ParameterSet, AudioSetsHaveNoVideoAndVideoSetsHaveVideo) {
  for (int c = 0; c < kCategoryCount; ++c)
    for (int f = 0; f < static_cast<int>(FormatsOf(c).size()); ++f) {
      TParameterSet p;
      ASSERT_TRUE(LoadParameterSet(p, c, f));
      EXPECT_EQ(p.Video_DisableVideo, IsAudioCategory(c)) << FormatCode(c, f);
    }
}

TEST(ParameterSet, NothingOfThePreviousFormatSurvives) {
  TParameterSet p = Loaded(209);
  p.Video_AddFileName = "/in/clip.avi";
  p.Video_OutPutFileName = "/out/clip.3gp";
  ASSERT_TRUE(LoadParameterSet(p, 0, 0));
  EXPECT_EQ(p.Video_FrameSize, "");
  EXPECT_EQ(p.Video_FrameRate, "");
  EXPECT_EQ(p.Video_FrameAspectRatio, "");
  EXPECT_EQ(p.Video_VideoBitrate, -1);
  EXPECT_EQ(p.Video_OutPutFileName, "");
  EXPECT_EQ(p.Video_AddFileName, "/in/clip.avi");  // never reset

  // The MP3 lists then give "no value" for the video bitrate.
  TOptionTexts shown = {"该格式无视频", "无视频", "无视频", "128 kbps", "44100", "无视频"};
  ReadOptionChoices(p, shown);
  EXPECT_EQ(p.Video_VideoBitrate, kBitrateNoValue);
  EXPECT_EQ(p.Video_AudioBitrate, 128000);
  EXPECT_EQ(p.Video_AudioSampleRate, "44100");
  EXPECT_EQ(p.Video_FrameSize, "");
  EXPECT_EQ(p.Video_FrameRate, "");
  EXPECT_EQ(p.Video_FrameAspectRatio, "");
}

TEST(ParameterSet, UnknownFormatLeavesTheNeutralSet) {
  TParameterSet p = Loaded(200);
  p.Video_AddFileName = "/in/a.avi";
  EXPECT_FALSE(LoadParameterSet(p, 1, 15));
  TParameterSet neutral;
  neutral.Video_AddFileName = "/in/a.avi";
  EXPECT_EQ(ParameterColumnTexts(p), ParameterColumnTexts(neutral));
  EXPECT_EQ(p.Video_AudioVolume, "256");
  EXPECT_FALSE(ApplyParameterSet(p, -1, 0, "/out", ocRename));
  EXPECT_EQ(p.Video_OutPutFileName, "");
}

TEST(ParameterSet, ApplyUsesTheDisplayTextExtension) {
  TParameterSet p;
  p.Video_AddFileName = "/nonexistent-varnosk-input/song.mp3";
  ASSERT_TRUE(ApplyParameterSet(p, 0, 6, "/nonexistent-varnosk-output", ocRename));
  EXPECT_EQ(p.Video_OutPutFileName, "/nonexistent-varnosk-output/song.ra");
  EXPECT_EQ(p.Video_FileExt, ".rm");

  p.Video_AddFileName.clear();
  ASSERT_TRUE(ApplyParameterSet(p, 0, 0, "/nonexistent-varnosk-output", ocRename));
  EXPECT_EQ(p.Video_OutPutFileName, "");
}

TEST(OptionTexts, KbpsTexts) {
  struct Case {
    const char* Text;
    bool Decimals;
    std::optional<int32_t> Value;
  };
  const Case cases[] = {
      {"7.95 kbps", true, 7950},   {"12 kbps", true, 12000},    {"4.75 kbps", true, 4750},
      {"7.4 kbps", true, 7400},    {"12.2 kbps", true, 12200},  {"816 kbps", false, 816000},
      {" 128  kbps", false, 128000}, {"1.2345 kbps", true, 1235}, {"1.2344 kbps", true, 1234},
      {"2147483 kbps", false, 2147483000},
      {"7.95 kbps", false, std::nullopt},  // video bitrates are whole numbers
      {"2147484 kbps", false, std::nullopt}, {"kbps", true, std::nullopt},
      {"128", true, std::nullopt},    {"abc kbps", true, std::nullopt},
      {"-5 kbps", true, std::nullopt}, {"5. kbps", true, std::nullopt},
      {".5 kbps", true, std::nullopt}, {"1.2.3 kbps", true, std::nullopt},
      {"无视频", true, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseKbps(c.Text, c.Decimals), c.Value) << c.Text;
}

TEST(OptionTexts, EachListResolvesIntoItsField) {
  struct Case {
    TOptionList List;
    const char* Shown;
    const char* ColumnText;  // the field as its column shows it afterwards
  };
  const Case cases[] = {
      {olResolution, "320*240", "320*240"},
      {olResolution, "保持原分辨率", ""},
      {olResolution, "该格式无视频", ""},
      {olFrameRate, "29.97", "29.97"},
      {olFrameRate, "12", "12"},
      {olFrameRate, "保持原帧速率", ""},
      {olFrameRate, "无视频", ""},
      {olVideoBitrate, "816 kbps", "816000"},
      {olVideoBitrate, "无视频", "-1000"},
      {olAudioBitrate, "7.95 kbps", "7950"},
      {olAudioBitrate, "12 kbps", "12000"},
      {olSampleRate, "8000", "8000"},
      {olAspect, "宽屏视频37:20模式", "37:20"},
      {olAspect, "宽屏视频47:20模式", "47:20"},
      {olAspect, "普通视频4:3模式", "4:3"},
      {olAspect, "宽屏视频16:9模式", "16:9"},
      {olAspect, "保持原视频模式", ""},
      {olAspect, "无视频", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Shown);
    TParameterSet p = Loaded(209);  // every field set to something first
    EXPECT_TRUE(ResolveOptionText(p, c.List, c.Shown));
    TColumnText cell = OptionColumnText(p, c.List);
    EXPECT_EQ(cell.Column, OptionListInfo(c.List).Column);
    EXPECT_EQ(cell.Text, c.ColumnText);
  }
}

TEST(OptionTexts, UnreadableTextsLeaveTheField) {
  TParameterSet p = Loaded(209);
  EXPECT_FALSE(ResolveOptionText(p, olAspect, "宽屏"));
  EXPECT_EQ(p.Video_FrameAspectRatio, "4:3");
  EXPECT_FALSE(ResolveOptionText(p, olAudioBitrate, ""));
  EXPECT_EQ(p.Video_AudioBitrate, 12000);
  EXPECT_FALSE(ResolveOptionText(p, olVideoBitrate, "fast"));
  EXPECT_EQ(p.Video_VideoBitrate, 128000);
  EXPECT_FALSE(ResolveOptionText(p, static_cast<TOptionList>(6), "320*240"));
}

std::map<int, std::string> AsMap(const std::vector<TColumnText>& ACells) {
  std::map<int, std::string> m;
  for (const auto& c : ACells) {
    EXPECT_EQ(m.count(c.Column), 0u) << "column " << c.Column << " twice";
    m[c.Column] = c.Text;
  }
  return m;
}

TEST(RowColumns, ParameterColumnsOfDvdAndMp3) {
  auto dvd = AsMap(ParameterColumnTexts(Loaded(211)));
  ASSERT_EQ(dvd.size(), 14u);
  EXPECT_EQ(dvd.begin()->first, 11);
  EXPECT_EQ(dvd.rbegin()->first, 24);
  EXPECT_EQ(dvd[15], "");
  EXPECT_EQ(dvd[17], "-1000");
  EXPECT_EQ(dvd[19], "-1000");
  EXPECT_EQ(dvd[22], "False");
  EXPECT_EQ(dvd[23], "dvd");
  EXPECT_EQ(dvd[24], "PAL");

  auto mp3 = AsMap(ParameterColumnTexts(Loaded(100)));
  EXPECT_EQ(mp3[11], "");
  EXPECT_EQ(mp3[12], "libmp3lame");
  EXPECT_EQ(mp3[13], "2");
  EXPECT_EQ(mp3[15], ".mp3");
  EXPECT_EQ(mp3[17], "-1");
  EXPECT_EQ(mp3[19], "128000");
  EXPECT_EQ(mp3[20], "48000");
  EXPECT_EQ(mp3[22], "True");

  auto avi = AsMap(ParameterColumnTexts(Loaded(200)));
  EXPECT_EQ(avi[11], "mpeg4");
  EXPECT_EQ(avi[14], "XVID");
  EXPECT_EQ(avi[18], "25");
}

// The shown texts of a format's freshly filled lists.
TOptionTexts DefaultTexts(int ACategory, int AFormat) {
  TOptionTexts texts;
  const TFormat* format = FindFormat(ACategory, AFormat);
  for (int l = 0; l < kOptionListCount; ++l)
    texts[l] = ItemListItems(format->Options[l].List)[format->Options[l].DefaultIndex];
  return texts;
}

TEST(RowColumns, FormatChange) {
  struct Case {
    int Code;
    const char* OldName;
    const char* NewName;
  };
  const Case cases[] = {
      {106, "a.mp3", "a.ra"},
      {110, "a.mp3", "a.flac"},
      {203, "my.clip.mp3", "my.clip.mov"},
      {214, "noext", "noext.rm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Code);
    auto ref = DecodeFormatCode(c.Code);
    TParameterSet p;
    ASSERT_TRUE(ApplyParameterSet(p, ref->Category, ref->Format, "/out", ocRename));
    ReadOptionChoices(p, DefaultTexts(ref->Category, ref->Format));
    auto cells = AsMap(FormatChangeColumnTexts(p, ref->Category, ref->Format, c.OldName));
    EXPECT_EQ(cells[3], c.NewName);
    EXPECT_EQ(cells[9], std::to_string(c.Code));
    EXPECT_EQ(cells[10], EncodeOptionCode(*DefaultOptionIndexes(ref->Category, ref->Format)));
    for (int col = 16; col <= 21; ++col) EXPECT_EQ(cells.count(col), 1u) << col;
    for (int col : {11, 12, 13, 14, 15, 22, 23, 24}) EXPECT_EQ(cells.count(col), 0u) << col;
  }
  EXPECT_TRUE(FormatChangeColumnTexts(TParameterSet{}, 1, 15, "a.mp3").empty());
}

TEST(RowColumns, FormatChangeRowHoldsWhatTheListsShow) {
  // The iPod set's own bitrate (512000) differs from its list default ("1000 kbps"); the row
  // ends with the shown choice, as a row added with the same choices does.
  TParameterSet p;
  ASSERT_TRUE(ApplyParameterSet(p, 3, 0, "/out", ocRename));
  EXPECT_EQ(AsMap(ParameterColumnTexts(p))[17], "512000");
  ReadOptionChoices(p, DefaultTexts(3, 0));
  auto cells = AsMap(FormatChangeColumnTexts(p, 3, 0, "clip.avi"));
  EXPECT_EQ(cells[16], "320*240");
  EXPECT_EQ(cells[17], "1000000");
  EXPECT_EQ(cells[18], "25.00");
  EXPECT_EQ(cells[19], "128000");
  EXPECT_EQ(cells[20], "48000");
  EXPECT_EQ(cells[21], "");
  // Both iPod and the common video lists show "128 kbps", at different indexes: the code
  // follows the index, not the text.
  EXPECT_EQ(cells[10], "030402000703");
}

TEST(RowColumns, OptionChange) {
  TParameterSet p = Loaded(200);
  auto cells = ApplyOptionChange(p, olFrameRate, 10, "29.97", "000310040904");
  EXPECT_EQ(cells, (std::vector<TColumnText>{{10, "000310041004"}, {18, "29.97"}}));
  EXPECT_EQ(p.Video_FrameRate, "29.97");

  cells = ApplyOptionChange(p, olFrameRate, 3, "15.00", "000310041004");
  EXPECT_EQ(cells, (std::vector<TColumnText>{{10, "000310040304"}, {18, "15.00"}}));

  cells = ApplyOptionChange(p, olAudioBitrate, 5, "7.95 kbps", "000310040904");
  EXPECT_EQ(cells, (std::vector<TColumnText>{{10, "000305040904"}, {19, "7950"}}));

  cells = ApplyOptionChange(p, olAspect, 3, "宽屏视频37:20模式", "000310040904");
  EXPECT_EQ(cells, (std::vector<TColumnText>{{10, "000310030904"}, {21, "37:20"}}));

  // A row whose code cannot be read keeps it; the field and its column still follow.
  cells = ApplyOptionChange(p, olResolution, 4, "320*240", "000-110040904");
  EXPECT_EQ(cells, (std::vector<TColumnText>{{16, "320*240"}}));
}

}  // namespace
