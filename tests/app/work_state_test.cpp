// Which commands the main window enables in each work state, through the window's controls.
#include <QComboBox>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "app/app_test_env.h"
#include "app/file_list_model.h"
#include "app/work_state.h"

namespace {

// Enabled states as one string, one letter per group in TWorkGroup order ('1' on, '0' off),
// read from the controls themselves (toolbar button and menu entry must agree where shared).
QString Snapshot(TForm1& w) {
  auto both = [](QWidget* button, QAction* action) -> QChar {
    if (button->isEnabled() != action->isEnabled())
      return '?';
    return button->isEnabled() ? '1' : '0';
  };
  QString s;
  s += both(w.btnAdd, w.actAddOne);
  s += (w.btnRemove->isEnabled() == w.btnRename->isEnabled()) ? both(w.btnRemove, w.actRemove) : QChar('?');
  s += both(w.btnClear, w.actClear);
  s += w.btnStart->isEnabled() ? '1' : '0';
  s += w.actStart->isEnabled() ? '1' : '0';
  s += both(w.btnStop, w.actStop);
  s += both(w.btnPause, w.actPause);
  s += both(w.btnResume, w.actResume);
  // The output choices as the lists an audio format never disables show them.
  bool output = w.btnBrowse->isEnabled();
  for (QWidget* c : {static_cast<QWidget*>(w.bsSkinComboBox3), static_cast<QWidget*>(w.bsSkinComboBox10),
                     static_cast<QWidget*>(w.bsSkinOfficeComboBox1),
                     static_cast<QWidget*>(w.bsSkinOfficeComboBox2)})
    if (c->isEnabled() != output)
      return s + "?";
  s += output ? '1' : '0';
  return s;
}

void SetRows(TForm1& w, int rows) {
  w.filesModel->Clear();
  for (int i = 0; i < rows; ++i)
    w.filesModel->AppendRow({QString("file%1").arg(i)});
}

}  // namespace

class WorkStateTest : public QObject {
  Q_OBJECT

private slots:
  // Each row: a route of transitions from a new window (with two rows listed), the state it
  // reaches, one more transition with the rows then left, and the state after it. States are
  // strings over the groups Add, Remove/Rename, Clear, Start button, Start menu, Stop, Pause,
  // Resume, Output choices.
  void transitions_data() {
    QTest::addColumn<QList<int>>("route");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("transition");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("after");
    const QList<int> added{wtFileAdded}, running{wtFileAdded, wtRunStarted},
        paused{wtFileAdded, wtRunStarted, wtPaused}, stopped{wtFileAdded, wtRunStarted, wtStopped},
        ended{wtFileAdded, wtRunStarted, wtRunEnded};
    //                                                     AdRmClSbSmStPaReOu
    QTest::newRow("file added to empty") << QList<int>{} << "100000001" << int(wtFileAdded) << 1 << "111110001";
    QTest::newRow("row removed, rows remain") << added << "111110001" << int(wtRowRemoved) << 1 << "111110001";
    QTest::newRow("last row removed") << added << "111110001" << int(wtRowRemoved) << 0 << "100000001";
    QTest::newRow("list cleared") << ended << "001000001" << int(wtListCleared) << 0 << "100000001";
    QTest::newRow("run started") << added << "111110001" << int(wtRunStarted) << 2 << "000001100";
    QTest::newRow("paused") << running << "000001100" << int(wtPaused) << 2 << "000001010";
    QTest::newRow("resumed") << paused << "000001010" << int(wtResumed) << 2 << "000001100";
    QTest::newRow("stopped running") << running << "000001100" << int(wtStopped) << 2 << "000100101";
    QTest::newRow("stopped paused") << paused << "000001010" << int(wtStopped) << 2 << "000100011";
    QTest::newRow("run ended") << running << "000001100" << int(wtRunEnded) << 2 << "001000001";
    QTest::newRow("run ended after stop") << stopped << "000100101" << int(wtRunEnded) << 2 << "001100001";
    QTest::newRow("cleared after stop") << stopped << "000100101" << int(wtListCleared) << 0 << "100000101";
  }

