// A 24-bit picture the media core hands to the application: BGR byte order, rows top to bottom,
// each row padded to a multiple of 4 bytes. The UI wraps Pixels() in a QImage (Format_BGR888)
// without copying. The canvas lock serialises drawing on the picture between the thread that
// fills it and an event handler that draws on it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

class TBitmap24 {
public:
  TBitmap24() = default;
  TBitmap24(int width, int height) { SetSize(width, height); }

  // Resizes to width x height (0 x 0 allowed); the contents become black.
  void SetSize(int width, int height) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    stride_ = (width_ * 3 + 3) & ~3;
    pixels_.assign(static_cast<size_t>(stride_) * height_, 0);
  }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }  // bytes per row
  bool Empty() const { return width_ == 0 || height_ == 0; }

  uint8_t* Pixels() { return pixels_.data(); }
  const uint8_t* Pixels() const { return pixels_.data(); }
  uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(stride_) * y; }
  const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(stride_) * y; }

  // Canvas lock: held by whoever draws on or reads the pixels while another thread may.
  void LockCanvas() { canvas_.lock(); }
  void UnlockCanvas() { canvas_.unlock(); }
  std::mutex& Canvas() { return canvas_; }

private:
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  std::vector<uint8_t> pixels_;
  std::mutex canvas_;
};
