#include "settings/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "test_home.h"

namespace {

QByteArray B(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }

QByteArray Stored(const char* key) {
  return B(TIniFile(SettingsFilePath()).ReadString("Options", key, "<none>"));
}

template <class W>
std::vector<W*> InScreenOrder(QWidget* parent) {
  auto widgets = parent->findChildren<W*>();
  std::vector<W*> sorted(widgets.begin(), widgets.end());
  std::stable_sort(sorted.begin(), sorted.end(), [parent](W* a, W* b) {
    const QPoint pa = a->mapTo(parent, QPoint()), pb = b->mapTo(parent, QPoint());
    return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
  });
  return sorted;
}

QStringList Texts(const std::vector<QRadioButton*>& radios) {
  QStringList texts;
  for (auto* r : radios)
    texts << r->text();
  return texts;
}

QRadioButton* Radio(QWidget* dialog, const QString& text) {
  for (auto* r : dialog->findChildren<QRadioButton*>())
    if (r->text() == text)
      return r;
  return nullptr;
}

QGroupBox* Group(QWidget* dialog, const QString& title) {
  for (auto* g : dialog->findChildren<QGroupBox*>())
    if (g->title() == title)
      return g;
  return nullptr;
}

// The texts of the chosen options, one per group of options, in screen order of the groups.
QStringList Chosen(QWidget* dialog) {
  QStringList chosen;
  for (auto* group : InScreenOrder<QGroupBox>(dialog))
    for (auto* r : group->findChildren<QRadioButton*>())
      if (r->isChecked())
        chosen << r->text();
  return chosen;
}

QCheckBox* PreviewBox(QWidget* dialog) { return dialog->findChild<QCheckBox*>(); }
QComboBox* CountList(QWidget* dialog) { return dialog->findChild<QComboBox*>(); }

const QStringList kDefaultChoices = {"自动打开输出文件夹", "自动重命名输出文件",
                                     "正常优先级进行"};

}  // namespace

class TestOptionsDialog : public QObject {
  Q_OBJECT

 private slots:
  void init() { FHome = std::make_unique<TTestHome>(); }
  void cleanup() { FHome.reset(); }

  void textsAndGeometry() {
    TForm5 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("选项"));
    QCOMPARE(dialog.size(), QSize(528, 471));
    QCOMPARE(dialog.minimumSize(), QSize(528, 471));
    QCOMPARE(dialog.maximumSize(), QSize(528, 471));

    QStringList titles;
    for (auto* g : InScreenOrder<QGroupBox>(&dialog))
      titles << g->title();
    QCOMPARE(titles, (QStringList{"转换工作完成后", "如果输出文件存在时", "转换参数",
                                  "转换时CPU利用方式"}));

    QCOMPARE(Texts(InScreenOrder<QRadioButton>(Group(&dialog, "转换工作完成后"))),
             (QStringList{"自动打开输出文件夹", "自动关闭计算机", " 播放提示音乐",
                          "不进行任何操作"}));
    QCOMPARE(Texts(InScreenOrder<QRadioButton>(Group(&dialog, "如果输出文件存在时"))),
             (QStringList{"直接覆盖输出文件", "自动重命名输出文件"}));
    QCOMPARE(Texts(InScreenOrder<QRadioButton>(Group(&dialog, "转换时CPU利用方式"))),
             (QStringList{"系统空闲时进行", "较低优先级进行", "最低优先级进行",
                          "正常优先级进行"}));

    QGroupBox* params = Group(&dialog, "转换参数");
    QVERIFY(params);
    QCOMPARE(params->findChild<QLabel*>()->text(), QString("同时进行转换的文件个数"));
    QComboBox* count = params->findChild<QComboBox*>();
    QVERIFY(count && !count->isEditable());
    QStringList items;
    for (int i = 0; i < count->count(); ++i)
      items << count->itemText(i);
    QStringList expected;
    for (int i = 1; i <= 19; ++i)
      expected << QString::number(i);
    QCOMPARE(items, expected);
    QCOMPARE(params->findChild<QCheckBox*>()->text(), QString("转换时进行实时视频预览"));

