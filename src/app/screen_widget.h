// The preview surface: a black panel with a logo in its middle, and the player's render target.
// The player draws from its play thread; the widget keeps the display area as a picture and
// paints it, scaled to the panel, on the GUI thread.
#pragma once

#include <QFrame>
#include <QImage>
#include <atomic>
#include <functional>
#include <mutex>

#include "media/render_target.h"

class TScreenWidget : public QFrame, public TRenderTarget {
  Q_OBJECT

public:
  explicit TScreenWidget(QWidget* parent = nullptr);

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  bool OpenDisplay(int AWidth, int AHeight) override;
  void ShowPicture(const TBitmap24& APicture, const TRenderRect& ARect) override;
  void ShowSurface(const TBitmap24& ASurface, const TRenderRect& ARect) override;

  // Told when the panel changes size or is shown again (the player redraws for them). GUI thread.
  std::function<void(int AWidth, int AHeight)> OnResized;
  std::function<void()> OnExposed;

  // Forgets the display area: the panel shows its own picture again. GUI thread.
  void CloseDisplay();
  // The display area as last drawn (null when none). Any thread.
  QImage DisplayImage() const;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  void RequestRepaint();

  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  mutable std::mutex mutex_;  // protects area_
  QImage area_;               // the display area; null while no display is open
  QImage logo_;
};
