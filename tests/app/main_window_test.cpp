// The main window's start-up, layout, commands, output folder, help links, open filters,
// diagnostic log and closing.
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <thread>

#include "app/about_box.h"
#include "app/app_test_env.h"
#include "app/open_filters.h"
#include "app/qt_dispatcher.h"
#include "media/task_manager.h"
#include "settings/settings_file.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

QStringList MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* a : menu->actions())
    texts << (a->isSeparator() ? QString("-") : a->text());
  return texts;
}

QString IniValue(const QString& path, const QString& key) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    return {};
  for (const QByteArray& line : f.readAll().split('\n')) {
    QString l = QString::fromUtf8(line).trimmed();
    if (l.startsWith(key + "="))
      return l.mid(key.size() + 1);
  }
  return {};
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

private slots:
  void windowGeometryAndTitle() {
    TTestHome env;
    TForm1 w;
    QCOMPARE(w.windowTitle(), QString("Varnosk"));
    QCOMPARE(w.size(), QSize(805, 541));
    QCOMPARE(w.minimumSize(), w.maximumSize());
  }

  void menusInOrderWithExactTexts() {
    TTestHome env;
    TForm1 w;
    const QList<QAction*> menus = w.menuBar()->actions();
    QCOMPARE(menus.size(), 4);
    const QStringList expected[] = {
        {"添加一个文件", "添加多个文件", "添加整个目录", "-", "退出"},
        {"上移文件", "下移文件", "-", "删除选择", "清空文件", "-", "重新命名"},
        {"开始转换", "停止转换", "-", "暂停转换", "继续继续", "-", "选项设置"},
        {"帮助系统", "-", "官方网站", "联系邮箱", "关于软件"},
    };
    const char* titles[] = {"文件", "编辑", "动作", "帮助"};
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(menus[i]->text(), QString(titles[i]));
      QCOMPARE(MenuTexts(menus[i]->menu()), expected[i]);
    }
    QCOMPARE(w.actHelp->shortcut(), QKeySequence(Qt::Key_F1));
  }

  void toolbarAndPanelTexts() {
    TTestHome env;
    TForm1 w;
    QCOMPARE(w.btnAdd->text(), QString("添加"));
    QCOMPARE(MenuTexts(w.btnAdd->menu()), QStringList({"添加一个文件", "添加多个文件", "添加整个目录"}));
    QCOMPARE(w.btnRemove->text(), QString("删除"));
    QCOMPARE(w.btnClear->text(), QString("清空"));
    QCOMPARE(w.btnStart->text(), QString("开始"));
    QCOMPARE(w.btnStop->text(), QString("停止"));
    QCOMPARE(w.btnPause->text(), QString("暂停"));
    QCOMPARE(w.btnResume->text(), QString("继续"));
    QCOMPARE(w.btnOptions->text(), QString("选项"));
    QCOMPARE(w.btnMoveUp->toolTip(), QString("上移"));
    QCOMPARE(w.btnMoveDown->toolTip(), QString("下移"));
    QCOMPARE(w.btnRename->toolTip(), QString("重命名"));
    QCOMPARE(w.btnBrowse->text(), QString("浏览..."));
    QCOMPARE(w.btnOpenFolder->text(), QString("打开"));
    QVERIFY(w.Video_OutPut_Folder_Edit->isReadOnly());

    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>())
      labels << l->text();
    for (const char* t : {"输出格式：", "输出目录：", "视频分辨率：", "视频比特率：", "视频帧率：",
                          "音频比特率：", "音频采样率：", "视频缩放："})
      QVERIFY2(labels.contains(t), t);
    QStringList groups;
    for (QGroupBox* g : w.findChildren<QGroupBox*>())
      groups << g->title();
    QVERIFY(groups.contains("预置选项"));
    QVERIFY(groups.contains("视频预览"));
    QCOMPARE(w.pnlScreen->size(), QSize(200, 124));
    QCOMPARE(w.FScreenControl, static_cast<QWidget*>(w.pnlScreen));
    QCOMPARE(w.bsSkinSlider1_down_UP, QString("UP"));
  }

  void toolbarButtonsHaveEnabledAndDisabledPictures() {
    TTestHome env;
    TForm1 w;
    for (QToolButton* b : {w.btnAdd, w.btnRemove, w.btnClear, w.btnStart, w.btnStop, w.btnPause,
                           w.btnResume, w.btnMoveUp, w.btnMoveDown, w.btnRename}) {
      QImage on = b->icon().pixmap(28, QIcon::Normal).toImage();
      QImage off = b->icon().pixmap(28, QIcon::Disabled).toImage();
      QVERIFY(!on.isNull());
      QVERIFY2(on != off, qPrintable(b->text() + b->toolTip()));
    }
  }

  void browseStoresAnExistingFolder() {
    TTestHome env;
    QTemporaryDir chosen;
    QString answer = chosen.path();
    QString askedTitle;
    TMainWindowServices services;
    TRecordingShell shell;
    services.shell = &shell;
    services.chooseFolder = [&](QWidget*, const QString& title, const QString&) {
      askedTitle = title;
      return answer;
    };
    TForm1 w(services);
    w.ChooseOutputFolder();
    QCOMPARE(askedTitle, QString("选择输出目录"));
    QCOMPARE(w.FileOutPutPath(), chosen.path());
    QCOMPARE(w.Video_OutPut_Folder_Edit->text(), chosen.path());
    QCOMPARE(IniValue(env.IniPath(), "OutPath"), chosen.path());
  }

  void browseCancelledOrMissingFolderChangesNothing_data() {
    QTest::addColumn<QString>("answer");
    QTest::newRow("cancelled") << QString();
    QTest::newRow("missing folder") << QString("/nonexistent/varnosk/folder");
  }

  void browseCancelledOrMissingFolderChangesNothing() {
    QFETCH(QString, answer);
    TTestHome env;
    TMainWindowServices services;
    TRecordingShell shell;
    services.shell = &shell;
    services.chooseFolder = [&](QWidget*, const QString&, const QString&) { return answer; };
    TForm1 w(services);
    const QString before = w.FileOutPutPath();
    QFile ini(env.IniPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray fileBefore = ini.readAll();
    ini.close();
    w.ChooseOutputFolder();
    QCOMPARE(w.FileOutPutPath(), before);
    QCOMPARE(w.Video_OutPut_Folder_Edit->text(), before);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), fileBefore);
  }

  void firstStartShowsAndCreatesTheDefaultFolder() {
    TTestHome env;
    TForm1 w;
    const QString expected = env.home.path() + "/Pellum视频软件/输出";
    QCOMPARE(w.FileOutPutPath(), expected);
    QVERIFY(QDir(expected).exists());
    QCOMPARE(IniValue(env.IniPath(), "OutPath"), expected);
    QCOMPARE(IniValue(env.IniPath(), "SetSkin"), QString("0"));
  }

  void shellActionsGoThroughTheLauncher() {
    TTestHome env;
    TRecordingShell shell;
    TMainWindowServices services;
    services.shell = &shell;
    TForm1 w(services);
    w.actHelp->trigger();
    w.actWebsite->trigger();
    w.actMail->trigger();
    w.btnOpenFolder->click();
    QCOMPARE(shell.opened.size(), 4);
    QVERIFY(shell.opened[0].startsWith("https://"));
    QCOMPARE(shell.opened[1], shell.opened[0]);
    QVERIFY(shell.opened[2].startsWith("mailto:"));
    QVERIFY(shell.opened[2].contains('@'));
    QCOMPARE(shell.opened[3], w.Video_OutPut_Folder_Edit->text());
  }

  void aboutGoesThroughItsService() {
    TTestHome env;
    int shown = 0;
    TMainWindowServices services;
    TRecordingShell shell;
    services.shell = &shell;
    services.showAbout = [&](QWidget*) { ++shown; };
    TForm1 w(services);
    w.actAbout->trigger();
    QCOMPARE(shown, 1);
  }

  void aboutBoxNamesProductAndVersion() {
    TAboutBox box;
    QStringList texts;
    for (QLabel* l : box.findChildren<QLabel*>())
      texts << l->text();
    QVERIFY(texts.contains("Varnosk"));
    QVERIFY(!VarnoskVersion().isEmpty());
    QVERIFY(texts.contains("版本 " + VarnoskVersion()));
  }

  void openFiltersKeepEveryDisplayText() {
    const QString text = OpenFilterText();
    QVERIFY(text.startsWith("所有文件格式 (*.*)|*.*|支持的视频/音频文件格式|*.AVI;"));
    QVERIFY(text.contains("*.SWF;*.FLAC;*.M4A;"));  // entries 2 and 3 run on into one list
    QVERIFY(text.endsWith("AIFF音频编码格式(*.aif; *.aiff)|*.aif; *.aiff|"));
    QVERIFY(text.contains(QString("Flac无损压缩音频格式") + QChar(0x3000) + "(*.flac)|*.flac|"));

    const QStringList filters = OpenNameFilters();
    QCOMPARE(filters.size(), 42);  // 43 texts, two of which form one entry
    const QStringList fields = text.split('|');
    for (int i = 0; i < filters.size(); ++i)
      QVERIFY2(filters[i].startsWith(fields[2 * i]), qPrintable(filters[i]));
  }

  void openFiltersInQtSyntax_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("filter");
    QTest::newRow("kept as is") << "AVI文件 (*.avi)" << "AVI文件 (*.avi)";
    QTest::newRow("all files") << "所有文件格式 (*.*)" << "所有文件格式 (*.*)";
    QTest::newRow("semicolons") << "Real视频文件格式 (*.rm;*.rmvb)"
                                << "Real视频文件格式 (*.rm;*.rmvb) (*.rm *.rmvb)";
    QTest::newRow("blank after semicolon") << "AIFF音频编码格式(*.aif; *.aiff)"
                                           << "AIFF音频编码格式(*.aif; *.aiff) (*.aif *.aiff)";
    QTest::newRow("no patterns in text") << "支持的音频文件格式"
                                         << "支持的音频文件格式 (*.MP3 *.AAC *.WAV *.WMA *.CDA *.FLAC *.M4A *.MID *.MKA *.MP2 *.MPA *.MPC *.APE *.OFR *.OGG *.RA *.WV *.TTA *.AC3)";
  }

  void openFiltersInQtSyntax() {
    QFETCH(QString, display);
    QFETCH(QString, filter);
    QVERIFY(OpenNameFilters().contains(filter));
  }

  void bothOpenDialogsGetTheFilters() {
    TTestHome env;
    TForm1 w;
    // The dialog folds runs of white space (the ideographic space of the FLAC entry included).
    QStringList folded;
    for (const QString& f : OpenNameFilters())
      folded << f.simplified();
    for (QFileDialog* d : {w.OpenDialog, w.OpenMultiDialog}) {
      QCOMPARE(d->windowTitle(), QString("打开文件"));
      QCOMPARE(d->nameFilters(), folded);
      QCOMPARE(d->selectedNameFilter(), folded.first());
    }
    QCOMPARE(w.OpenDialog->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(w.OpenMultiDialog->fileMode(), QFileDialog::ExistingFiles);
  }

  void mediaLoggerLogLineFormat() {
    TTestHome env;
    TForm1 w;
    w.MediaLoggerLog(nullptr, 1234, llInfo, "abc");
    w.MediaLoggerLog(nullptr, 4000000000u, llQuiet, "q");
    w.MediaLoggerLog(nullptr, 7, llDebug, "");
    QCOMPARE(w.mmoLog().mid(w.mmoLog().size() - 3),
             QStringList({"#1234.5: abc", "#4000000000.0: q", "#7.7: "}));
  }

  void loggerMessagesFromWorkersArriveInTheLogOnTheMainThread() {
    TTestHome env;
    TQtDispatcher dispatcher;
    TForm1 w;
    uint32_t workerId = 0;
    std::atomic<bool> done{false};
    std::thread worker([&] {
      workerId = CurrentThreadID();
      w.MediaLogger().Log(nullptr, llError, "from a worker");
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    worker.join();
    QCOMPARE(w.mmoLog().last(), QString("#%1.3: from a worker").arg(workerId));
  }

  void libraryMessagesReachTheLogOnceLoaded() {
    TTestHome env;
    TForm1 w;
    QVERIFY(w.TaskMgr().LoadAVLib((env.program.path() + "/LibAV").toStdString()));
    av_log(nullptr, AV_LOG_ERROR, "library says %s\n", "hello");
    QCOMPARE(w.mmoLog().last(), QString("#%1.3: library says hello").arg(CurrentThreadID()));
  }

  void closingDetachesTheLogger() {
    TTestHome env;
    TForm1 w;
    w.show();
    QVERIFY(w.close());
    const qsizetype before = w.mmoLog().size();
    w.MediaLogger().Log(nullptr, llError, "after close");
    QCOMPARE(w.mmoLog().size(), before);
  }

  void clickOnTheFolderBoxFocusesTheList() {
    TTestHome env;
    TForm1 w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.Video_OutPut_Folder_Edit, Qt::LeftButton);
    QTRY_VERIFY(w.lvFiles->hasFocus());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
