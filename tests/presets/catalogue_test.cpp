#include "presets/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Items(TItemList AList) {
  std::vector<std::string> out;
  for (const char* item : ItemListItems(AList)) out.push_back(item);
  return out;
}

TEST(Catalogue, CategoriesInOrderWithImages) {
  struct Case {
    const char* Text;
    int Image;
    size_t Formats;
  };
  const Case cases[] = {
      {"常用音频", 1, 13}, {"常用视频", 0, 15}, {"MP4视频", 10, 5}, {"iPod视频", 3, 14}};
  ASSERT_EQ(Categories().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(Categories()[i].DisplayText, cases[i].Text);
    EXPECT_EQ(Categories()[i].ImageIndex, cases[i].Image);
    EXPECT_EQ(FormatsOf(static_cast<int>(i)).size(), cases[i].Formats);
  }
  EXPECT_TRUE(IsAudioCategory(0));
  EXPECT_FALSE(IsAudioCategory(1));
}

TEST(Catalogue, DisplayTextsOfSampleFormats) {
  struct Case {
    int Category, Format;
    const char* Text;
  };
  const Case cases[] = {
      {0, 0, "MP3 - MPEG Layer-3音频格式(*.mp3)"},
      {0, 6, "RA - RealAudio音频格式(*.ra)"},
      {0, 10, "FLAC-音频格式(*.flac)"},
      {0, 12, "AMR-手机音频格式(*.amr)"},
      {1, 0, "AVI - 音频视频交错格式(*.avi)"},
      {1, 3, "MOV - 苹果QuickTime视频格式(*.mov)"},
      {1, 11, "DVD - 视频格式(*.mpg)"},
      {1, 14, "RM - REAL视频格式(*.rm)"},
      {2, 0, "MP4机播放的MP4视频格式(*.mp4)"},
      {2, 4, "MP4 H264编码视频(*.mp4)"},
      {3, 0, "iPod (320X240) 高清晰视频(*.mp4)"},
      {3, 11, "iPod touch MPEG-4 480P宽屏视频(*.mp4)"},
      {3, 13, "iPod touch MPEG-4 (480X320)视频(*.mp4)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const TFormat* format = FindFormat(c.Category, c.Format);
    ASSERT_NE(format, nullptr);
    EXPECT_STREQ(format->DisplayText, c.Text);
  }
}

TEST(Catalogue, LookupsOutsideTheCatalogueFindNothing) {
  EXPECT_TRUE(FormatsOf(-1).empty());
  EXPECT_TRUE(FormatsOf(4).empty());
  EXPECT_EQ(FindFormat(0, 13), nullptr);
  EXPECT_EQ(FindFormat(2, -1), nullptr);
  EXPECT_EQ(FindFormat(7, 0), nullptr);
  EXPECT_EQ(FormatExtension(3, 14), "");
}

TEST(Catalogue, FormatImagesAlternate) {
  EXPECT_EQ(FormatImageIndex(0), 0);
  EXPECT_EQ(FormatImageIndex(1), 1);
  EXPECT_EQ(FormatImageIndex(12), 0);
  EXPECT_EQ(FormatImageIndex(13), 1);
}

TEST(Catalogue, ExtensionRule) {
  struct Case {
    const char* Text;
    const char* Ext;
  };
  const Case cases[] = {
      {"RA - RealAudio音频格式(*.ra)", ".ra"},
      {"RM - REAL视频格式(*.rm)", ".rm"},
      {"FLAC-音频格式(*.flac)", ".flac"},
      {"AIFF - 音频交换文件格式(*.aiff)", ".aiff"},
      {"MP3 - MPEG Layer-3音频格式(*.mp3)", ".mp3"},
      {"3GP - 视频格式(*.3gp)", ".3gp"},
      // Characters, not bytes: the four before the last one.
      {"格式(*.视频)", "*.视频"},
      {"(*.x)", "(*.x"},
      {"a.mp)", "a.mp"},
      {"mp3)", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ExtensionFromDisplayText(c.Text), c.Ext);
  }
}

TEST(Catalogue, ExtensionOfEveryFormat) {
  const std::vector<std::vector<std::string>> expected = {
      {".mp3", ".wma", ".wav", ".aac", ".m4a", ".ogg", ".ra", ".ac3", ".aiff", ".mp2", ".flac",
       ".m4a", ".amr"},
      {".avi", ".mp4", ".avi", ".mov", ".avi", ".mkv", ".mpg", ".mpg", ".asf", ".3gp", ".wmv",
       ".mpg", ".mpg", ".mpg", ".rm"},
      {".mp4", ".mp4", ".mp4", ".mp4", ".mp4"},
      std::vector<std::string>(14, ".mp4"),
  };
  for (int c = 0; c < kCategoryCount; ++c)
    for (int f = 0; f < static_cast<int>(expected[c].size()); ++f)
      EXPECT_EQ(FormatExtension(c, f), expected[c][f]) << "format " << FormatCode(c, f);
}

TEST(Catalogue, FormatCodes) {
  EXPECT_EQ(FormatCode(1, 3), 203);
  auto ref = DecodeFormatCode(203);
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref->Category, 1);
  EXPECT_EQ(ref->Format, 3);
  ASSERT_TRUE(DecodeFormatCode("413"));
  EXPECT_EQ(DecodeFormatCode("413")->Category, 3);
  EXPECT_EQ(DecodeFormatCode("413")->Format, 13);

  // Every format's code decodes back to it.
  for (int c = 0; c < kCategoryCount; ++c)
    for (int f = 0; f < static_cast<int>(FormatsOf(c).size()); ++f) {
      auto back = DecodeFormatCode(std::to_string(FormatCode(c, f)));
      ASSERT_TRUE(back) << FormatCode(c, f);
      EXPECT_EQ(back->Category, c);
      EXPECT_EQ(back->Format, f);
    }

  // Codes naming no format and texts that are no number.
  for (const char* bad : {"113", "215", "305", "414", "99", "500", "0", "-100", "", "20 3", "203x",
                          " 203", "+203", "abc", "99999999999"})
    EXPECT_FALSE(DecodeFormatCode(std::string_view(bad))) << bad;
}

