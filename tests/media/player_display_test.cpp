// The display: the aspect rectangle, the spectrum size, subtitle colours and blending, the
// waveform, and the display area following the aspect setting, the widget size and the
// size the file-open handler gives.
#include <cmath>
#include <cstring>

#include "media/player_core.h"
#include "player_fixtures.h"

namespace {

using namespace player_fixtures;

// ---- aspect rectangle ----

struct TRectCase {
  const char* name;
  int disp_w, disp_h, pic_w, pic_h;
  AVRational sar;
  float aspect;
  TRenderRect expected;
};

class DisplayRectTest : public ::testing::TestWithParam<TRectCase> {};

TEST_P(DisplayRectTest, FitsThePictureIntoTheArea) {
  const TRectCase& c = GetParam();
  TRenderRect r = CalculateDisplayRect(c.disp_w, c.disp_h, 0, 0, c.pic_w, c.pic_h, c.sar, c.aspect);
  EXPECT_EQ(r.x, c.expected.x);
  EXPECT_EQ(r.y, c.expected.y);
  EXPECT_EQ(r.w, c.expected.w);
  EXPECT_EQ(r.h, c.expected.h);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayRectTest,
    ::testing::Values(
        TRectCase{"own_aspect_pillarbox", 800, 480, 640, 480, {1, 1}, 0, {80, 0, 640, 480}},
        TRectCase{"fill", 800, 480, 640, 480, {1, 1}, -1, {0, 0, 800, 480}},
        TRectCase{"forced_wide_letterbox", 800, 480, 640, 480, {1, 1}, 2.35f, {0, 70, 800, 340}},
        TRectCase{"pixel_aspect", 800, 480, 360, 480, {2, 1}, 0, {40, 0, 720, 480}},
        TRectCase{"unknown_pixel_aspect_is_square", 800, 480, 640, 480, {0, 1}, 0, {80, 0, 640, 480}},
        TRectCase{"odd_width_rounded_down_even", 201, 124, 640, 480, {1, 1}, 0, {18, 0, 164, 124}},
        TRectCase{"no_picture", 800, 480, 0, 0, {1, 1}, 0, {0, 0, 0, 0}},
        TRectCase{"no_area", 0, 0, 640, 480, {1, 1}, 0, {0, 0, 0, 0}}),
    [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST(DisplayRectTest, HonoursTheAreasOffset) {
  TRenderRect r = CalculateDisplayRect(800, 480, 10, 20, 640, 480, {1, 1}, 0);
  EXPECT_EQ(r, (TRenderRect{90, 20, 640, 480}));
}

TEST(SpectrumTest, UsesTheSmallestTransformCoveringTwiceTheHeight) {
  EXPECT_EQ(SpectrumBits(600), 11);  // 1024 bins
  EXPECT_EQ(SpectrumBits(512), 10);
  EXPECT_EQ(SpectrumBits(513), 11);
  EXPECT_EQ(SpectrumBits(1), 1);
}

// ---- subtitles ----

TEST(SubtitleTest, PaletteBecomesStudioRangeYCbCrWithAlphaKept) {
  uint32_t palette[] = {0xFFFFFFFF, 0x80000000, 0xFFFF0000, 0x00000000};
  PaletteToYCbCr(palette, 4);
  EXPECT_EQ(palette[0], 0xFFEB8080u);  // white: Y 235
  EXPECT_EQ(palette[1], 0x80108080u);  // black: Y 16, alpha kept
  EXPECT_EQ(palette[2], 0xFF515AF0u);  // red: Y 81, Cb 90, Cr 240
  EXPECT_EQ(palette[3], 0x00108080u);
}

// A grey 8 x 8 planar 4:2:0 picture.
struct TSmallPicture {
  uint8_t y[64], u[16], v[16];
  TPicture planes;
  TSmallPicture() {
    std::memset(y, 16, sizeof y);
    std::memset(u, 128, sizeof u);
    std::memset(v, 128, sizeof v);
    planes.data[0] = y;
    planes.data[1] = u;
    planes.data[2] = v;
    planes.linesize[0] = 8;
    planes.linesize[1] = planes.linesize[2] = 4;
  }
};

// A one-colour rectangle whose palette entry is already (A, Y, Cb, Cr).
struct TSubRect {
  std::vector<uint8_t> indexes;
  uint32_t palette[1];
  AVSubtitleRect rect{};
  TSubRect(int x, int y, int w, int h, uint32_t entry) : indexes(static_cast<size_t>(w) * h, 0) {
    palette[0] = entry;
    rect.x = x;
    rect.y = y;
    rect.w = w;
    rect.h = h;
    rect.nb_colors = 1;
    rect.data[0] = indexes.data();
    rect.data[1] = reinterpret_cast<uint8_t*>(palette);
    rect.linesize[0] = w;
  }
};

TEST(SubtitleTest, OpaqueRectangleReplacesLumaAndItsChromaBlocks) {
  TSmallPicture pic;
  TSubRect sub(1, 1, 3, 3, 0xFFEB64C8);  // Y 235, Cb 100, Cr 200
  BlendSubRect(pic.planes, 8, 8, sub.rect);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(pic.y[y * 8 + x], (x >= 1 && x <= 3 && y >= 1 && y <= 3) ? 235 : 16) << x << "," << y;
  // Blocks touched by the rectangle take its colour (one covered pixel is enough when opaque).
  EXPECT_EQ(pic.u[0], 100);  // block 0,0: only pixel 1,1 covered
  EXPECT_EQ(pic.v[0], 200);
  EXPECT_EQ(pic.u[1 * 4 + 1], 100);  // block 1,1: fully covered
  EXPECT_EQ(pic.u[2], 128);           // block 2,0: untouched
  EXPECT_EQ(pic.u[2 * 4 + 0], 128);
}

TEST(SubtitleTest, HalfTransparentRectangleMixesAndClipsToThePicture) {
  TSmallPicture pic;
  TSubRect sub(-2, 6, 4, 4, 0x80EB8080);  // half transparent white, partly outside
  BlendSubRect(pic.planes, 8, 8, sub.rect);
  EXPECT_EQ(pic.y[6 * 8 + 0], 126);  // (16 * 127 + 235 * 128) / 255, rounded
  EXPECT_EQ(pic.y[7 * 8 + 1], 126);
  EXPECT_EQ(pic.y[6 * 8 + 2], 16);
  EXPECT_EQ(pic.y[5 * 8 + 0], 16);
  EXPECT_EQ(pic.u[3 * 4 + 0], 128);  // grey stays grey
}

TEST(SubtitleTest, RectangleOutsideThePictureChangesNothing) {
  TSmallPicture pic;
  TSubRect sub(20, 20, 4, 4, 0xFFEB64C8);
  BlendSubRect(pic.planes, 8, 8, sub.rect);
  for (uint8_t v : pic.y)
    ASSERT_EQ(v, 16);
}

// ---- waveform ----

int WhiteRows(const TBitmap24& ABitmap, int AColumn, std::vector<int>& ARows) {
  ARows.clear();
  for (int y = 0; y < ABitmap.Height(); ++y)
    if (ABitmap.Row(y)[AColumn * 3] == 255)
      ARows.push_back(y);
  return static_cast<int>(ARows.size());
}

TEST(WaveformTest, DrawsBarsFromEachChannelsMiddleLineAndSeparators) {
  static int16_t samples[SAMPLE_ARRAY_SIZE];
  for (int i = 0; i < 64; i += 2) {
    samples[i] = 16384;       // left: half scale, bars below the middle line
    samples[i + 1] = -16384;  // right: bars above it
  }
  TBitmap24 surface(10, 20);
  DrawWaveform(surface, 0, 0, 10, 20, samples, 0, 2);
  // Each channel is 10 rows high: scale 10 * 9 / 20 = 4, bar (16384 * 4) >> 15 = 2 rows.
  std::vector<int> rows;
  for (int x = 0; x < 10; ++x) {
    WhiteRows(surface, x, rows);
    EXPECT_EQ(rows, (std::vector<int>{5, 6, 10, 13, 14})) << "column " << x;
  }
}

TEST(WaveformTest, OneChannelHasNoSeparatorAndWrapsAroundTheRing) {
  static int16_t samples[SAMPLE_ARRAY_SIZE];
  samples[SAMPLE_ARRAY_SIZE - 1] = 32767;
  samples[0] = -32768;
  TBitmap24 surface(2, 20);
  DrawWaveform(surface, 0, 0, 2, 20, samples, SAMPLE_ARRAY_SIZE - 1, 1);
  std::vector<int> rows;
  WhiteRows(surface, 0, rows);  // scale 9: bar 8 rows down from row 10
  EXPECT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows.front(), 10);
  WhiteRows(surface, 1, rows);  // 9 rows up to row 10
  EXPECT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows.back(), 9);
}

TEST(WaveformTest, TriggerStartsAtARisingZeroCrossingBeforeTheStart) {
  static int16_t samples[SAMPLE_ARRAY_SIZE];
  for (int i = 0; i < SAMPLE_ARRAY_SIZE; ++i)
    samples[i] = static_cast<int16_t>(10000 * std::sin(i * 2 * M_PI / 100));  // mono, period 100
  const int start = 5000;
  int at = WaveTriggerStart(samples, start, 1);
  EXPECT_LE(start - at, 1000);
  EXPECT_GE(start - at, 0);
  EXPECT_NE((samples[at + 4] < 0), (samples[at + 5] < 0));
}

// ---- the area while playing ----

class DisplayTest : public PlayerTest {};

TEST_F(DisplayTest, AspectSettingRedrawsAndResizingReopensTheArea) {
  TMemoryRenderTarget wide(400, 240);
  std::string clip = MakeQuadrants(dir_);
  ASSERT_TRUE(player_.Open(clip, &wide, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return player_.PlayState() == psPause && wide.PictureCount() >= 2; }));
  EXPECT_EQ(wide.LastRect(), (TRenderRect{40, 0, 320, 240}));
  EXPECT_EQ(wide.ScreenPixel(10, 100).r, 0);  // black beside the picture

