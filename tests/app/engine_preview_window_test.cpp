// The engine's live preview window and a conversion that shows it.
#include <QApplication>
#include <QCheckBox>
#include <QTest>

#include "app/app_test_env.h"
#include "app/engine_preview_window.h"
#include "app/file_list_model.h"
#include "app/media_fixtures.h"
#include "settings/options_dialog.h"

class EnginePreviewWindowTest : public QObject {
  Q_OBJECT

private slots:
  void windowShowsPictureAndCaption() {
    TQtPreviewWindow window;
    window.Show(64, 48);
    QCOMPARE(window.Widget()->size(), QSize(64, 48));
    QVERIFY(window.Widget()->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(window.Widget()->windowFlags() & Qt::Tool);
    window.SetCaption("00:00:01.20");
    QCOMPARE(window.Widget()->windowTitle(), QString("00:00:01.20"));
    TBitmap24 picture(64, 48);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x)
        picture.Row(y)[3 * x + 2] = 200;  // red
    window.Paint(picture);
    const QImage shown = window.Widget()->grab().toImage();
    QCOMPARE(QColor(shown.pixel(10, 10)).red(), 200);
    QVERIFY(!window.Closed());
    window.Widget()->close();
    QVERIFY(window.Closed());
  }

  void aRunWithThePreviewOnShowsTheWindow() {
    TTestHome env;
    {
      QFile ini(env.IniPath());
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[Options]\nAfter_Done=3\nShow_Preview=1\n");
    }
    InstallQtPreviewWindows();
    QVERIFY(MakeClip(env.home.path() + "/clip.avi", 30));
    TRecordingShell shell;
    TMainWindowServices services;
    services.shell = &shell;
    services.chooseOpenFile = [&](QFileDialog*) { return env.home.path() + "/clip.avi"; };
    services.showWarning = [](QWidget*, const QString&, const QString&) {};
    TForm1 w(services);
    TForm5 options(&w);
    w.SetOptionsDialog(&options);
    QVERIFY(w.TaskMgr().Preview());
    w.SelectCategory(1);
    w.btnAddClick();
    QCOMPARE(w.filesModel->rowCount(), 1);
    w.btnStartClick();
    bool seen = false;
    QVERIFY(QTest::qWaitFor([&] {
      for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* preview = qobject_cast<TEnginePreviewWidget*>(top); preview && preview->isVisible())
          seen |= !preview->windowTitle().isEmpty();
      return w.RunEnded();
    }, 120000));
    QVERIFY(seen);
    SetPreviewWindowFactory({});
  }
};

QTEST_MAIN(EnginePreviewWindowTest)
#include "engine_preview_window_test.moc"
