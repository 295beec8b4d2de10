// The catalogue lists and option lists of the main window, and how a format or option change
// rewrites the selected row.
#include <QComboBox>
#include <QItemSelectionModel>
#include <QTest>
#include <QTreeView>

#include "app/app_test_env.h"
#include "app/file_list_model.h"
#include "presets/option_code.h"

namespace {

QStringList Items(QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i)
    items << list->itemText(i);
  return items;
}

// Adds a row for the format and option entries the window shows, and selects it (which
// restores those same choices).
int AddSelectedRow(TForm1& w, const QString& outputName) {
  QStringList texts;
  for (int c = 0; c < fcColumnCount; ++c)
    texts << QString();
  texts[fcInputFile] = "/music/a.wav";
  texts[fcOutputFile] = outputName;
  texts[fcFormatCode] = QString::number(FormatCode(w.CategoryIndex(), w.FormatIndex()));
  TOptionIndexes indexes;
  for (int l = 0; l < kOptionListCount; ++l)
    indexes[l] = w.OptionListControl(TOptionList(l))->currentIndex();
  texts[fcOptionCode] = QString::fromStdString(EncodeOptionCode(indexes));
  const int row = w.filesModel->AppendRow(texts);
  w.lvFiles->selectionModel()->select(w.filesModel->index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  return row;
}

}  // namespace

class CatalogueListsTest : public QObject {
  Q_OBJECT

private slots:
  void startUpShowsTheFirstCategoryAndFormat() {
    TTestHome env;
    TForm1 w;
    QCOMPARE(Items(w.bsSkinOfficeComboBox2), QStringList({"常用音频", "常用视频", "MP4视频", "iPod视频"}));
    QCOMPARE(w.bsSkinOfficeComboBox2->currentIndex(), 0);
    QCOMPARE(w.bsSkinOfficeComboBox1->count(), 13);
    QCOMPARE(w.bsSkinOfficeComboBox1->currentText(), QString("MP3 - MPEG Layer-3音频格式(*.mp3)"));
    // An audio format: the four video lists hold one entry each and are disabled.
    QCOMPARE(Items(w.bsSkinComboBox1), QStringList({"该格式无视频"}));
    for (QComboBox* l : {w.bsSkinComboBox2, w.bsSkinComboBox9, w.bsSkinComboBox4})
      QCOMPARE(Items(l), QStringList({"无视频"}));
    for (QComboBox* l : {w.bsSkinComboBox1, w.bsSkinComboBox2, w.bsSkinComboBox9, w.bsSkinComboBox4})
      QVERIFY(!l->isEnabled());
    QCOMPARE(w.bsSkinComboBox3->currentText(), QString("128 kbps"));
    QCOMPARE(w.bsSkinComboBox10->currentText(), QString("44100"));
    QVERIFY(w.bsSkinComboBox3->isEnabled());
    QVERIFY(w.bsSkinComboBox10->isEnabled());
  }

  void choosingACategoryRefillsFormatsAndOptions() {
    TTestHome env;
    TForm1 w;
    w.SelectCategory(3);
    QCOMPARE(w.bsSkinOfficeComboBox1->count(), 14);
    QCOMPARE(w.bsSkinOfficeComboBox1->currentIndex(), 0);
    QCOMPARE(w.bsSkinOfficeComboBox1->currentText(), QString("iPod (320X240) 高清晰视频(*.mp4)"));
    for (int l = 0; l < kOptionListCount; ++l)
      QVERIFY(w.OptionListControl(TOptionList(l))->isEnabled());  // a video format again
    QVERIFY(w.bsSkinComboBox1->count() > 1);
  }

  void formatDefaults_data() {
    QTest::addColumn<int>("category");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("shown");  // resolution, video bitrate, frame rate, aspect
    QTest::newRow("DVD") << 1 << "DVD - 视频格式(*.mpg)" << QStringList({"704*480", "1200 kbps", "29.97"});
    QTest::newRow("SVCD") << 1 << "SVCD - 视频格式(*.mpg)" << QStringList({"480*480", "528 kbps", "25.00"});
    QTest::newRow("iPod touch wide") << 3 << "iPod touch MPEG-4 480P宽屏视频(*.mp4)"
                                     << QStringList({"640*272", "", "", "宽屏视频16:9模式"});
  }

