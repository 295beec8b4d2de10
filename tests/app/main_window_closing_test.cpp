// Closing the main window during a run, and the options dialog's preview box driving the task
// manager.
#include <QCheckBox>
#include <QTest>
#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_test_env.h"
#include "app/qt_dispatcher.h"
#include "media/task_manager.h"
#include "settings/options_dialog.h"

namespace {

// A FIFO fed until the object goes away: a task reading it runs until it is stopped.
class TEndlessInput {
public:
  explicit TEndlessInput(const QString& path) : path_(path.toStdString()) {
    ::mkfifo(path_.c_str(), 0600);
    fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    feeder_ = std::thread([this] {
      const std::string chunk(4096, 'x');
      while (!stop_) {
        ssize_t n = ::write(fd_, chunk.data(), chunk.size());
        (void)n;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }
  ~TEndlessInput() {
    stop_ = true;
    feeder_.join();
    ::close(fd_);
  }
  std::string Path() const { return path_; }

private:
  std::string path_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread feeder_;
};

}  // namespace

class MainWindowClosingTest : public QObject {
  Q_OBJECT

private slots:
  void closingDuringARunStopsEveryTaskAndRunsNoCompletion() {
    TTestHome env;
    TQtDispatcher dispatcher;
    TForm1 w;
    w.show();
    TTaskManager& mgr = w.TaskMgr();
    TEndlessInput in1(env.program.path() + "/in1"), in2(env.program.path() + "/in2");
    for (const TEndlessInput* in : {&in1, &in2}) {
      const int t = mgr.AddTask(in->Path(), "f=s16le");  // the FIFO carries raw sound
      QVERIFY2(t >= 0, mgr.LastErrMsg().c_str());
      QVERIFY(mgr.SetOutputFile(t, env.program.path().toStdString() + "/out" + std::to_string(t) +
                                       ".wav"));
    }
    std::atomic<int> terminations{0};
    std::atomic<int> progress{0};
    mgr.SetProgressInterval(100);
    mgr.SetOnProgress([&](TCustomTaskManager*, TProgressInfo*) { ++progress; });
    mgr.SetOnTerminate([&](TCustomTaskManager*, const TTerminateInfo&) { ++terminations; });
    mgr.Start(2);
    // Progress handlers run on this thread while the workers wait for it.
    QTRY_VERIFY_WITH_TIMEOUT(progress >= 2, 30000);

    QVERIFY(w.close());
    QVERIFY(mgr.Terminated());
    QCOMPARE(terminations.load(), 0);
    const int afterClose = progress;
    QTest::qWait(200);
    QCOMPARE(progress.load(), afterClose);
  }

  void previewBoxDrivesTheTaskManagersPreview() {
    TTestHome env;
    TForm1 w;
    TForm5 options(&w);
    w.SetOptionsDialog(&options);
    QVERIFY(!w.TaskMgr().Preview());
    options.findChild<QCheckBox*>()->click();
    QVERIFY(w.TaskMgr().Preview());
    options.findChild<QCheckBox*>()->click();
    QVERIFY(!w.TaskMgr().Preview());
  }

  void storedPreviewSettingReachesTheTaskManagerAtStart() {
    TTestHome env;
    {
      QFile ini(env.IniPath());
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[Options]\nShow_Preview=1\n");
    }
    TForm1 w;
    TForm5 options(&w);
    w.SetOptionsDialog(&options);
    QVERIFY(w.TaskMgr().Preview());
  }
};

QTEST_MAIN(MainWindowClosingTest)
#include "main_window_closing_test.moc"