TEST(OptionLists, LabelsAndColumns) {
  struct Case {
    TOptionList List;
    const char* Label;
    const char* Control;
    int Column;
  };
  const Case cases[] = {
      {olResolution, "视频分辨率：", "bsSkinComboBox1", 16},
      {olVideoBitrate, "视频比特率：", "bsSkinComboBox2", 17},
      {olFrameRate, "视频帧率：", "bsSkinComboBox9", 18},
      {olAudioBitrate, "音频比特率：", "bsSkinComboBox3", 19},
      {olSampleRate, "音频采样率：", "bsSkinComboBox10", 20},
      {olAspect, "视频缩放：", "bsSkinComboBox4", 21},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(OptionListInfo(c.List).Label, c.Label);
    EXPECT_STREQ(OptionListInfo(c.List).ControlName, c.Control);
    EXPECT_EQ(OptionListInfo(c.List).Column, c.Column);
  }
}

TEST(OptionLists, EveryItemText) {
  struct Case {
    TItemList List;
    const char* Name;
    std::vector<std::string> Items;
  };
  const Case cases[] = {
      {ilR0, "R0", {"该格式无视频"}},
      {ilR1, "R1", {"保持原分辨率", "128*96", "176*144", "240*176", "320*240", "352*240",
                    "352*288", "384*288", "480*480", "480*576", "640*368", "640*480", "704*480",
                    "704*576", "720*480", "720*576", "800*600", "852*480", "1024*768",
                    "1280*720", "1280*1024", "1600*1024", "1600*1200", "1920*1080", "1920*1200",
                    "1920*1200", "2048*1536", "2560*1600"}},
      {ilR2, "R2", {"112*96", "128*96", "160*112", "160*120", "176*144", "192*144", "208*176",
                    "220*176", "320*208", "320*224", "320*240"}},
      {ilR3, "R3", {"保持原分辨率", "128*96", "176*144", "240*176", "320*240", "352*240",
                    "352*288", "384*288", "480*480", "480*576", "640*368", "640*480", "704*480",
                    "704*576", "720*480", "720*576", "800*600", "852*480", "1024*768"}},
      {ilR4, "R4", {"128*96", "176*144", "160*120", "320*240", "352*288", "368*208", "640*480"}},
      {ilR5, "R5", {"128*96", "176*144", "160*120", "320*240", "352*288", "368*208", "480*320",
                    "480*368", "512*384", "640*272", "640*353", "640*480"}},
      {ilVB0, "VB0", {"无视频"}},
      {ilVB1, "VB1", {"128 kbps", "288 kbps", "528 kbps", "816 kbps", "1200 kbps", "1600 kbps",
                      "1800 kbps", "2000 kbps"}},
      {ilVB2, "VB2", {"128 kbps", "288 kbps", "528 kbps", "768 kbps", "816 kbps", "1200 kbps",
                      "1600 kbps", "1800 kbps", "2000 kbps"}},
      {ilVB3, "VB3", {"128 kbps", "288 kbps", "528 kbps", "816 kbps", "1000 kbps", "1200 kbps",
                      "1600 kbps", "1800 kbps", "2000 kbps"}},
      {ilVB4, "VB4", {"8 kbps", "16 kbps", "24 kbps", "32 kbps", "48 kbps", "56 kbps", "64 kbps",
                      "80 kbps", "96 kbps", "128 kbps", "160 kbps", "192 kbps", "256 kbps",
                      "320 kbps", "384 kbps"}},
      {ilVB5, "VB5", {"128 kbps", "288 kbps", "528 kbps", "600 kbps", "816 kbps", "1200 kbps",
                      "1600 kbps", "1800 kbps", "2000 kbps"}},
      {ilVB6, "VB6", {"192 kbps", "384 kbps", "600 kbps", "768 kbps", "1000 kbps", "1200 kbps",
                      "1500 kbps", "1800 kbps", "2000 kbps"}},
      {ilFR0, "FR0", {"无视频"}},
      {ilFR1, "FR1", {"保持原帧速率", "10.00", "13.00", "15.00", "18.00", "20.00", "23.00",
                      "23.97", "24.00", "25.00", "29.97", "30.00"}},
      {ilFR2, "FR2", {"1", "2", "3", "5", "10", "12", "15"}},
      {ilFR3, "FR3", {"保持原帧速率", "10.00", "12.00", "15.00", "20.00", "23.98", "24.00",
                      "25.00", "29.97", "30.00"}},
      {ilAB0, "AB0", {"16 kbps", "24 kbps", "32 kbps", "40 kbps", "48 kbps", "56 kbps",
                      "64 kbps", "80 kbps", "96 kbps", "112 kbps", "128 kbps", "144 kbps",
                      "160 kbps", "192 kbps", "224 kbps", "256 kbps", "320 kbps"}},
      {ilAB1, "AB1", {"4.75 kbps", "5.15 kbps", "5.9 kbps", "6.7 kbps", "7.4 kbps", "7.95 kbps",
                      "10.2 kbps", "12.2 kbps"}},
      {ilAB2, "AB2", {"5 kbps", "6 kbps", "7 kbps", "8 kbps", "10 kbps", "12 kbps"}},
      {ilAB3, "AB3", {"64 kbps", "96 kbps", "128 kbps", "160 kbps", "192 kbps"}},
      {ilSR0, "SR0", {"11025", "16000", "22050", "32000", "44100", "48000"}},
      {ilSR1, "SR1", {"8000"}},
      {ilSR2, "SR2", {"22050", "32000", "44100", "48000"}},
      {ilAS0, "AS0", {"无视频"}},
      {ilAS1, "AS1", {"保持原视频模式", "普通视频4:3模式", "宽屏视频16:9模式",
                      "宽屏视频37:20模式", "宽屏视频47:20模式"}},
      {ilAS2, "AS2", {"保持原视频模式", "普通视频4:3模式"}},
  };
  ASSERT_EQ(std::size(cases), static_cast<size_t>(kItemListCount));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_STREQ(ItemListName(c.List), c.Name);
    EXPECT_EQ(Items(c.List), c.Items);
  }
}