  void formatDefaults() {
    QFETCH(int, category);
    QFETCH(QString, format);
    QFETCH(QStringList, shown);
    TTestHome env;
    TForm1 w;
    w.SelectCategory(category);
    const int index = Items(w.bsSkinOfficeComboBox1).indexOf(format);
    QVERIFY2(index >= 0, qPrintable(format));
    w.SelectFormat(index);
    QComboBox* lists[] = {w.bsSkinComboBox1, w.bsSkinComboBox2, w.bsSkinComboBox9, w.bsSkinComboBox4};
    for (int i = 0; i < shown.size(); ++i)
      if (!shown[i].isEmpty())
        QCOMPARE(lists[i]->currentText(), shown[i]);
  }

  void amrOffersItsOwnLists() {
    TTestHome env;
    TForm1 w;
    const int amr = Items(w.bsSkinOfficeComboBox1).indexOf("AMR-手机音频格式(*.amr)");
    QVERIFY(amr >= 0);
    w.SelectFormat(amr);
    QCOMPARE(w.bsSkinComboBox3->itemText(0), QString("4.75 kbps"));
    QCOMPARE(w.bsSkinComboBox3->itemText(w.bsSkinComboBox3->count() - 1), QString("12.2 kbps"));
    QCOMPARE(w.bsSkinComboBox3->currentText(), QString("7.4 kbps"));
    QCOMPARE(Items(w.bsSkinComboBox10), QStringList({"8000"}));
  }

  void formatChangeWithoutSelectedRowChangesNoRow() {
    TTestHome env;
    TForm1 w;
    AddSelectedRow(w, "a.mp3");
    w.lvFiles->selectionModel()->clearSelection();
    const QString before = w.filesModel->Text(0, fcFormatCode) + w.filesModel->Text(0, fcOutputFile);
    w.SelectCategory(1);
    QCOMPARE(w.filesModel->Text(0, fcFormatCode) + w.filesModel->Text(0, fcOutputFile), before);
    QVERIFY(w.filesModel->Text(0, fcVideoCodec).isEmpty());
  }

  void formatChangeRewritesTheSelectedRow_data() {
    QTest::addColumn<int>("category");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("outputName");
    QTest::addColumn<QString>("code");
    QTest::newRow("RA") << 0 << "RA - RealAudio音频格式(*.ra)" << "a.ra" << "106";
    QTest::newRow("FLAC") << 0 << "FLAC-音频格式(*.flac)" << "a.flac" << "";
    QTest::newRow("fourth video format") << 1 << "" << "" << "203";
  }

  void formatChangeRewritesTheSelectedRow() {
    QFETCH(int, category);
    QFETCH(QString, format);
    QFETCH(QString, outputName);
    QFETCH(QString, code);
    TTestHome env;
    TForm1 w;
    const int row = AddSelectedRow(w, "a.mp3");
    w.SelectCategory(category);
    const int index = format.isEmpty() ? 3 : Items(w.bsSkinOfficeComboBox1).indexOf(format);
    QVERIFY(index >= 0);
    w.SelectFormat(index);
    if (!outputName.isEmpty())
      QCOMPARE(w.filesModel->Text(row, fcOutputFile), outputName);
    QCOMPARE(w.filesModel->Text(row, fcFormatCode).toInt(), 100 * (category + 1) + index);
    if (!code.isEmpty())
      QCOMPARE(w.filesModel->Text(row, fcFormatCode), code);
    // Columns 11 to 24 come from the format's parameter set: "True"/"False" for no video.
    QCOMPARE(w.filesModel->Text(row, fcNoVideo), category == 0 ? QString("True") : QString("False"));
    QCOMPARE(w.filesModel->Text(row, fcOptionCode).size(), 12);
  }

