// The preview panel: the player on the selected row, the slider, the buttons, snapshots.
#include <QDir>
#include <QItemSelectionModel>
#include <QProcess>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "app/app_test_env.h"
#include "app/file_list_model.h"
#include "app/media_fixtures.h"
#include "media/player.h"

namespace {

struct TFixture {
  TTestHome env;
  TRecordingShell shell;
  QStringList files;
  QString folder;
  std::unique_ptr<TForm1> w;

  TFixture() {
    TMainWindowServices s;
    s.shell = &shell;
    s.chooseOpenFile = [this](QFileDialog*) { return files.value(0); };
    s.chooseOpenFiles = [this](QFileDialog*) { return files; };
    s.chooseFolder = [this](QWidget*, const QString&, const QString&) { return folder; };
    s.showWarning = [](QWidget*, const QString&, const QString&) {};
    s.powerOff = [] {};
    s.playSound = [](const QString&) {};
    w = std::make_unique<TForm1>(s);
    w->show();
  }
  QString Media(const QString& name) const { return env.home.path() + "/" + name; }
  // Adds the file (which selects it and opens the preview) and waits until it shows paused.
  bool AddAndWaitPaused(const QString& name) {
    files = {Media(name)};
    w->btnAddClick();
    return QTest::qWaitFor([this] { return w->mmoLog().contains("Pause"); }, 30000);
  }
};

QString ProbeSize(const QString& path) {
  QProcess p;
  p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                      "stream=width,height", "-of", "csv=s=x:p=0", path});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

}  // namespace

class PreviewPanelTest : public QObject {
  Q_OBJECT

private slots:
  void selectingARowOpensThePreviewPaused() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("clip.avi"), 2));
    QVERIFY(f.AddAndWaitPaused("clip.avi"));
    // The clip's sound runs a few milliseconds past its two seconds of pictures.
    QCOMPARE(f.w->mmoLog().filter(QRegularExpression("^duration: 2\\.0\\d, frame size: 64x48$")).size(), 1);
    QVERIFY(f.w->FDuration >= 2000000 && f.w->FDuration < 2100000);
    QCOMPARE(f.w->bsSkinSlider1->maximum(), f.w->bsSkinSlider1->width());
    QTRY_VERIFY(!f.w->pnlScreen->DisplayImage().isNull());
  }

  void playMovesTheSliderAndTheEndRewinds() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("clip.avi"), 1.5));
    QVERIFY(f.AddAndWaitPaused("clip.avi"));
    f.w->btnPlay->click();
    QTRY_VERIFY_WITH_TIMEOUT(f.w->bsSkinSlider1->value() > 0, 20000);
    // At the end the preview goes back to the start and waits paused.
    QTRY_VERIFY_WITH_TIMEOUT(f.w->mmoLog().contains("End"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(f.w->PreviewPlayer().Paused(), 20000);
  }

  void sliderAndPositionArithmetic() {
    TFixture f;
    f.w->bsSkinSlider1->setMaximum(202);
    f.w->FDuration = 10 * int64_t(1000000);
    f.w->PreviewPlayerPosition(5 * int64_t(1000000));
    QCOMPARE(f.w->bsSkinSlider1->value(), 101);
    f.w->bsSkinSlider1_down_UP = "Down";  // held by the user: position updates leave it
    f.w->PreviewPlayerPosition(0);
    QCOMPARE(f.w->bsSkinSlider1->value(), 101);
    f.w->bsSkinSlider1_down_UP = "UP";
    f.w->FDuration = 404 * int64_t(1000000);
    f.w->bsSkinSlider1->setValue(50);
    QCOMPARE(f.w->SliderTarget(), 100 * int64_t(1000000));
  }

  void sliderHeldAndDropped() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("clip.avi"), 2));
    QVERIFY(f.AddAndWaitPaused("clip.avi"));
    f.w->SliderMouseDown();
    QCOMPARE(f.w->bsSkinSlider1_down_UP, QString("Down"));
    f.w->bsSkinSlider1->setValue(f.w->bsSkinSlider1->maximum() / 2);
    f.w->SliderMouseUp();
    QCOMPARE(f.w->bsSkinSlider1_down_UP, QString("UP"));
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->PreviewPlayer().Paused(), 20000);  // plays from there
  }

  void snapshotsAreNumberedPerType() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("movie.mp4"), 1));
    QVERIFY(f.AddAndWaitPaused("movie.mp4"));
    const QString folder = f.env.home.path() + "/Pellum视频软件/快照";
    QCOMPARE(f.w->TakeSnapshot(), folder + "/movie_1.bmp");
    QCOMPARE(f.w->TakeSnapshot(), folder + "/movie_2.bmp");
    f.w->SnapshotTypeActions()[3]->trigger();  // "PNG文件"
    QVERIFY(f.w->SnapshotTypeActions()[3]->isChecked());
    QCOMPARE(f.w->TakeSnapshot(), folder + "/movie_1.png");
    for (const char* name : {"movie_1.bmp", "movie_2.bmp", "movie_1.png"})
      QCOMPARE(ProbeSize(folder + "/" + name), QString("64x48"));
  }

  void snapshotWithoutPictureWritesNothing() {
    TFixture f;
    QVERIFY(f.w->TakeSnapshot().isEmpty());
  }

  void snapshotMenuEntries() {
    TFixture f;
    QTemporaryDir chosen;
    f.folder = chosen.path();
    f.w->ChooseSnapshotFolder();
    QCOMPARE(f.w->ReadSnapshotFolder(), chosen.path());
    f.w->OpenSnapshotFolder();
    QCOMPARE(f.shell.opened, QStringList({chosen.path()}));
    f.folder = "/nonexistent/varnosk";
    f.w->ChooseSnapshotFolder();
    QCOMPARE(f.w->ReadSnapshotFolder(), chosen.path());
  }

  void muteButtonsShareOnePlace() {
    TFixture f;
    QVERIFY(f.w->btnMuteOn->isVisible());
    QVERIFY(!f.w->btnMuteOff->isVisible());
    f.w->btnMuteOn->click();
    QVERIFY(f.w->PreviewPlayer().Mute());
    QVERIFY(f.w->btnMuteOff->isVisible());
    QVERIFY(!f.w->btnMuteOn->isVisible());
    f.w->btnMuteOff->click();
    QVERIFY(!f.w->PreviewPlayer().Mute());
  }

  void removingTheLastRowStopsThePreview() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("clip.avi"), 2));
    QVERIFY(f.AddAndWaitPaused("clip.avi"));
    f.w->bsSkinSlider1->setValue(40);
    f.w->btnRemoveClick();
    QVERIFY(f.w->mmoLog().contains("Stop"));
    QCOMPARE(f.w->bsSkinSlider1->value(), 0);
    QVERIFY(f.w->pnlScreen->DisplayImage().isNull());
  }
};

QTEST_MAIN(PreviewPanelTest)
#include "preview_panel_test.moc"
