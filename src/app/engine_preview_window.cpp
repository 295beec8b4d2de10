#include "app/engine_preview_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "app/snapshot.h"

TEnginePreviewWidget::TEnginePreviewWidget()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TEnginePreviewWidget::SetPicture(const QImage& APicture) {
  picture_ = APicture;
  update();
}

void TEnginePreviewWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (!picture_.isNull())
    p.drawImage(QPoint(0, 0), picture_);
}

void TEnginePreviewWidget::closeEvent(QCloseEvent* event) {
  closed_ = true;
  QWidget::closeEvent(event);
}

void TEnginePreviewWidget::mousePressEvent(QMouseEvent* event) {
  grab_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TEnginePreviewWidget::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton)
    move(event->globalPosition().toPoint() - grab_);
}

TQtPreviewWindow::TQtPreviewWindow() : widget_(new TEnginePreviewWidget) {}

TQtPreviewWindow::~TQtPreviewWindow() { delete widget_; }

void TQtPreviewWindow::Show(int AWidth, int AHeight) {
  widget_->setFixedSize(AWidth, AHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    widget_->move(screen->availableGeometry().center() - QPoint(AWidth / 2, AHeight / 2));
  widget_->show();
}

void TQtPreviewWindow::SetCaption(const std::string& ACaption) {
  widget_->setWindowTitle(QString::fromStdString(ACaption));
}

void TQtPreviewWindow::Paint(const TBitmap24& ABitmap) { widget_->SetPicture(ToImage(ABitmap)); }

bool TQtPreviewWindow::Closed() const { return widget_->ClosedByUser(); }

void InstallQtPreviewWindows() {
  SetPreviewWindowFactory([] { return std::make_unique<TQtPreviewWindow>(); });
}
