// The engine's live preview while converting: a stay-on-top tool window, centred on the screen,
// whose client area is the picture, captioned with the picture's time; a press anywhere on it
// moves it.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include "media/engine_preview.h"

class TEnginePreviewWidget : public QWidget {
  Q_OBJECT
public:
  TEnginePreviewWidget();
  void SetPicture(const QImage& APicture);
  bool ClosedByUser() const { return closed_; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

private:
  QImage picture_;
  QPoint grab_;  // where the pointer took the window, relative to its corner
  bool closed_ = false;
};

// The engine's window interface on the widget above. Main thread only, as the engine uses it.
class TQtPreviewWindow : public TPreviewWindow {
public:
  TQtPreviewWindow();
  ~TQtPreviewWindow() override;
  void Show(int AWidth, int AHeight) override;
  void SetCaption(const std::string& ACaption) override;
  void Paint(const TBitmap24& ABitmap) override;
  bool Closed() const override;
  TEnginePreviewWidget* Widget() const { return widget_; }

private:
  TEnginePreviewWidget* widget_;  // owned; deleted with this window
};

// Makes every engine show its live preview in a TQtPreviewWindow.
void InstallQtPreviewWindows();
