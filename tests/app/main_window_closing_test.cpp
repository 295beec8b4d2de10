// Closing the main window during a run, and the options dialog's preview box driving the task
// manager.
#include <QCheckBox>
#include <QComboBox>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/app_test_env.h"
#include "app/file_list_model.h"
#include "app/media_fixtures.h"
#include "app/qt_dispatcher.h"
#include "media/task_manager.h"
#include "settings/options_dialog.h"

class MainWindowClosingTest : public QObject {
  Q_OBJECT

private slots:
  void closingDuringARunStopsEveryTaskAndRunsNoCompletion() {
    TTestHome env;
    {
      QFile ini(env.IniPath());
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[Options]\nAfter_Done=0\nThread_Count=2\n");  // would open the folder
    }
    // Long enough that the run is still converting when the window closes.
    const QString clip = env.home.path() + "/long.avi";
    QVERIFY(MakeClip(clip, 60));
    TRecordingShell shell;
    TMainWindowServices services;
    services.shell = &shell;
    services.chooseOpenFiles = [&](QFileDialog*) { return QStringList{clip, clip}; };
    services.showWarning = [](QWidget*, const QString&, const QString&) {};
    services.powerOff = [] {};
    services.playSound = [](const QString&) {};
    TForm1 w(services);
    TForm5 options(&w);
    w.SetOptionsDialog(&options);
    w.show();
    // A video format at a large size: every picture is scaled and encoded.
    w.SelectCategory(1);
    w.SetOptionIndex(olResolution, w.bsSkinComboBox1->findText("1280*720"));
    w.AddMultipleFiles();
    QCOMPARE(w.filesModel->rowCount(), 2);
    w.btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!w.filesModel->Text(0, fcProgress).isEmpty(), 60000);
    QVERIFY(!w.RunEnded());

    QVERIFY(w.close());
    QVERIFY(w.TaskMgr().Terminated());
    QTest::qWait(200);
    QVERIFY(!w.RunEnded());           // no end-of-run handling ...
    QVERIFY(shell.opened.isEmpty());  // ... and no completion action
    QVERIFY(w.filesModel->Text(0, fcProgress) != "100%");
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