  void transitions() {
    QFETCH(QList<int>, route);
    QFETCH(QString, before);
    QFETCH(int, transition);
    QFETCH(int, rows);
    QFETCH(QString, after);
    TTestHome env;
    TForm1 w;
    SetRows(w, 2);
    for (int t : route)
      w.ApplyWorkTransition(TWorkTransition(t));
    QCOMPARE(Snapshot(w), before);
    SetRows(w, rows);
    w.ApplyWorkTransition(TWorkTransition(transition));
    QCOMPARE(Snapshot(w), after);
  }

  void createdWindowState() {
    TTestHome env;
    TForm1 w;
    QCOMPARE(Snapshot(w), QString("100000001"));
    QVERIFY(w.ShowsPause());
    // Always enabled.
    for (QAction* a : {w.actMoveUp, w.actMoveDown, w.actOptions, w.actExit, w.actHelp, w.actWebsite,
                       w.actMail, w.actAbout})
      QVERIFY(a->isEnabled());
    for (QWidget* b : {static_cast<QWidget*>(w.btnMoveUp), static_cast<QWidget*>(w.btnMoveDown),
                       static_cast<QWidget*>(w.btnOptions), static_cast<QWidget*>(w.btnOpenFolder),
                       static_cast<QWidget*>(w.btnPlay), static_cast<QWidget*>(w.bsSkinSlider1)})
      QVERIFY(b->isEnabled());
  }

  void alwaysEnabledCommandsStayEnabledDuringARun() {
    TTestHome env;
    TForm1 w;
    SetRows(w, 1);
    w.ApplyWorkTransition(wtFileAdded);
    w.ApplyWorkTransition(wtRunStarted);
    for (QAction* a : {w.actMoveUp, w.actMoveDown, w.actOptions, w.actExit})
      QVERIFY(a->isEnabled());
    QVERIFY(w.btnMoveUp->isEnabled());
    QVERIFY(w.btnOptions->isEnabled());
  }

  void pauseAndResumeShareOnePlace() {
    TTestHome env;
    TForm1 w;
    w.show();
    SetRows(w, 1);
    w.ApplyWorkTransition(wtFileAdded);
    w.ApplyWorkTransition(wtRunStarted);
    QVERIFY(w.ShowsPause());
    QVERIFY(w.btnPause->isVisible());
    QVERIFY(!w.btnResume->isVisible());
    w.actPause->trigger();
    QVERIFY(!w.ShowsPause());
    QTRY_VERIFY(w.btnResume->isVisible());
    QTRY_VERIFY(!w.btnPause->isVisible());
    // Stopping a paused run keeps "继续" on show; it is disabled after the run ended.
    w.ApplyWorkTransition(wtStopped);
    QVERIFY(!w.ShowsPause());
    w.ApplyWorkTransition(wtRunEnded);
    QVERIFY(!w.ShowsPause());
    QVERIFY(!w.btnResume->isEnabled());
    // Only the pause and resume commands change which of the two is shown.
    w.ApplyWorkTransition(wtListCleared);
    QVERIFY(!w.ShowsPause());
    w.btnResumeClick();
    QVERIFY(w.ShowsPause());
  }

  void afterARunThatEndedByItselfOnlyClearIsEnabled() {
    TTestHome env;
    TForm1 w;
    SetRows(w, 3);
    w.ApplyWorkTransition(wtFileAdded);
    w.ApplyWorkTransition(wtRunStarted);
    w.ApplyWorkTransition(wtRunEnded);
    QVERIFY(!w.btnStart->isEnabled());
    QVERIFY(!w.actStart->isEnabled());
    QVERIFY(!w.btnAdd->isEnabled());
    QVERIFY(!w.btnRemove->isEnabled());
    QVERIFY(!w.btnRename->isEnabled());
    QVERIFY(w.btnClear->isEnabled());
  }
};

QTEST_MAIN(WorkStateTest)
#include "work_state_test.moc"
