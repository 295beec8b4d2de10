// Decoded pictures as 24-bit bitmaps, and the RGB conversion context there and back.
#include <cstring>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

#include "media_probe_fixtures.h"

using namespace fixtures;

namespace {

// Limited-range luma as the 0..255 grey the scaler makes of it.
int GreyOf(int luma) { return (luma - 16) * 255 / 219; }

struct OwnedPicture {
  OwnedPicture(AVPixelFormat fmt, int w, int h) {
    EXPECT_GE(av_image_alloc(pic.data, pic.linesize, w, h, fmt, 32), 0);
  }
  ~OwnedPicture() { av_freep(&pic.data[0]); }
  TPicture pic;
};

}  // namespace

TEST(ProbeBitmap, CopyToBitmapShowsTheDecodedFrame) {
  TempDir dir;
  TMediaProbe probe;
  LoadLibraries(probe);
  ASSERT_TRUE(probe.LoadFile(MakeCounterVideo(dir, "counter.mp4"))) << probe.LastErrMsg();

  TBitmap24 bitmap(5, 5);
  EXPECT_FALSE(probe.CopyToBitmap(bitmap));
  EXPECT_EQ(probe.LastErrMsg(), "picture not ready, please decode first");

  ASSERT_TRUE(probe.Seek(1000000, sfBackward));
  ASSERT_TRUE(probe.Decode());  // frame 20
  ASSERT_TRUE(probe.CopyToBitmap(bitmap));
  ASSERT_EQ(bitmap.Width(), 64);
  ASSERT_EQ(bitmap.Height(), 48);
  const int grey = GreyOf(CounterLuma(20));
  for (int y : {0, 23, 47})
    for (int x : {0, 31, 63})
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(bitmap.Row(y)[x * 3 + c], grey, 3) << x << "," << y;

  probe.CloseFile();
  EXPECT_FALSE(probe.CopyToBitmap(bitmap));
}

TEST(RGBConvert, PictureToBitmapAndBack) {
  // Widths whose RGB rows are not a multiple of the scaler's blocks: 34 once lost its right
  // edge, 36 once had the scaler write past the end of the RGB buffer.
  for (int w : {34, 36, 64}) {
    SCOPED_TRACE(w);
    const int h = 20;
    OwnedPicture yuv(AV_PIX_FMT_YUV420P, w, h);
    std::memset(yuv.pic.data[0], 180, static_cast<size_t>(yuv.pic.linesize[0]) * h);
    std::memset(yuv.pic.data[1], 128, static_cast<size_t>(yuv.pic.linesize[1]) * h / 2);
    std::memset(yuv.pic.data[2], 128, static_cast<size_t>(yuv.pic.linesize[2]) * h / 2);

    TRGBConvertContext ctx;
    ASSERT_TRUE(ctx.PictureToBitmap(yuv.pic, AV_PIX_FMT_YUV420P, w, h));
    TBitmap24& bmp = *ctx.Bitmap;
    EXPECT_EQ(bmp.Width(), w);
    EXPECT_EQ(bmp.Stride(), (w * 3 + 3) / 4 * 4);
    for (int y : {0, h - 1})
      for (int x : {0, w - 2, w - 1})
        EXPECT_NEAR(bmp.Row(y)[x * 3 + 1], GreyOf(180), 2) << x << "," << y;

    // Draw black over the top half and convert back into the picture.
    for (int y = 0; y < h / 2; ++y)
      std::memset(bmp.Row(y), 0, static_cast<size_t>(w) * 3);
    ASSERT_TRUE(ctx.BitmapToPicture(yuv.pic, AV_PIX_FMT_YUV420P, w, h));
    EXPECT_NEAR(yuv.pic.data[0][2 * yuv.pic.linesize[0] + w - 1], 16, 3);
    EXPECT_NEAR(yuv.pic.data[0][(h - 3) * yuv.pic.linesize[0] + w - 1], 180, 3);

    // A bitmap of another size is not written back.
    EXPECT_FALSE(ctx.BitmapToPicture(yuv.pic, AV_PIX_FMT_YUV420P, w + 2, h));
    ctx.Reset();
    EXPECT_EQ(ctx.Bitmap, nullptr);
    EXPECT_EQ(ctx.RGBBuf, nullptr);
  }
}

TEST(RGBConvert, BitmapLayoutIsCopiedDirectly) {
  const int w = 8, h = 4;  // 24 bytes a row: the bitmap's own row length
  OwnedPicture bgr(AV_PIX_FMT_BGR24, w, h);
  ASSERT_EQ(bgr.pic.linesize[0] % 4, 0);
  TRGBConvertContext ctx;
  bgr.pic.data[0][0] = 10;
  bgr.pic.data[0][1] = 20;
  bgr.pic.data[0][2] = 30;
  TPicture exact = bgr.pic;
  exact.linesize[0] = w * 3;
  ASSERT_TRUE(ctx.PictureToBitmap(exact, AV_PIX_FMT_BGR24, w, h));
  EXPECT_EQ(ctx.RGBPictureRef.data[0], bgr.pic.data[0]);
  EXPECT_EQ(ctx.Bitmap->Row(0)[0], 10);
  EXPECT_EQ(ctx.Bitmap->Row(0)[2], 30);
  EXPECT_EQ(ctx.RGBBuf, nullptr);

  // A picture whose rows are longer than the bitmap's goes through the scaler instead.
  TPicture padded = bgr.pic;
  padded.linesize[0] = 32;
  ASSERT_TRUE(ctx.PictureToBitmap(padded, AV_PIX_FMT_BGR24, w, h));
  EXPECT_NE(ctx.RGBBuf, nullptr);
  EXPECT_EQ(ctx.RGBPictureRef.data[0], ctx.RGBBuf);
}

TEST(RGBConvert, UnusablePicturesFailWithABlackBitmap) {
  TRGBConvertContext ctx;
  TPicture none;
  EXPECT_FALSE(ctx.PictureToBitmap(none, AV_PIX_FMT_YUV420P, 16, 16));
  EXPECT_EQ(ctx.Bitmap->Width(), 16);
  OwnedPicture yuv(AV_PIX_FMT_YUV420P, 16, 16);
  EXPECT_FALSE(ctx.PictureToBitmap(yuv.pic, AV_PIX_FMT_YUV420P, 0, 16));
  EXPECT_FALSE(ctx.PictureToBitmap(yuv.pic, AV_PIX_FMT_NONE, 16, 16));
  EXPECT_FALSE(ctx.PictureToBitmap(yuv.pic, AV_PIX_FMT_YUV420P, 100000, 100000));
  EXPECT_TRUE(ctx.Bitmap->Empty());
}
