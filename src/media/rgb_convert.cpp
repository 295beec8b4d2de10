#include "media/rgb_convert.h"

#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

TRGBConvertContext::~TRGBConvertContext() { Reset(); }

void TRGBConvertContext::Reset() {
  Bitmap.reset();
  av_freep(&RGBBuf);
  RGBBufSize = 0;
  RGBPicture = TPicture{};
  RGBPictureRef = TPicture{};
  sws_freeContext(toRGB_convert_ctx);
  toRGB_convert_ctx = nullptr;
  sws_freeContext(fromRGB_convert_ctx);
  fromRGB_convert_ctx = nullptr;
  RGBPixFmt = AV_PIX_FMT_BGR24;
  BMPPixFmt = 24;
}

TBitmap24& TRGBConvertContext::EnsureBitmap() {
  if (!Bitmap)
    Bitmap = std::make_unique<TBitmap24>();
  return *Bitmap;
}

namespace {
// The scaler's fast paths write whole blocks of pixels: they leave the right edge of rows that
// are not 32-byte aligned unconverted, and they write past the end of the last row. So RGB rows
// start aligned and the buffer ends with a spare row and padding.
constexpr int kRowAlign = 32;
constexpr int kScalerPadding = 64;
}  // namespace

bool TRGBConvertContext::LayRGBPicture(int AWidth, int AHeight) {
  int size = av_image_get_buffer_size(RGBPixFmt, AWidth, AHeight, kRowAlign);
  if (size < 0)
    return false;
  size += size / AHeight + kScalerPadding;
  if (size > RGBBufSize) {
    av_freep(&RGBBuf);
    RGBBufSize = 0;
    RGBBuf = static_cast<uint8_t*>(av_mallocz(static_cast<size_t>(size)));
    if (!RGBBuf)
      return false;
    RGBBufSize = size;
  }
  return av_image_fill_arrays(RGBPicture.data, RGBPicture.linesize, RGBBuf, RGBPixFmt, AWidth,
                              AHeight, kRowAlign) >= 0;
}

namespace {
bool UsableSize(int w, int h) { return w > 0 && h > 0 && av_image_check_size(w, h, 0, nullptr) >= 0; }
}  // namespace

bool TRGBConvertContext::PictureToBitmap(const TPicture& APicture, AVPixelFormat APixFmt,
                                         int AWidth, int AHeight) {
  TBitmap24& bmp = EnsureBitmap();
  if (!UsableSize(AWidth, AHeight)) {
    bmp.SetSize(0, 0);
    return false;
  }
  bmp.SetSize(AWidth, AHeight);
  if (APixFmt <= AV_PIX_FMT_NONE || APixFmt >= AV_PIX_FMT_NB || !APicture.data[0])
    return false;
  const int row = AWidth * 3;
  if (APixFmt == RGBPixFmt && AWidth % 2 == 0 && AHeight % 2 == 0 &&
      APicture.linesize[0] == bmp.Stride()) {
    RGBPictureRef = APicture;
  } else {
    if (!LayRGBPicture(AWidth, AHeight))
      return false;
    toRGB_convert_ctx = sws_getCachedContext(toRGB_convert_ctx, AWidth, AHeight, APixFmt, AWidth,
                                             AHeight, RGBPixFmt, SWS_BICUBIC, nullptr, nullptr,
                                             nullptr);
    if (!toRGB_convert_ctx)
      return false;
    if (sws_scale(toRGB_convert_ctx, APicture.data, APicture.linesize, 0, AHeight,
                  RGBPicture.data, RGBPicture.linesize) <= 0)
      return false;
    RGBPictureRef = RGBPicture;
  }
  for (int y = 0; y < AHeight; ++y)
    std::memcpy(bmp.Row(y), RGBPictureRef.data[0] + static_cast<ptrdiff_t>(y) * RGBPictureRef.linesize[0],
                static_cast<size_t>(row));
  return true;
}

bool TRGBConvertContext::BitmapToPicture(const TPicture& APicture, AVPixelFormat APixFmt,
                                         int AWidth, int AHeight) {
  if (!Bitmap || Bitmap->Width() != AWidth || Bitmap->Height() != AHeight ||
      !UsableSize(AWidth, AHeight) || APixFmt <= AV_PIX_FMT_NONE || APixFmt >= AV_PIX_FMT_NB ||
      !APicture.data[0])
    return false;
  const int row = AWidth * 3;
  if (APixFmt == RGBPixFmt) {
    for (int y = 0; y < AHeight; ++y)
      std::memcpy(APicture.data[0] + static_cast<ptrdiff_t>(y) * APicture.linesize[0],
                  Bitmap->Row(y), static_cast<size_t>(row));
    return true;
  }
  if (!LayRGBPicture(AWidth, AHeight))
    return false;
  for (int y = 0; y < AHeight; ++y)
    std::memcpy(RGBPicture.data[0] + static_cast<ptrdiff_t>(y) * RGBPicture.linesize[0],
                Bitmap->Row(y), static_cast<size_t>(row));
  fromRGB_convert_ctx = sws_getCachedContext(fromRGB_convert_ctx, AWidth, AHeight, RGBPixFmt,
                                             AWidth, AHeight, APixFmt, SWS_BICUBIC, nullptr,
                                             nullptr, nullptr);
  if (!fromRGB_convert_ctx)
    return false;
  return sws_scale(fromRGB_convert_ctx, RGBPicture.data, RGBPicture.linesize, 0, AHeight,
                   APicture.data, APicture.linesize) > 0;
}