    // "确定" then "取消" at the bottom right, below every group.
    QCOMPARE(dialog.OkButton()->text(), QString("确定"));
    QCOMPARE(dialog.CancelButton()->text(), QString("取消"));
    const QRect ok = dialog.OkButton()->geometry(), cancel = dialog.CancelButton()->geometry();
    QVERIFY(ok.right() < cancel.left());
    QCOMPARE(ok.top(), cancel.top());
    QVERIFY(cancel.right() > dialog.width() - 30);
    QVERIFY(cancel.bottom() > dialog.height() - 30);
    for (auto* g : dialog.findChildren<QGroupBox*>())
      QVERIFY(g->geometry().bottom() < ok.top());
  }

  void optionsOfOneGroupOnlyExcludeEachOther() {
    TForm5 dialog;
    Radio(&dialog, "自动关闭计算机")->click();
    Radio(&dialog, "直接覆盖输出文件")->click();
    Radio(&dialog, "最低优先级进行")->click();
    QCOMPARE(Chosen(&dialog),
             (QStringList{"自动关闭计算机", "直接覆盖输出文件", "最低优先级进行"}));
  }

  void firstStart() {
    LoadOutputFolder();
    LoadSkinIndex();
    TForm5 dialog;
    QCOMPARE(FHome->ReadIni(), B("[OutPath]\nOutPath=" + FHome->OutputDefault() +
                                 "\n[Skin]\nSetSkin=0\n[Options]\nThread_Count=0\n"
                                 "After_Done=0\nThread_Priority=3\nOverwrite_File=1\n"
                                 "Show_Preview=0\n"));
    QCOMPARE(Chosen(&dialog), kDefaultChoices);
    QCOMPARE(CountList(&dialog)->currentText(), QString("1"));
    QVERIFY(!PreviewBox(&dialog)->isChecked());
    QCOMPARE(dialog.ThreadCount(), 1);
    QCOMPARE(dialog.AfterDone(), 0);
    QCOMPARE(dialog.ThreadPriority(), 3);
    QCOMPARE(dialog.OverwriteFile(), 1);
    QCOMPARE(dialog.ShowPreview(), false);

    // A first "确定" with the defaults gives the complete file.
    dialog.OkButton()->click();
    QCOMPARE(FHome->ReadIni(), B("[OutPath]\nOutPath=" + FHome->OutputDefault() +
                                 "\n[Skin]\nSetSkin=0\n[Options]\nThread_Count=1\n"
                                 "After_Done=0\nThread_Priority=3\nOverwrite_File=1\n"
                                 "Show_Preview=0\n"));
  }

  void showsStoredChoices_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("live");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("after done 1") << QByteArray("After_Done") << QByteArray("1")
                                  << QString("自动关闭计算机") << 1 << QByteArray("1");
    QTest::newRow("after done 2") << QByteArray("After_Done") << QByteArray("2")
                                  << QString(" 播放提示音乐") << 2 << QByteArray("2");
    QTest::newRow("after done 3") << QByteArray("After_Done") << QByteArray("3")
                                  << QString("不进行任何操作") << 3 << QByteArray("3");
    QTest::newRow("after done 7") << QByteArray("After_Done") << QByteArray("7")
                                  << QString("自动打开输出文件夹") << 0 << QByteArray("0");
    QTest::newRow("priority 0") << QByteArray("Thread_Priority") << QByteArray("0")
                                << QString("系统空闲时进行") << 0 << QByteArray("0");
    QTest::newRow("priority 1") << QByteArray("Thread_Priority") << QByteArray("1")
                                << QString("最低优先级进行") << 1 << QByteArray("1");
    QTest::newRow("priority 2") << QByteArray("Thread_Priority") << QByteArray("2")
                                << QString("较低优先级进行") << 2 << QByteArray("2");
    QTest::newRow("priority garbage") << QByteArray("Thread_Priority") << QByteArray("\xff\x01")
                                      << QString("正常优先级进行") << 3 << QByteArray("3");
    QTest::newRow("overwrite 0") << QByteArray("Overwrite_File") << QByteArray("0")
                                 << QString("直接覆盖输出文件") << 0 << QByteArray("0");
    QTest::newRow("overwrite garbage") << QByteArray("Overwrite_File") << QByteArray("yes")
                                       << QString("自动重命名输出文件") << 1 << QByteArray("1");
  }

  void showsStoredChoices() {
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QString, chosen);
    QFETCH(int, live);
    QFETCH(QByteArray, stored);
    FHome->WriteIni("[Options]\n" + key + "=" + value + "\n");
    TForm5 dialog;
    QVERIFY(Chosen(&dialog).contains(chosen));
    const TOptionValues values = dialog.Values();
    const int shown = key == "After_Done"        ? values.AfterDone
                      : key == "Thread_Priority" ? values.ThreadPriority
                                                 : values.OverwriteFile;
    QCOMPARE(shown, live);
    QCOMPARE(Stored(key.constData()), stored);
  }

  void previewBoxFromFile_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("1") << QByteArray("1") << true << QByteArray("1");
    QTest::newRow("0") << QByteArray("0") << false << QByteArray("0");
    QTest::newRow("garbage") << QByteArray("on") << false << QByteArray("0");
  }

  void previewBoxFromFile() {
    QFETCH(QByteArray, value);
    QFETCH(bool, checked);
    QFETCH(QByteArray, stored);
    FHome->WriteIni("[Options]\nShow_Preview=" + value + "\n");
    std::vector<bool> calls;
    TForm5 dialog(nullptr, [&](bool on) { calls.push_back(on); });
    QCOMPARE(PreviewBox(&dialog)->isChecked(), checked);
    QCOMPARE(dialog.ShowPreview(), checked);
    QCOMPARE(calls, std::vector<bool>{checked});
    QCOMPARE(Stored("Show_Preview"), stored);
  }

  void savedThreadCountIsRestored_data() {
    QTest::addColumn<QByteArray>("value");  // "-" leaves the key out
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("4") << QByteArray("4") << QString("4") << QByteArray("4");
    QTest::newRow("19") << QByteArray("19") << QString("19") << QByteArray("19");
    QTest::newRow("1") << QByteArray("1") << QString("1") << QByteArray("1");
    QTest::newRow("0") << QByteArray("0") << QString("1") << QByteArray("0");
    QTest::newRow("20") << QByteArray("20") << QString("1") << QByteArray("0");
    QTest::newRow("abc") << QByteArray("abc") << QString("1") << QByteArray("0");
    QTest::newRow("absent") << QByteArray("-") << QString("1") << QByteArray("0");
  }

  void savedThreadCountIsRestored() {
    QFETCH(QByteArray, value);
    QFETCH(QString, shown);
    QFETCH(QByteArray, stored);
    if (value != "-")
      FHome->WriteIni("[Options]\nThread_Count=" + value + "\n");
    TForm5 dialog;
    QCOMPARE(CountList(&dialog)->currentText(), shown);
    QCOMPARE(dialog.ThreadCount(), shown.toInt());
    QCOMPARE(Stored("Thread_Count"), stored);
  }

  void okWritesTheChosenOption_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("initial");  // differs from the value the option stands for
    QTest::addColumn<QByteArray>("stored");
    struct TCase {
      const char* Name;
      const char* Option;
      const char* Key;
      const char* Initial;
      const char* Stored;
    };
    const TCase cases[] = {
        {"open folder", "自动打开输出文件夹", "After_Done", "3", "0"},
        {"shut down", "自动关闭计算机", "After_Done", "0", "1"},
        {"sound", " 播放提示音乐", "After_Done", "0", "2"},
        {"nothing", "不进行任何操作", "After_Done", "0", "3"},
        {"overwrite", "直接覆盖输出文件", "Overwrite_File", "1", "0"},
        {"rename", "自动重命名输出文件", "Overwrite_File", "0", "1"},
        {"idle", "系统空闲时进行", "Thread_Priority", "3", "0"},
        {"lower", "较低优先级进行", "Thread_Priority", "3", "2"},
        {"lowest", "最低优先级进行", "Thread_Priority", "3", "1"},
        {"normal", "正常优先级进行", "Thread_Priority", "0", "3"},
    };
    for (const auto& c : cases)
      QTest::newRow(c.Name) << QString::fromUtf8(c.Option) << QByteArray(c.Key)
                            << QByteArray(c.Initial) << QByteArray(c.Stored);
  }

  void okWritesTheChosenOption() {
    QFETCH(QString, option);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, initial);
    QFETCH(QByteArray, stored);
    FHome->WriteIni("[Options]\n" + key + "=" + initial + "\n");
    TForm5 dialog;
    const QByteArray before = FHome->ReadIni();
    QRadioButton* radio = Radio(&dialog, option);
    QVERIFY(radio);
    radio->click();
    QCOMPARE(FHome->ReadIni(), before);  // only "确定" writes
    dialog.OkButton()->click();
    QCOMPARE(Stored(key.constData()), stored);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void okWritesCountAndPreview() {
    TForm5 dialog;
    dialog.show();
    CountList(&dialog)->setCurrentIndex(CountList(&dialog)->findText("12"));
    PreviewBox(&dialog)->click();
    QTimer::singleShot(0, dialog.OkButton(), &QPushButton::click);
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(Stored("Thread_Count"), QByteArray("12"));
    QCOMPARE(Stored("Show_Preview"), QByteArray("1"));

    TForm5 next;  // the next start restores both
    QCOMPARE(next.ThreadCount(), 12);
    QCOMPARE(next.ShowPreview(), true);
  }

  void cancelKeepsLiveChangesAndWritesNothing() {
    TForm5 dialog;
    const QByteArray before = FHome->ReadIni();
    QTimer::singleShot(0, &dialog, [&] {
      Radio(&dialog, "自动关闭计算机")->click();
      Radio(&dialog, "直接覆盖输出文件")->click();
      Radio(&dialog, "较低优先级进行")->click();
      CountList(&dialog)->setCurrentIndex(CountList(&dialog)->findText("3"));
      PreviewBox(&dialog)->click();
      dialog.CancelButton()->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(FHome->ReadIni(), before);
    QCOMPARE(dialog.AfterDone(), 1);
    QCOMPARE(dialog.OverwriteFile(), 0);
    QCOMPARE(dialog.ThreadPriority(), 2);
    QCOMPARE(dialog.ThreadCount(), 3);
    QCOMPARE(dialog.ShowPreview(), true);
    // Shown again, the dialog still holds the changes.
    dialog.show();
    QCOMPARE(Chosen(&dialog),
             (QStringList{"自动关闭计算机", "直接覆盖输出文件", "较低优先级进行"}));
  }

  void previewActionRunsOnEveryChange() {
    FHome->WriteIni("[Options]\nShow_Preview=1\n");
    TForm5 dialog;
    std::vector<bool> calls;
    dialog.SetPreviewAction([&](bool on) { calls.push_back(on); });
    QCOMPARE(calls, std::vector<bool>{true});
    QTest::mouseClick(PreviewBox(&dialog), Qt::LeftButton);
    QCOMPARE(calls, (std::vector<bool>{true, false}));
    PreviewBox(&dialog)->setChecked(true);
    QCOMPARE(calls, (std::vector<bool>{true, false, true}));
    dialog.CancelButton()->click();
    QCOMPARE(calls.size(), size_t(3));
    QCOMPARE(Stored("Show_Preview"), QByteArray("1"));
  }

  void centredOnParentAtEveryShowing() {
    QWidget owner;
    owner.setGeometry(100, 120, 900, 700);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    TForm5 dialog(&owner);
    for (const QPoint where : {QPoint(100, 120), QPoint(300, 50)}) {
      owner.move(where);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      const QPoint offset = dialog.frameGeometry().center() - owner.frameGeometry().center();
      QVERIFY2(offset.manhattanLength() <= 4,
               qPrintable(QString("off centre by %1,%2").arg(offset.x()).arg(offset.y())));
      dialog.hide();
    }
  }

  void unwritableProgramFolderShowsDefaults() {
    TTestHome::UseProgramFolder(FHome->Impossible("program"));
    std::vector<bool> calls;
    TForm5 dialog(nullptr, [&](bool on) { calls.push_back(on); });
    QCOMPARE(Chosen(&dialog), kDefaultChoices);
    QCOMPARE(dialog.ThreadCount(), 1);
    QCOMPARE(calls, std::vector<bool>{false});
    Radio(&dialog, "不进行任何操作")->click();
    dialog.OkButton()->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.AfterDone(), 3);
  }

 private:
  std::unique_ptr<TTestHome> FHome;
};

QTEST_MAIN(TestOptionsDialog)
#include "options_dialog_test.moc"
