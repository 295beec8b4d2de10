// Where the preview player draws. The application implements TRenderTarget with a widget; the
// player never draws on the screen itself. TMemoryRenderTarget keeps what was drawn in memory
// (headless use and tests).
//
// The player's display area is a rectangle of the size last given to OpenDisplay. Pictures and
// the sound visualisation are drawn into it; a target whose widget has another size scales the
// area as a whole.
#pragma once

#include <cstdint>
#include <mutex>

#include "media/bitmap.h"

struct TRenderRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

inline bool operator==(const TRenderRect& a, const TRenderRect& b) {
  return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

class TRenderTarget {
public:
  virtual ~TRenderTarget() = default;

  // Client size of the widget in pixels, used when the player is given no display size.
  // Called on the thread that opens a file.
  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // The calls below come from the player's play thread, one at a time. The bitmaps handed in
  // belong to the player and are valid only during the call.

  // The display area becomes AWidth x AHeight, all black. False when the target cannot show an
  // area of that size (the player then draws nothing).
  virtual bool OpenDisplay(int AWidth, int AHeight) = 0;
  // APicture has ARect's size and is shown at ARect inside the area; the rest of the area is
  // black.
  virtual void ShowPicture(const TBitmap24& APicture, const TRenderRect& ARect) = 0;
  // ASurface is the whole area (the visualisation of the sound); only ARect of it changed.
  virtual void ShowSurface(const TBitmap24& ASurface, const TRenderRect& ARect) = 0;

  // The widget moved on the screen (the player's UpdateScreenPosition). Main thread.
  virtual void PositionChanged() {}
};

// Keeps the display area as a bitmap (Screen) and the last picture shown. Every member may be
// called from any thread.
class TMemoryRenderTarget : public TRenderTarget {
public:
  struct TPixel {
    uint8_t b = 0, g = 0, r = 0;
  };

  explicit TMemoryRenderTarget(int AWidth = 320, int AHeight = 240);

  int Width() const override;
  int Height() const override;
  bool OpenDisplay(int AWidth, int AHeight) override;
  void ShowPicture(const TBitmap24& APicture, const TRenderRect& ARect) override;
  void ShowSurface(const TBitmap24& ASurface, const TRenderRect& ARect) override;
  void PositionChanged() override;

  // Changes the client size the target reports.
  void SetClientSize(int AWidth, int AHeight);

  int DisplayWidth() const;
  int DisplayHeight() const;
  int OpenCount() const;
  int PictureCount() const;
  int SurfaceCount() const;
  int PositionCount() const;
  TRenderRect LastRect() const;  // of the last picture
  // A pixel of the display area; black outside it.
  TPixel ScreenPixel(int x, int y) const;
  // A pixel of the last picture shown (in the picture's own coordinates); black outside it.
  TPixel PicturePixel(int x, int y) const;
  // Number of display-area pixels with exactly this colour.
  int CountScreenPixels(TPixel AColour) const;

private:
  mutable std::mutex mutex_;  // protects every member below
  int client_width_;
  int client_height_;
  TBitmap24 screen_;
  TBitmap24 picture_;
  TRenderRect last_rect_;
  int open_count_ = 0;
  int picture_count_ = 0;
  int surface_count_ = 0;
  int position_count_ = 0;
};
