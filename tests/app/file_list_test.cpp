// The file list: the add commands, selection, moving, removing, clearing and renaming.
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "app/app_test_env.h"
#include "app/file_list_model.h"
#include "app/list_texts.h"
#include "app/media_fixtures.h"
#include "app/progress_delegate.h"
#include <QDropEvent>
#include <QMimeData>

namespace {

// A window whose dialogs answer from the test and whose message boxes are recorded.
struct TFixture {
  TTestHome env;
  TRecordingShell shell;
  QStringList files;       // what the open dialogs return
  QString folder;          // what the folder dialog returns
  QStringList warnings;    // "caption|text" of each message box
  std::unique_ptr<TForm1> w;

  TFixture() {
    TMainWindowServices s;
    s.shell = &shell;
    s.chooseOpenFile = [this](QFileDialog*) { return files.value(0); };
    s.chooseOpenFiles = [this](QFileDialog*) { return files; };
    s.chooseFolder = [this](QWidget*, const QString&, const QString&) { return folder; };
    s.showWarning = [this](QWidget*, const QString& c, const QString& t) { warnings << c + "|" + t; };
    s.powerOff = [] {};
    s.playSound = [](const QString&) {};
    w = std::make_unique<TForm1>(s);
  }
  QString Media(const QString& name) const { return env.home.path() + "/" + name; }
  int Rows() const { return w->filesModel->rowCount(); }
  QString Text(int row, int column) const { return w->filesModel->Text(row, column); }
  QStringList Column(int column) const {
    QStringList texts;
    for (int r = 0; r < Rows(); ++r)
      texts << Text(r, column);
    return texts;
  }
};

}  // namespace

class FileListTest : public QObject {
  Q_OBJECT

private slots:
  void secToDate_data() {
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "00:00:00";
    QTest::newRow("one of each") << qint64(3661) << "01:01:01";
    QTest::newRow("hours wrap at 24") << qint64(25 * 3600 + 61) << "01:01:01";
    QTest::newRow("last second of a day") << qint64(86399) << "23:59:59";
  }

  void secToDate() {
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(SecToDate(seconds), text);
  }

