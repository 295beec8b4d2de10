#include "app/screen_widget.h"

#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>

#include "app/icons.h"

namespace {

QImage Wrap(const TBitmap24& ABitmap) {
  return QImage(ABitmap.Pixels(), ABitmap.Width(), ABitmap.Height(), ABitmap.Stride(),
                QImage::Format_BGR888);
}

}  // namespace

TScreenWidget::TScreenWidget(QWidget* parent) : QFrame(parent) {
  setAutoFillBackground(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  logo_ = CommandIcon(TIconKind::Play).pixmap(40, 40).toImage();
}

void TScreenWidget::resizeEvent(QResizeEvent* event) {
  width_ = event->size().width();
  height_ = event->size().height();
  QFrame::resizeEvent(event);
  if (OnResized)
    OnResized(width_, height_);
}

void TScreenWidget::showEvent(QShowEvent* event) {
  QFrame::showEvent(event);
  if (OnExposed)
    OnExposed();
}

bool TScreenWidget::OpenDisplay(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0 || AWidth > 16384 || AHeight > 16384)
    return false;
  {
    std::lock_guard lock(mutex_);
    area_ = QImage(AWidth, AHeight, QImage::Format_RGB888);
    area_.fill(Qt::black);
  }
  RequestRepaint();
  return true;
}

void TScreenWidget::ShowPicture(const TBitmap24& APicture, const TRenderRect& ARect) {
  {
    std::lock_guard lock(mutex_);
    if (area_.isNull())
      return;
    area_.fill(Qt::black);
    QPainter p(&area_);
    p.drawImage(QRect(ARect.x, ARect.y, ARect.w, ARect.h), Wrap(APicture));
  }
  RequestRepaint();
}

void TScreenWidget::ShowSurface(const TBitmap24& ASurface, const TRenderRect&) {
  {
    std::lock_guard lock(mutex_);
    if (area_.isNull())
      return;
    QPainter p(&area_);
    p.drawImage(QPoint(0, 0), Wrap(ASurface));
  }
  RequestRepaint();
}

void TScreenWidget::CloseDisplay() {
  {
    std::lock_guard lock(mutex_);
    area_ = QImage();
  }
  repaint();
}

QImage TScreenWidget::DisplayImage() const {
  std::lock_guard lock(mutex_);
  return area_.copy();
}

void TScreenWidget::RequestRepaint() {
  QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

void TScreenWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  std::lock_guard lock(mutex_);
  if (area_.isNull()) {
    p.drawImage(QPoint((width() - logo_.width()) / 2, (height() - logo_.height()) / 2), logo_);
    return;
  }
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(rect(), area_);
}