  void dvdRowGetsTargetAndNorm() {
    TTestHome env;
    TForm1 w;
    const int row = AddSelectedRow(w, "a.mp3");
    w.SelectCategory(1);
    w.SelectFormat(Items(w.bsSkinOfficeComboBox1).indexOf("DVD - 视频格式(*.mpg)"));
    QCOMPARE(w.filesModel->Text(row, fcTargetType), QString("dvd"));
    QCOMPARE(w.filesModel->Text(row, fcNormType), QString("PAL"));
    QCOMPARE(w.filesModel->Text(row, fcFileExt), QString());
    QCOMPARE(w.filesModel->Text(row, fcNoVideo), QString("False"));
    QCOMPARE(w.filesModel->Text(row, fcOutputFile), QString("a.mpg"));
  }

  void optionChangeRewritesItsPairAndColumn() {
    TTestHome env;
    TForm1 w;
    w.SelectCategory(1);  // a video format, all lists enabled
    const int row = AddSelectedRow(w, "a.avi");
    w.SelectFormat(0);
    const QString code = w.filesModel->Text(row, fcOptionCode);
    w.SetOptionIndex(olFrameRate, 10);  // "29.97"
    QCOMPARE(w.filesModel->Text(row, fcOptionCode).mid(8, 2), QString("10"));
    QCOMPARE(w.filesModel->Text(row, fcFrameRate), QString("29.97"));
    w.SetOptionIndex(olFrameRate, 3);
    QCOMPARE(w.filesModel->Text(row, fcOptionCode).mid(8, 2), QString("03"));
    QCOMPARE(w.filesModel->Text(row, fcOptionCode).left(8), code.left(8));
    w.SetOptionIndex(olVideoBitrate, 3);
    QCOMPARE(w.filesModel->Text(row, fcVideoBitrate),
             QString::number(w.bsSkinComboBox2->currentText().section(' ', 0, 0).toInt() * 1000));
  }

  void optionChangeWithTheSameTextRaisesNothing() {
    TTestHome env;
    TForm1 w;
    w.SelectCategory(1);
    const int row = AddSelectedRow(w, "a.avi");
    w.SelectFormat(0);
    w.SetOptionIndex(olResolution, 24);
    QCOMPARE(w.filesModel->Text(row, fcOptionCode).left(2), QString("24"));
    w.SetOptionIndex(olResolution, 25);  // "1920*1200" again: no change handling
    QCOMPARE(w.bsSkinComboBox1->currentIndex(), 25);
    QCOMPARE(w.filesModel->Text(row, fcOptionCode).left(2), QString("24"));
  }

  void userChoiceOfAnOptionIsRecorded() {
    TTestHome env;
    TForm1 w;
    w.SelectCategory(1);
    const int row = AddSelectedRow(w, "a.avi");
    w.SelectFormat(0);
    w.bsSkinComboBox10->setCurrentIndex(0);  // as the user's choice does
    QCOMPARE(w.filesModel->Text(row, fcSampleRate), w.bsSkinComboBox10->itemText(0));
    QCOMPARE(w.filesModel->Text(row, fcOptionCode).right(2), QString("00"));
  }

  void optionChangeWithoutSelectedRowChangesNothing() {
    TTestHome env;
    TForm1 w;
    w.SelectCategory(1);
    const TParameterSet before = w.Params();
    w.SetOptionIndex(olFrameRate, 2);
    QCOMPARE(w.Params().Video_FrameRate, before.Video_FrameRate);
  }

  void selectingTheSameCategoryAgainRefills() {
    TTestHome env;
    TForm1 w;
    w.SelectCategory(1);
    w.SelectFormat(5);
    w.SelectCategory(1);
    QCOMPARE(w.bsSkinOfficeComboBox1->currentIndex(), 0);
    QCOMPARE(w.bsSkinOfficeComboBox1->count(), 15);
  }
};

QTEST_MAIN(CatalogueListsTest)
#include "catalogue_lists_test.moc"
