// The engine's own preview window, as the media core sees it. The core has no toolkit, so the
// application supplies the window (a stay-on-top tool window with only a system menu, centred
// on the screen, its client area the frame size, moved by a press anywhere on it) through a
// factory. The engine creates, paints and frees the window on the main thread only
// (RunInMainThread), so a window needs no locking of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "media/bitmap.h"

class TPreviewWindow {
public:
  virtual ~TPreviewWindow() = default;
  // Shows the window with a client area of AWidth x AHeight.
  virtual void Show(int AWidth, int AHeight) = 0;
  // The window's caption (the frame's time as DurationText).
  virtual void SetCaption(const std::string& ACaption) = 0;
  // Draws ABitmap at 0,0 of the client area (the window may copy it; the engine reuses it).
  virtual void Paint(const TBitmap24& ABitmap) = 0;
  // True once the user has closed the window.
  virtual bool Closed() const = 0;
};

// Makes a preview window; called on the main thread. May return nullptr (no window).
using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>()>;

// The factory every engine uses from now on (an empty one: no preview window, and tasks with
// the preview on drop it with an error line). Main thread.
void SetPreviewWindowFactory(TPreviewWindowFactory AFactory);
TPreviewWindowFactory PreviewWindowFactory();
