// Conversion of a library picture into a 24-bit bitmap (TBitmap24) and back. One context per
// user (the probe's CopyToBitmap, the engine's hooks and preview, the player's snapshot and
// hook); a context is used by one thread at a time. Bitmap, buffer and scalers are reused and
// only grown or recreated when the size or pixel format changes.
#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "media/bitmap.h"

struct SwsContext;

// Plane pointers and row lengths of a picture (the library's four-plane layout).
struct TPicture {
  uint8_t* data[4] = {nullptr, nullptr, nullptr, nullptr};
  int linesize[4] = {0, 0, 0, 0};
};

class TRGBConvertContext {
public:
  TRGBConvertContext() = default;
  ~TRGBConvertContext();
  TRGBConvertContext(const TRGBConvertContext&) = delete;
  TRGBConvertContext& operator=(const TRGBConvertContext&) = delete;

  // Frees the bitmap, the buffer and both scalers and restores the two pixel formats.
  void Reset();

  // The bitmap, created (0 x 0, black) on first use.
  TBitmap24& EnsureBitmap();

  // Converts a picture of the given format and size into Bitmap (which gets the picture's
  // size). False when the format is unusable or no scaler can be made (the bitmap is then
  // sized to the picture and black) or when the size is not a valid picture size (the bitmap is
  // then 0 x 0).
  bool PictureToBitmap(const TPicture& APicture, AVPixelFormat APixFmt, int AWidth, int AHeight);

  // Converts Bitmap (which must have the picture's size) back into the picture. False when the
  // sizes differ or no scaler can be made; the picture is then unchanged. The scaler writes
  // whole blocks, so the picture's buffer needs the library's usual end padding (frames the
  // library allocates have it).
  bool BitmapToPicture(const TPicture& APicture, AVPixelFormat APixFmt, int AWidth, int AHeight);

  AVPixelFormat RGBPixFmt = AV_PIX_FMT_BGR24;  // the RGB picture's pixel format
  int BMPPixFmt = 24;                          // bits per pixel of the bitmap
  std::unique_ptr<TBitmap24> Bitmap;
  uint8_t* RGBBuf = nullptr;  // the RGB picture buffer, only grown
  int RGBBufSize = 0;
  TPicture RGBPicture;     // laid over RGBBuf
  TPicture RGBPictureRef;  // the picture last shown: RGBPicture or the source itself
  SwsContext* toRGB_convert_ctx = nullptr;
  SwsContext* fromRGB_convert_ctx = nullptr;

private:
  bool LayRGBPicture(int AWidth, int AHeight);
};