// The lists and default entries a format's option lists get, as texts.
struct DefaultsCase {
  int Code;
  const char* Lists[6];     // in fill order
  const char* Defaults[6];  // in fill order
};

TEST(OptionLists, DefaultsOfRepresentativeFormats) {
  const DefaultsCase cases[] = {
      {100, {"R0", "VB0", "FR0", "AB0", "SR0", "AS0"},
       {"该格式无视频", "无视频", "无视频", "128 kbps", "44100", "无视频"}},
      {102, {"R0", "VB0", "FR0", "AB0", "SR0", "AS0"},
       {"该格式无视频", "无视频", "无视频", "192 kbps", "48000", "无视频"}},
      {112, {"R0", "VB0", "FR0", "AB1", "SR1", "AS0"},
       {"该格式无视频", "无视频", "无视频", "7.4 kbps", "8000", "无视频"}},
      {201, {"R1", "VB2", "FR1", "AB0", "SR0", "AS1"},
       {"保持原分辨率", "768 kbps", "25.00", "128 kbps", "44100", "保持原视频模式"}},
      {204, {"R1", "VB3", "FR1", "AB0", "SR0", "AS1"},
       {"保持原分辨率", "1000 kbps", "保持原帧速率", "128 kbps", "44100", "保持原视频模式"}},
      {209, {"R2", "VB4", "FR2", "AB2", "SR1", "AS2"},
       {"176*144", "128 kbps", "12", "12 kbps", "8000", "保持原视频模式"}},
      {211, {"R1", "VB1", "FR1", "AB0", "SR0", "AS1"},
       {"704*480", "1200 kbps", "29.97", "128 kbps", "44100", "保持原视频模式"}},
      {212, {"R1", "VB1", "FR1", "AB0", "SR0", "AS1"},
       {"480*480", "528 kbps", "25.00", "128 kbps", "44100", "保持原视频模式"}},
      {300, {"R3", "VB1", "FR1", "AB0", "SR0", "AS1"},
       {"320*240", "816 kbps", "25.00", "128 kbps", "44100", "保持原视频模式"}},
      {400, {"R4", "VB6", "FR3", "AB3", "SR2", "AS1"},
       {"320*240", "1000 kbps", "25.00", "128 kbps", "48000", "保持原视频模式"}},
      {408, {"R5", "VB6", "FR3", "AB3", "SR2", "AS1"},
       {"640*480", "768 kbps", "25.00", "128 kbps", "48000", "保持原视频模式"}},
      {411, {"R5", "VB6", "FR3", "AB3", "SR2", "AS1"},
       {"640*272", "768 kbps", "25.00", "128 kbps", "48000", "宽屏视频16:9模式"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Code);
    auto ref = DecodeFormatCode(c.Code);
    ASSERT_TRUE(ref);
    const TFormat* format = FindFormat(ref->Category, ref->Format);
    for (int i = 0; i < 6; ++i) {
      TOptionList list = kOptionFillOrder[i];
      const TListChoice& choice = format->Options[list];
      EXPECT_STREQ(ItemListName(choice.List), c.Lists[i]) << "list " << i;
      auto items = ItemListItems(choice.List);
      ASSERT_LT(static_cast<size_t>(choice.DefaultIndex), items.size());
      EXPECT_STREQ(items[choice.DefaultIndex], c.Defaults[i]) << "list " << i;
    }
  }
}

TEST(OptionLists, EveryDefaultLiesInsideItsList) {
  for (int c = 0; c < kCategoryCount; ++c)
    for (int f = 0; f < static_cast<int>(FormatsOf(c).size()); ++f)
      for (const TListChoice& choice : FindFormat(c, f)->Options) {
        EXPECT_GE(choice.DefaultIndex, 0) << FormatCode(c, f);
        EXPECT_LT(choice.DefaultIndex, static_cast<int>(ItemListItems(choice.List).size()))
            << FormatCode(c, f) << " list " << ItemListName(choice.List);
      }
}

TEST(OptionLists, AudioFormatsShowOnlyTheNoVideoEntries) {
  // The four lists the window disables for audio formats hold one "no video" entry each.
  for (const TFormat& format : FormatsOf(kAudioCategory))
    for (TOptionList list : kAudioDisableOrder) {
      auto items = ItemListItems(format.Options[list].List);
      ASSERT_EQ(items.size(), 1u) << format.DisplayText;
      EXPECT_TRUE(std::string(items[0]) == "无视频" || std::string(items[0]) == "该格式无视频");
    }
  // Video formats never show those entries.
  for (int c = 1; c < kCategoryCount; ++c)
    for (const TFormat& format : FormatsOf(c))
      for (TOptionList list : kAudioDisableOrder)
        EXPECT_GT(ItemListItems(format.Options[list].List).size(), 1u) << format.DisplayText;
}

TEST(OptionLists, WalkOrders) {
  using A6 = std::array<TOptionList, 6>;
  EXPECT_EQ(kOptionClearOrder,
            (A6{olResolution, olVideoBitrate, olAudioBitrate, olAspect, olFrameRate, olSampleRate}));
  EXPECT_EQ(kOptionFillOrder,
            (A6{olResolution, olVideoBitrate, olFrameRate, olAudioBitrate, olSampleRate, olAspect}));
  EXPECT_EQ(kAudioDisableOrder,
            (std::array<TOptionList, 4>{olResolution, olVideoBitrate, olAspect, olFrameRate}));
}

}  // namespace
