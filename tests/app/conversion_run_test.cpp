// The conversion run: tasks built from the rows, progress, termination, the completion actions
// and the message box of a failing task.
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QToolButton>

#include "app/app_test_env.h"
#include "app/file_list_model.h"
#include "app/media_fixtures.h"
#include "app/qt_dispatcher.h"
#include "settings/options_dialog.h"

namespace {

struct TFixture {
  TTestHome env;
  TQtDispatcher dispatcher;
  TRecordingShell shell;
  QStringList files;
  QStringList warnings;
  int powerOffs = 0;
  QStringList sounds;
  std::unique_ptr<TForm1> w;
  std::unique_ptr<TForm5> options;

  // AOptions: lines of the [Options] section written before the window starts.
  explicit TFixture(const QByteArray& AOptions = "After_Done=3\n") {
    QFile ini(env.IniPath());
    if (ini.open(QIODevice::WriteOnly))
      ini.write("[Options]\n" + AOptions);
    ini.close();
    TMainWindowServices s;
    s.shell = &shell;
    s.chooseOpenFile = [this](QFileDialog*) { return files.value(0); };
    s.chooseOpenFiles = [this](QFileDialog*) { return files; };
    s.showWarning = [this](QWidget*, const QString& c, const QString& t) { warnings << c + "|" + t; };
    s.powerOff = [this] { ++powerOffs; };
    s.playSound = [this](const QString& path) { sounds << path; };
    w = std::make_unique<TForm1>(s);
    options = std::make_unique<TForm5>(w.get());
    w->SetOptionsDialog(options.get());
  }
  QString Media(const QString& name) const { return env.home.path() + "/" + name; }
  QString Text(int row, int column) const { return w->filesModel->Text(row, column); }
  bool Add(const QStringList& names) {
    files.clear();
    for (const QString& n : names)
      files << Media(n);
    w->AddMultipleFiles();
    return w->filesModel->rowCount() >= names.size();
  }
  // The first video format at a large frame size: every picture is scaled and encoded, so a
  // run takes seconds even for a small clip (long enough to act on while it converts).
  void ChooseSlowVideoFormat() {
    w->lvFiles->selectionModel()->clearSelection();
    w->SelectCategory(1);
    w->SetOptionIndex(olResolution, w->bsSkinComboBox1->findText("1280*720"));
  }
  bool RunToEnd() {
    w->btnStartClick();
    return QTest::qWaitFor([this] { return w->RunEnded(); }, 60000);
  }
};

}  // namespace

class ConversionRunTest : public QObject {
  Q_OBJECT

private slots:
  void runConvertsEveryRowAndEnds() {
    TFixture f("After_Done=3\nThread_Count=2\n");
    for (const char* n : {"a.avi", "b.avi", "c.avi"})
      QVERIFY(MakeClip(f.Media(n)));
    QVERIFY(f.Add({"a.avi", "b.avi", "c.avi"}));
    QVERIFY(f.RunToEnd());
    for (int r = 0; r < 3; ++r) {
      QCOMPARE(f.Text(r, fcProgress), QString("100%"));
      QVERIFY(QFileInfo::exists(f.w->FileOutPutPath() + "/" + f.Text(r, fcOutputFile)));
    }
    // The run ended by itself: only Clear is left of the list commands.
    QVERIFY(f.w->btnClear->isEnabled());
    QVERIFY(!f.w->btnStart->isEnabled());
    QVERIFY(!f.w->btnStop->isEnabled());
    QVERIFY(f.w->bsSkinOfficeComboBox2->isEnabled());
    QVERIFY(f.warnings.isEmpty());
  }

