#include "app/qt_dispatcher.h"

#include <QCoreApplication>
#include <QThread>

TQtDispatcher::TQtDispatcher() { SetMainThreadDispatcher(this); }

TQtDispatcher::~TQtDispatcher() {
  if (MainThreadDispatcher() == this)
    SetMainThreadDispatcher(nullptr);
}

bool TQtDispatcher::IsMainThread() const {
  auto* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void TQtDispatcher::RunSync(const std::function<void()>& fn) {
  auto* app = QCoreApplication::instance();
  if (!app || IsMainThread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

void TQtDispatcher::ProcessPending() {
  // Runs queued calls of waiting workers and pending window events. A quit request met here is
  // not acted on: the loop that waits decides when to return to the main event loop.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}
