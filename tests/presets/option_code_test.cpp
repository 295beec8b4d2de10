#include "presets/option_code.h"

#include <gtest/gtest.h>

namespace {

// Builds indexes from the six values in code order (resolution, video bitrate, audio bitrate,
// aspect, frame rate, sample rate).
TOptionIndexes InCodeOrder(int r, int vb, int ab, int as, int fr, int sr) {
  TOptionIndexes i{};
  i[olResolution] = r;
  i[olVideoBitrate] = vb;
  i[olAudioBitrate] = ab;
  i[olAspect] = as;
  i[olFrameRate] = fr;
  i[olSampleRate] = sr;
  return i;
}

TEST(OptionCode, EncodesPairsInCodeOrder) {
  struct Case {
    TOptionIndexes Indexes;
    const char* Code;
  };
  const Case cases[] = {
      {InCodeOrder(0, 3, 10, 4, 9, 4), "000310040904"},
      {InCodeOrder(0, 12, 3, 1, 5, 0), "001203010500"},
      {InCodeOrder(27, 14, 16, 4, 11, 5), "271416041105"},
      {InCodeOrder(0, -1, 3, 1, 5, 0), "000-103010500"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeOptionCode(c.Indexes), c.Code);
}

TEST(OptionCode, DecodesOnlyTwelveDigits) {
  auto decoded = DecodeOptionCode("001203010500");
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, InCodeOrder(0, 12, 3, 1, 5, 0));

  for (const char* bad : {"000-103010500", "0-1203010500", "00120301050", "0012030105000", "",
                          "00120301050a", " 01203010500", "00 203010500"})
    EXPECT_FALSE(DecodeOptionCode(bad)) << bad;
}

TEST(OptionCode, RewritesOnePair) {
  struct Case {
    TOptionList List;
    int Index;
    const char* After;
  };
  // From "000310040904": the frame-rate pair is characters 9-10.
  const Case cases[] = {
      {olFrameRate, 10, "000310041004"},
      {olFrameRate, 3, "000310040304"},
      {olResolution, 25, "250310040904"},
      {olSampleRate, 0, "000310040900"},
      {olAspect, 2, "000310020904"},
      {olVideoBitrate, -1, "000-110040904"},
  };
  for (const auto& c : cases) {
    std::string code = "000310040904";
    EXPECT_TRUE(SetOptionCodePair(code, c.List, c.Index));
    EXPECT_EQ(code, c.After);
  }
  std::string unreadable = "000-110040904";
  EXPECT_FALSE(SetOptionCodePair(unreadable, olAspect, 1));
  EXPECT_EQ(unreadable, "000-110040904");
}

TEST(OptionCode, DefaultsAndFit) {
  // DVD: 704*480 (12), 1200 kbps (4), 128 kbps (10), keep aspect (0), 29.97 (10), 44100 (4).
  auto dvd = DefaultOptionIndexes(1, 11);
  ASSERT_TRUE(dvd);
  EXPECT_EQ(EncodeOptionCode(*dvd), "120410001004");
  EXPECT_TRUE(OptionIndexesFit(1, 11, *dvd));
  EXPECT_FALSE(DefaultOptionIndexes(4, 0));

  // AMR's resolution list has one entry; R1's last entry is 27.
  EXPECT_FALSE(OptionIndexesFit(0, 12, InCodeOrder(1, 0, 4, 0, 0, 0)));
  EXPECT_TRUE(OptionIndexesFit(1, 0, InCodeOrder(27, 0, 0, 0, 0, 0)));
  EXPECT_FALSE(OptionIndexesFit(1, 0, InCodeOrder(28, 0, 0, 0, 0, 0)));
  EXPECT_FALSE(OptionIndexesFit(1, 0, InCodeOrder(0, 0, 0, -1, 0, 0)));
  EXPECT_FALSE(OptionIndexesFit(9, 0, InCodeOrder(0, 0, 0, 0, 0, 0)));
}

}  // namespace