  void sizeToMBText_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0MB";
    QTest::newRow("one and a half") << qint64(1572864) << "1.5MB";
    QTest::newRow("whole") << qint64(10485760) << "10MB";
    QTest::newRow("hundredths") << qint64(12939428) << "12.34MB";
    QTest::newRow("rounds up") << qint64(1043334) << "1MB";
  }

  void sizeToMBText() {
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(SizeToMBText(bytes), text);
  }

  void addOneFile() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("clip.avi"), 2));
    f.files = {f.Media("clip.avi")};
    f.w->btnAddClick();
    QCOMPARE(f.Rows(), 1);
    QCOMPARE(f.Text(0, fcInputFile), f.Media("clip.avi"));
    QCOMPARE(f.Text(0, fcDuration), QString("00:00:02"));
    QVERIFY(f.Text(0, fcSize).endsWith("MB"));
    QCOMPARE(f.Text(0, fcOutputFile), QString("clip.mp3"));  // the first format is MP3
    QCOMPARE(f.Text(0, fcTaskNumber), QString("1"));
    QCOMPARE(f.Text(0, fcFormatCode), QString("100"));
    QCOMPARE(f.Text(0, fcOptionCode).size(), 12);
    QCOMPARE(f.Text(0, fcAudioCodec), QString("libmp3lame"));
    QCOMPARE(f.Text(0, fcNoVideo), QString("True"));  // a sound format: the run drops the video
    QCOMPARE(f.w->SelectedRow(), 0);
    QCOMPARE(f.w->TaskMgr().TasksCount(), 1);
    QVERIFY(f.w->mmoLog().contains("***Can do convert."));
    // The file's description from its task's input probe went to the log before the verdict.
    const QStringList& log = f.w->mmoLog();
    qsizetype described = -1;
    for (qsizetype i = 0; i < log.size() && described < 0; ++i)
      if (log[i].startsWith("File Name: " + f.Media("clip.avi")))
        described = i;
    QVERIFY(described >= 0);
    QVERIFY(described < log.indexOf("***Can do convert."));
    QVERIFY(f.w->btnRemove->isEnabled());
    QVERIFY(f.w->btnStart->isEnabled());
    QVERIFY(!f.w->pnlEmptyList->isVisible());
    QCOMPARE(f.w->T_Movie_PLayer_FileName, f.Media("clip.avi"));
  }

  void textFileIsRefusedWithALogLine() {
    TFixture f;
    QVERIFY(WriteText(f.Media("notes.txt")));
    f.files = {f.Media("notes.txt")};
    f.w->btnAddClick();
    QCOMPARE(f.Rows(), 0);
    bool logged = false;
    for (const QString& line : f.w->mmoLog())
      logged |= line.startsWith("***File load error: ");
    QVERIFY(logged);
    QVERIFY(f.warnings.isEmpty());
  }

  void severalFilesAreAddedInReverseOrder() {
    TFixture f;
    for (const char* name : {"a.avi", "b.avi", "c.avi"})
      QVERIFY(MakeClip(f.Media(name)));
    f.files = {f.Media("a.avi"), f.Media("b.avi"), f.Media("c.avi")};
    f.w->AddMultipleFiles();
    QCOMPARE(f.Column(fcInputFile), QStringList({f.Media("c.avi"), f.Media("b.avi"), f.Media("a.avi")}));
    QCOMPARE(f.Column(fcTaskNumber), QStringList({"1", "2", "3"}));
    QCOMPARE(f.w->SelectedRow(), 2);
  }

  void folderAddTakesOnlyItsOwnMediaFiles() {
    TFixture f;
    QDir(f.env.home.path()).mkpath("in/sub");
    QVERIFY(MakeClip(f.Media("in/one.avi")));
    QVERIFY(MakeTone(f.Media("in/two.wav")));
    QVERIFY(WriteText(f.Media("in/readme.txt")));
    QVERIFY(MakeClip(f.Media("in/sub/deep.avi")));
    f.folder = f.Media("in");
    f.w->AddFolder();
    QStringList inputs = f.Column(fcInputFile);
    inputs.sort();
    QCOMPARE(inputs, QStringList({f.Media("in/one.avi"), f.Media("in/two.wav")}));
    QVERIFY(f.warnings.isEmpty());
  }

  void folderWithoutMediaSaysSo() {
    TFixture f;
    QDir(f.env.home.path()).mkpath("empty");
    QVERIFY(WriteText(f.Media("empty/a.txt")));
    f.folder = f.Media("empty");
    f.w->AddFolder();
    QCOMPARE(f.Rows(), 0);
    QCOMPARE(f.warnings, QStringList({"提示|在该目录没有发现可以用的视频或音频文件！"}));
  }

  void sameBaseNamesGetDistinctOutputs() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(MakeClip(f.Media("a.mp4")));
    f.files = {f.Media("a.mp4"), f.Media("a.avi")};
    f.w->AddMultipleFiles();
    QCOMPARE(f.Column(fcOutputFile), QStringList({"a.mp3", "a_1.mp3"}));
  }

  void removingTheSecondOfFourRenumbersTheTasks() {
    TFixture f;
    for (const char* name : {"a.avi", "b.avi", "c.avi", "d.avi"})
      QVERIFY(MakeClip(f.Media(name)));
    f.files = {f.Media("d.avi"), f.Media("c.avi"), f.Media("b.avi"), f.Media("a.avi")};
    f.w->AddMultipleFiles();
    QCOMPARE(f.Column(fcInputFile).first(), f.Media("a.avi"));
    f.w->SelectRow(1);
    f.w->btnRemoveClick();
    QCOMPARE(f.Column(fcInputFile), QStringList({f.Media("a.avi"), f.Media("c.avi"), f.Media("d.avi")}));
    QCOMPARE(f.Column(fcTaskNumber), QStringList({"1", "2", "3"}));
    QCOMPARE(f.w->TaskMgr().TasksCount(), 3);
    // Each remaining row's task is its own file's.
    for (int r = 0; r < 3; ++r)
      QCOMPARE(QString::fromStdString(f.w->IO1(r).FileName), f.Text(r, fcInputFile));
    QCOMPARE(f.w->SelectedRow(), 0);
  }

  void removingWithoutSelectionSaysSo() {
    TFixture f;
    f.w->btnRemoveClick();
    QCOMPARE(f.warnings, QStringList({"提示|请先选择您需要删除的项目！"}));
    f.w->StartRename();
    QCOMPARE(f.warnings.last(), QString("提示|请先选中您需要重命名的项目！"));
    f.w->StartRename(true);  // a double click says nothing
    QCOMPARE(f.warnings.size(), 2);
  }

  void removingTheLastRowEmptiesTheList() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    f.files = {f.Media("a.avi")};
    f.w->btnAddClick();
    f.w->bsSkinSlider1->setValue(50);
    f.w->btnRemoveClick();
    QCOMPARE(f.Rows(), 0);
    QCOMPARE(f.w->bsSkinSlider1->value(), 0);
    QVERIFY(!f.w->btnRemove->isEnabled());
    QVERIFY(!f.w->btnStart->isEnabled());
  }

  void movingARowTakesItsRecordsAlong() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(MakeClip(f.Media("b.avi")));
    f.files = {f.Media("a.avi")};
    f.w->btnAddClick();
    f.w->SelectCategory(1);  // a video format for the second file
    f.files = {f.Media("b.avi")};
    f.w->btnAddClick();
    const QString codeOfB = f.Text(1, fcFormatCode);
    f.w->SelectRow(1);
    f.w->MoveRowUp();
    QCOMPARE(f.Text(0, fcInputFile), f.Media("b.avi"));
    QCOMPARE(f.Text(0, fcFormatCode), codeOfB);
    QCOMPARE(f.Text(0, fcTaskNumber), QString("2"));  // the task number stays with its file
    QCOMPARE(QString::fromStdString(f.w->IO1(0).FileName), f.Media("b.avi"));
    QCOMPARE(f.w->SelectedRow(), 0);
    f.w->MoveRowUp();  // already first: nothing
    QCOMPARE(f.Text(0, fcInputFile), f.Media("b.avi"));
    f.w->MoveRowDown();
    QCOMPARE(f.Text(1, fcInputFile), f.Media("b.avi"));
    QCOMPARE(f.w->SelectedRow(), 1);
  }

  void selectingARowRestoresItsChoices() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    QVERIFY(MakeClip(f.Media("b.avi")));
    f.files = {f.Media("a.avi")};
    f.w->btnAddClick();  // MP3
    f.w->lvFiles->selectionModel()->clearSelection();  // so the format change leaves it alone
    f.w->SelectCategory(3);
    f.w->SelectFormat(2);
    f.files = {f.Media("b.avi")};
    f.w->btnAddClick();  // third iPod format
    f.w->SelectRow(0);
    QCOMPARE(f.w->bsSkinOfficeComboBox2->currentIndex(), 0);
    QCOMPARE(f.w->bsSkinOfficeComboBox1->currentIndex(), 0);
    f.w->SelectRow(1);
    QCOMPARE(f.w->bsSkinOfficeComboBox2->currentIndex(), 3);
    QCOMPARE(f.w->bsSkinOfficeComboBox1->currentIndex(), 2);
    QCOMPARE(f.w->T_Movie_PLayer_FileName, f.Media("b.avi"));
  }

  void rowWithAnUnreadableOptionCodeRestoresNothing() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    f.files = {f.Media("a.avi")};
    f.w->btnAddClick();
    f.w->lvFiles->selectionModel()->clearSelection();
    f.w->filesModel->SetText(0, fcOptionCode, "0-100000000");
    f.w->SelectCategory(2);
    f.w->T_Movie_PLayer_FileName.clear();
    f.w->SelectRow(0);
    QCOMPARE(f.w->bsSkinOfficeComboBox2->currentIndex(), 2);
    QVERIFY(f.w->T_Movie_PLayer_FileName.isEmpty());
  }

  void rename_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("new name") << "movie" << "movie.mp3";
    QTest::newRow("empty keeps") << "" << "a.mp3";
    QTest::newRow("folder refused") << "../x" << "a.mp3";
    QTest::newRow("dot refused") << "." << "a.mp3";
    QTest::newRow("dot dot refused") << ".." << "a.mp3";
    QTest::newRow("spaces and Chinese") << "我的 视频" << "我的 视频.mp3";
  }

  void rename() {
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    TFixture f;
    f.w->show();
    QVERIFY(MakeClip(f.Media("a.avi")));
    f.files = {f.Media("a.avi")};
    f.w->btnAddClick();
    f.w->StartRename();
    QVERIFY(f.w->edtRename->isVisible());
    QCOMPARE(f.w->edtRename->text(), QString("a"));
    f.w->edtRename->setText(typed);
    f.w->FinishRename();
    QVERIFY(!f.w->edtRename->isVisible());
    QCOMPARE(f.Text(0, fcOutputFile), expected);
  }

  void renameTakesTheExtensionOfTheShownFormat() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    f.files = {f.Media("a.avi")};
    f.w->btnAddClick();
    f.w->SelectCategory(1);  // the selected row takes the first video format, ".avi"
    f.w->StartRename();
    f.w->edtRename->setText("movie");
    f.w->FinishRename();
    QCOMPARE(f.Text(0, fcOutputFile), QString("movie.avi"));
  }

  void droppedFilesAndFoldersAreAdded() {
    TFixture f;
    f.w->show();
    QDir(f.env.home.path()).mkpath("dropped");
    QVERIFY(MakeClip(f.Media("one.avi")));
    QVERIFY(MakeTone(f.Media("dropped/two.wav")));
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(f.Media("one.avi")), QUrl::fromLocalFile(f.Media("dropped"))});
    // A drop is delivered only to a widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.w->lvFiles->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.w->lvFiles->viewport(), &drop);
    QCOMPARE(f.Column(fcInputFile), QStringList({f.Media("one.avi"), f.Media("dropped/two.wav")}));
    delete mime;
  }

  void progressTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("percent");
    QTest::newRow("percent") << "37%" << 37;
    QTest::newRow("over 100") << "103%" << 100;
    QTest::newRow("not available") << "N/A" << -1;
    QTest::newRow("empty") << "" << -1;
  }

  void progressTexts() {
    QFETCH(QString, text);
    QFETCH(int, percent);
    QCOMPARE(TProgressDelegate::PercentOf(text), percent);
  }

  void clearingEmptiesListAndTasks() {
    TFixture f;
    QVERIFY(MakeClip(f.Media("a.avi")));
    f.files = {f.Media("a.avi")};
    f.w->btnAddClick();
    f.w->btnClearClick();
    QCOMPARE(f.Rows(), 0);
    QCOMPARE(f.w->TaskMgr().TasksCount(), 0);
    QVERIFY(f.w->btnAdd->isEnabled());
    QVERIFY(!f.w->btnClear->isEnabled());
  }
};

QTEST_MAIN(FileListTest)
#include "file_list_test.moc"