  player_.SetAspectRatio(-1);
  ASSERT_TRUE(Until([&] { return wide.LastRect() == TRenderRect{0, 0, 400, 240}; }));
  player_.SetAspectRatio(0);
  player_.ScreenResized(200, 100);
  ASSERT_TRUE(Until([&] { return wide.DisplayWidth() == 200 && wide.LastRect().w == 132; }));
  EXPECT_EQ(wide.LastRect(), (TRenderRect{34, 0, 132, 100}));
  EXPECT_EQ(player_.ScreenWidth(), 200);
  EXPECT_EQ(player_.ScreenHeight(), 100);
  const int pictures = wide.PictureCount();
  player_.ScreenExposed();
  ASSERT_TRUE(Until([&] { return wide.PictureCount() > pictures; }));
}

TEST_F(DisplayTest, TheFileOpenHandlerChoosesTheAreaSize) {
  std::string clip = MakeQuadrants(dir_);
  player_.SetOnFileOpen([](TCustomPlayer*, int64_t, int, int, int& AWidth, int& AHeight) {
    AWidth = 128;
    AHeight = 96;
  });
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  ASSERT_TRUE(Until([&] { return target_.PictureCount() >= 1; }));
  EXPECT_EQ(target_.DisplayWidth(), 128);
  EXPECT_EQ(target_.DisplayHeight(), 96);
  EXPECT_EQ(target_.LastRect(), (TRenderRect{0, 0, 128, 96}));
}

TEST_F(DisplayTest, WithoutATargetThePlayerDrawsIntoItsOwnArea) {
  std::string clip = MakeQuadrants(dir_);
  ASSERT_TRUE(player_.Open(clip, nullptr, true)) << player_.LastErrMsg();
  EXPECT_EQ(player_.ScreenHandle(), nullptr);
  // No size from anywhere: the area takes the picture's size.
  ASSERT_TRUE(Until([&] { return player_.PlayState() == psPause; }));
  EXPECT_EQ(player_.CurrentFrame().Width(), 64);
}

TEST_F(DisplayTest, UpdateScreenPositionReachesTheTargetOnlyWithThatDriver) {
  std::string clip = MakeQuadrants(dir_);
  ASSERT_TRUE(player_.Open(clip, &target_, true)) << player_.LastErrMsg();
  player_.UpdateScreenPosition();
  EXPECT_EQ(target_.PositionCount(), 0);
  player_.SetVideoDriver(vdDirectDraw);
  player_.UpdateScreenPosition();
  EXPECT_EQ(target_.PositionCount(), 1);
}

}  // namespace
