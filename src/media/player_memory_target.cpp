#include <algorithm>
#include <cstring>

#include "media/render_target.h"

TMemoryRenderTarget::TMemoryRenderTarget(int AWidth, int AHeight)
    : client_width_(AWidth), client_height_(AHeight) {}

int TMemoryRenderTarget::Width() const {
  std::lock_guard lock(mutex_);
  return client_width_;
}

int TMemoryRenderTarget::Height() const {
  std::lock_guard lock(mutex_);
  return client_height_;
}

void TMemoryRenderTarget::SetClientSize(int AWidth, int AHeight) {
  std::lock_guard lock(mutex_);
  client_width_ = AWidth;
  client_height_ = AHeight;
}

bool TMemoryRenderTarget::OpenDisplay(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0)
    return false;
  std::lock_guard lock(mutex_);
  screen_.SetSize(AWidth, AHeight);
  ++open_count_;
  return true;
}

namespace {
// Copies the rectangle r of src (in src coordinates sx, sy) to dst at r.x, r.y, clipped to dst.
void CopyRect(TBitmap24& dst, const TBitmap24& src, int sx, int sy, const TRenderRect& r) {
  for (int y = 0; y < r.h; ++y) {
    int dy = r.y + y, syy = sy + y;
    if (dy < 0 || dy >= dst.Height() || syy < 0 || syy >= src.Height())
      continue;
    int x0 = std::max({0, -r.x, -sx});
    int x1 = std::min({r.w, dst.Width() - r.x, src.Width() - sx});
    if (x1 > x0)
      std::memcpy(dst.Row(dy) + (r.x + x0) * 3, src.Row(syy) + (sx + x0) * 3,
                  static_cast<size_t>(x1 - x0) * 3);
  }
}

TMemoryRenderTarget::TPixel PixelOf(const TBitmap24& bmp, int x, int y) {
  TMemoryRenderTarget::TPixel p;
  if (x < 0 || y < 0 || x >= bmp.Width() || y >= bmp.Height())
    return p;
  const uint8_t* at = bmp.Row(y) + x * 3;
  p.b = at[0];
  p.g = at[1];
  p.r = at[2];
  return p;
}
}  // namespace

void TMemoryRenderTarget::ShowPicture(const TBitmap24& APicture, const TRenderRect& ARect) {
  std::lock_guard lock(mutex_);
  std::fill(screen_.Pixels(), screen_.Pixels() + static_cast<size_t>(screen_.Stride()) * screen_.Height(), 0);
  CopyRect(screen_, APicture, 0, 0, ARect);
  picture_.SetSize(APicture.Width(), APicture.Height());
  for (int y = 0; y < APicture.Height(); ++y)
    std::memcpy(picture_.Row(y), APicture.Row(y), static_cast<size_t>(APicture.Width()) * 3);
  last_rect_ = ARect;
  ++picture_count_;
}

void TMemoryRenderTarget::ShowSurface(const TBitmap24& ASurface, const TRenderRect& ARect) {
  std::lock_guard lock(mutex_);
  CopyRect(screen_, ASurface, ARect.x, ARect.y, ARect);
  ++surface_count_;
}

void TMemoryRenderTarget::PositionChanged() {
  std::lock_guard lock(mutex_);
  ++position_count_;
}

int TMemoryRenderTarget::DisplayWidth() const {
  std::lock_guard lock(mutex_);
  return screen_.Width();
}

int TMemoryRenderTarget::DisplayHeight() const {
  std::lock_guard lock(mutex_);
  return screen_.Height();
}

int TMemoryRenderTarget::OpenCount() const {
  std::lock_guard lock(mutex_);
  return open_count_;
}

int TMemoryRenderTarget::PictureCount() const {
  std::lock_guard lock(mutex_);
  return picture_count_;
}

int TMemoryRenderTarget::SurfaceCount() const {
  std::lock_guard lock(mutex_);
  return surface_count_;
}

int TMemoryRenderTarget::PositionCount() const {
  std::lock_guard lock(mutex_);
  return position_count_;
}

TRenderRect TMemoryRenderTarget::LastRect() const {
  std::lock_guard lock(mutex_);
  return last_rect_;
}

TMemoryRenderTarget::TPixel TMemoryRenderTarget::ScreenPixel(int x, int y) const {
  std::lock_guard lock(mutex_);
  return PixelOf(screen_, x, y);
}

TMemoryRenderTarget::TPixel TMemoryRenderTarget::PicturePixel(int x, int y) const {
  std::lock_guard lock(mutex_);
  return PixelOf(picture_, x, y);
}

int TMemoryRenderTarget::CountScreenPixels(TPixel AColour) const {
  std::lock_guard lock(mutex_);
  int n = 0;
  for (int y = 0; y < screen_.Height(); ++y)
    for (int x = 0; x < screen_.Width(); ++x) {
      const uint8_t* at = screen_.Row(y) + x * 3;
      n += at[0] == AColour.b && at[1] == AColour.g && at[2] == AColour.r;
    }
  return n;
}