  void outputsGoToTheFolderCurrentAtTheStart() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(f.Add({"a.avi"}));
    const QString later = f.env.home.path() + "/later";
    QVERIFY(QDir().mkpath(later));
    f.w->SetOutputFolderForRun(later);
    QVERIFY(f.RunToEnd());
    QVERIFY(QFileInfo::exists(later + "/a.mp3"));
  }

  void anOutputThatIsTheInputTakesANumberedName() {
    TFixture f;
    QVERIFY(MakeTone(f.Media("song.mp3")));
    QVERIFY(f.Add({"song.mp3"}));  // into the default output folder
    QCOMPARE(f.Text(0, fcOutputFile), QString("song.mp3"));
    f.w->SetOutputFolderForRun(f.env.home.path());  // now the input's own folder
    const QByteArray original = [&] {
      QFile in(f.Media("song.mp3"));
      return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }();
    QVERIFY(f.RunToEnd());
    QCOMPARE(f.Text(0, fcOutputFile), QString("song_1.mp3"));
    QVERIFY(QFileInfo::exists(f.Media("song_1.mp3")));
    QFile in(f.Media("song.mp3"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), original);
  }

  void hiddenColumnsBecomeTheOutputRecord() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(f.Add({"a.avi"}));
    f.w->filesModel->SetText(0, fcVideoCodec, "libx264");
    f.w->filesModel->SetText(0, fcVideoTag, "XVID");
    f.w->filesModel->SetText(0, fcAudioCodec, "AUTO");
    f.w->filesModel->SetText(0, fcSampleRate, "AUTO");
    f.w->filesModel->SetText(0, fcTargetType, "dvd");
    f.w->filesModel->SetText(0, fcNormType, "NTSC");
    f.w->filesModel->SetText(0, fcNoVideo, "False");
    const std::string audioCodec = f.w->OO1(0).AudioCodec;
    const int sampleRate = f.w->OO1(0).AudioSampleRate;
    f.w->BuildTasks();
    const TOutputOptions& oo = f.w->OO1(0);
    QCOMPARE(oo.VideoCodec, std::string("libx264"));
    QCOMPARE(oo.VideoPreset, std::string("libx264-default"));
    QCOMPARE(oo.VideoTag, std::string());
    QCOMPARE(oo.AudioCodec, audioCodec);
    QCOMPARE(oo.AudioSampleRate, sampleRate);
    QCOMPARE(oo.TargetType, ttDVD);
    QCOMPARE(oo.NormType, ntNTSC);
    QVERIFY(!oo.DisableVideo);
    QCOMPARE(QString::fromStdString(oo.FileName), f.w->FileOutPutPath() + "/a.mp3");
    QCOMPARE(f.w->TaskMgr().TasksCount(), 1);
  }

  void completionActions_data() {
    QTest::addColumn<int>("afterDone");
    QTest::addColumn<bool>("soundFile");
    QTest::addColumn<int>("opened");
    QTest::addColumn<int>("powerOffs");
    QTest::addColumn<int>("sounds");
    QTest::newRow("open the folder") << 0 << false << 1 << 0 << 0;
    QTest::newRow("power off") << 1 << false << 0 << 1 << 0;
    QTest::newRow("sound") << 2 << true << 0 << 0 << 1;
    QTest::newRow("sound file missing") << 2 << false << 0 << 0 << 0;
    QTest::newRow("nothing") << 3 << true << 0 << 0 << 0;
  }

  void completionActions() {
    QFETCH(int, afterDone);
    QFETCH(bool, soundFile);
    QFETCH(int, opened);
    QFETCH(int, powerOffs);
    QFETCH(int, sounds);
    TFixture f("After_Done=" + QByteArray::number(afterDone) + "\n");
    if (soundFile) {
      QVERIFY(QDir().mkpath(f.env.program.path() + "/sounds"));
      QVERIFY(MakeTone(f.env.program.path() + "/sounds/ring001.wav", 0.1));
    }
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(f.Add({"a.avi"}));
    QVERIFY(f.RunToEnd());
    QCOMPARE(f.shell.opened.size(), opened);
    if (opened)
      QCOMPARE(f.shell.opened.first(), f.w->Video_OutPut_Folder_Edit->text());
    QCOMPARE(f.powerOffs, powerOffs);
    QCOMPARE(f.sounds.size(), sounds);
    if (sounds)
      QCOMPARE(f.sounds.first(), f.env.program.path() + "/sounds/ring001.wav");
  }

  void aFailingTaskShowsItsMessage() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(f.Add({"a.avi"}));
    QVERIFY(WriteText(f.Media("plain-file")));
    f.w->SetOutputFolderForRun(f.Media("plain-file"));  // no folder can be made there
    QVERIFY(f.RunToEnd());
    QCOMPARE(f.warnings.size(), 1);
    QVERIFY2(f.warnings.first().startsWith("Varnosk|"), qPrintable(f.warnings.first()));
    QVERIFY(f.Text(0, fcProgress) != "100%");
  }

  void eachRowConvertsWithItsOwnParametersAfterRemoveAndMove() {
    TFixture f;
    for (const char* n : {"a.avi", "b.avi", "c.avi", "d.avi"})
      QVERIFY(MakeClip(f.Media(n)));
    // a: MP3, b: WMA, c: first video format, d: FLAC; each added with its own format.
    struct TAdd {
      const char* name;
      int category;
      const char* format;
    };
    const TAdd adds[] = {{"a.avi", 0, "MP3"}, {"b.avi", 0, "WMA"}, {"c.avi", 1, ""}, {"d.avi", 0, "FLAC"}};
    for (const TAdd& a : adds) {
      f.w->lvFiles->selectionModel()->clearSelection();
      f.w->SelectCategory(a.category);
      for (int i = 0; i < f.w->bsSkinOfficeComboBox1->count(); ++i)
        if (*a.format && f.w->bsSkinOfficeComboBox1->itemText(i).startsWith(a.format))
          f.w->SelectFormat(i);
      QVERIFY(f.Add({a.name}));
    }
    QCOMPARE(f.w->filesModel->rowCount(), 4);
    f.w->SelectRow(1);  // b
    f.w->btnRemoveClick();
    f.w->SelectRow(2);  // d
    f.w->MoveRowUp();   // now a, d, c
    QCOMPARE(f.Text(1, fcInputFile), f.Media("d.avi"));
    QVERIFY(f.RunToEnd());
    const QString out = f.w->FileOutPutPath();
    QCOMPARE(ProbeCodecs(out + "/" + f.Text(0, fcOutputFile)), QString("mp3"));
    QCOMPARE(ProbeCodecs(out + "/" + f.Text(1, fcOutputFile)), QString("flac"));
    QVERIFY(ProbeCodecs(out + "/" + f.Text(2, fcOutputFile)).contains(','));  // video and sound
    QVERIFY(!QFileInfo::exists(out + "/b.wma"));
  }

  void atMostThreadCountRowsConvertAtOnce() {
    TFixture f("After_Done=3\nThread_Count=3\n");
    QStringList names;
    for (int i = 0; i < 5; ++i) {
      names << QString("clip%1.avi").arg(i);
      QVERIFY(MakeClip(f.Media(names.last()), 20));
    }
    f.w->SelectCategory(1);
    QVERIFY(f.Add(names));
    int most = 0;
    f.w->btnStartClick();
    QVERIFY(QTest::qWaitFor([&] {
      int running = 0;
      for (int r = 0; r < 5; ++r) {
        const QString p = f.Text(r, fcProgress);
        running += !p.isEmpty() && p != "100%";
      }
      most = std::max(most, running);
      return f.w->RunEnded();
    }, 120000));
    QVERIFY2(most <= 3, qPrintable(QString::number(most)));
    for (int r = 0; r < 5; ++r)
      QCOMPARE(f.Text(r, fcProgress), QString("100%"));
  }

  void stopMidRunThenStartRedoesTheWholeList() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("long.avi"), 30));
    QVERIFY(MakeClip(f.Media("short.avi"), 1));
    f.ChooseSlowVideoFormat();
    QVERIFY(f.Add({"short.avi", "long.avi"}));  // long first
    f.w->btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Text(0, fcProgress).isEmpty(), 60000);
    f.w->btnStopClick();
    QVERIFY(f.w->RunEnded());  // the stop waited for every task and the end of the run
    QVERIFY(f.Text(0, fcProgress) != "100%");
    QVERIFY(f.w->btnStart->isEnabled());
    QVERIFY(!f.w->actStart->isEnabled());
    QVERIFY(!f.w->btnAdd->isEnabled());
    // Starting again redoes every row from the first.
    f.w->filesModel->SetText(1, fcProgress, "");
    f.w->btnStartClick();
    QVERIFY(QTest::qWaitFor([&] { return f.w->RunEnded(); }, 300000));
    QCOMPARE(f.Text(0, fcProgress), QString("100%"));
    QCOMPARE(f.Text(1, fcProgress), QString("100%"));
  }

  void pauseHoldsTheRunAndResumeFinishesIt() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("long.avi"), 20));
    f.ChooseSlowVideoFormat();
    QVERIFY(f.Add({"long.avi"}));
    f.w->btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Text(0, fcProgress).isEmpty(), 60000);
    f.w->btnPauseClick();
    QVERIFY(!f.w->ShowsPause());
    QTest::qWait(300);  // a report already on its way may still land
    const QString held = f.Text(0, fcCurrentTime) + f.Text(0, fcCurrentSize);
    QTest::qWait(1500);
    QCOMPARE(f.Text(0, fcCurrentTime) + f.Text(0, fcCurrentSize), held);
    QVERIFY(!f.w->RunEnded());
    f.w->btnResumeClick();
    QVERIFY(f.w->ShowsPause());
    QVERIFY(QTest::qWaitFor([&] { return f.w->RunEnded(); }, 300000));
    QCOMPARE(f.Text(0, fcProgress), QString("100%"));
  }

  void stopAfterTheRunKeepsAddDisabledUntilClear() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(f.Add({"a.avi"}));
    QVERIFY(f.RunToEnd());
    QVERIFY(!f.w->btnAdd->isEnabled());
    f.w->btnClearClick();
    QVERIFY(f.w->btnAdd->isEnabled());
  }
};

QTEST_MAIN(ConversionRunTest)
#include "conversion_run_test.moc"
