#include "app/snapshot_command.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <functional>

#include "app/snapshot.h"
#include "media/ffutils.h"
#include "media/player.h"
#include "media/render_target.h"

namespace {

int Fail(const QString& message, int code = 1) {
  std::fprintf(stderr, "varnosk: %s\n", message.toLocal8Bit().constData());
  return code;
}

// Services this thread's queued calls until APred holds; false after ATimeoutMs.
bool WaitFor(const std::function<bool()>& APred, int ATimeoutMs) {
  QDeadlineTimer deadline(ATimeoutMs);
  while (!APred()) {
    if (deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace

int RunSnapshotAtCommand(const QStringList& AArguments) {
  const char* usage = "usage: varnosk --snapshot-at SECONDS FILE OUT.(bmp|jpg|gif|png)";
  if (AArguments.size() != 3)
    return Fail(usage, 2);
  bool ok = false;
  const double seconds = AArguments[0].toDouble(&ok);
  if (!ok || seconds < 0)
    return Fail(usage, 2);
  const QString file = AArguments[1], out = AArguments[2];
  const QString suffix = QFileInfo(out).suffix().toLower();
  TSnapshotType type;
  if (suffix == "bmp")
    type = TSnapshotType::stBMP;
  else if (suffix == "jpg" || suffix == "jpeg")
    type = TSnapshotType::stJPG;
  else if (suffix == "gif")
    type = TSnapshotType::stGIF;
  else if (suffix == "png")
    type = TSnapshotType::stPNG;
  else
    return Fail(usage, 2);

  TPreviewPlayer player;
  if (!player.LoadAVLib(ExeFolder() + "LibAV"))
    return Fail(QString::fromStdString(player.LastErrMsg()));
  std::atomic<int64_t> duration{-1};
  std::atomic<bool> opened{false};
  player.SetOnFileOpen([&](TCustomPlayer*, int64_t d, int, int, int&, int&) {
    duration = d;
    opened = true;
  });
  TMemoryRenderTarget target(640, 480);
  if (!player.Open(file.toStdString(), &target, true))
    return Fail(QString::fromStdString(player.LastErrMsg()));
  const int64_t wanted = static_cast<int64_t>(seconds * 1000000.0);
  auto noPicture = [&] {
    player.Stop(true);
    return Fail(QString("%1: no picture at %2 s").arg(file).arg(seconds));
  };
  if (!WaitFor([&] { return opened.load() && player.Paused(); }, 30000))
    return noPicture();
  if (duration >= 0 && wanted > duration)
    return noPicture();
  player.SeekTo(wanted, 0, true);
  // The picture on display once the seek has landed: the first one at or after the position
  // (a little before it where the file holds no later picture).
  int64_t pts = -1;
  WaitFor([&] {
    player.CurrentFrame(pts);
    return !player.Seeking() && pts >= 0 && pts + 100000 >= wanted;
  }, 10000);
  const QImage picture = ToImage(player.CurrentFrame(pts));
  player.Stop(true);
  if (picture.isNull() || pts < 0)
    return Fail(QString("%1: no picture at %2 s").arg(file).arg(seconds));
  QString error;
  if (!WriteSnapshotFile(picture, out, type, &error))
    return Fail(error);
  return 0;
}
