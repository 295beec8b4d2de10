// `varnosk --batch`: usage errors, a folder and files converted, failures reported.
#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "app/app_test_env.h"
#include "app/batch_command.h"
#include "app/media_fixtures.h"
#include "app/qt_dispatcher.h"

class BatchCommandTest : public QObject {
  Q_OBJECT

private slots:
  void init() {
    env_ = std::make_unique<TTestHome>();
    QFile ini(env_->IniPath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Options]\nAfter_Done=3\n");  // no completion action from a test
  }
  void cleanup() { env_.reset(); }

  void badUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no format") << QStringList{"a.avi"};
    QTest::newRow("unknown format") << QStringList{"--format", "199", "a.avi"};
    QTest::newRow("format not a number") << QStringList{"--format", "mp3", "a.avi"};
    QTest::newRow("no files") << QStringList{"--format", "100"};
    QTest::newRow("short option code") << QStringList{"--format", "100", "--options", "0000", "a.avi"};
    QTest::newRow("option entry outside the list")
        << QStringList{"--format", "100", "--options", "990000000000", "a.avi"};
    QTest::newRow("threads zero") << QStringList{"--format", "100", "--threads", "0", "a.avi"};
    QTest::newRow("threads 20") << QStringList{"--format", "100", "--threads", "20", "a.avi"};
    QTest::newRow("unknown option") << QStringList{"--format", "100", "--fast", "a.avi"};
    QTest::newRow("missing value") << QStringList{"a.avi", "--out"};
  }

  void badUsage() {
    QFETCH(QStringList, arguments);
    QCOMPARE(RunBatchCommand(arguments), 2);
  }

  void convertsAFolderAndFiles() {
    TQtDispatcher dispatcher;
    const QString in = env_->home.path() + "/in", out = env_->home.path() + "/out";
    QVERIFY(QDir().mkpath(in + "/sub"));
    QVERIFY(MakeClip(in + "/a.avi"));
    QVERIFY(MakeTone(in + "/b.wav"));
    QVERIFY(MakeClip(in + "/d.avi"));
    QVERIFY(WriteText(in + "/notes.txt"));
    QVERIFY(MakeClip(in + "/sub/deep.avi"));
    QVERIFY(MakeTone(env_->home.path() + "/c.wav"));
    QCOMPARE(RunBatchCommand({"--format", "100", "--out", out, "--threads", "2", in,
                              env_->home.path() + "/c.wav"}),
             0);
    QStringList made = QDir(out).entryList(QDir::Files);
    made.sort();
    QCOMPARE(made, QStringList({"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    for (const QString& name : made)  // sound only, also from a video input
      QCOMPARE(ProbeCodecs(out + "/" + name), QString("mp3"));
    // The same folder into a video format and a lossless sound format.
    QCOMPARE(RunBatchCommand({"--format", "200", "--out", out + "/video", in + "/a.avi"}), 0);
    const QStringList video = QDir(out + "/video").entryList(QDir::Files);
    QCOMPARE(video.size(), 1);
    QCOMPARE(ProbeCodecs(out + "/video/" + video.first()).count(','), 1);  // picture and sound
    QCOMPARE(RunBatchCommand({"--format", "110", "--out", out + "/flac", in + "/b.wav"}), 0);
    QCOMPARE(ProbeCodecs(out + "/flac/b.flac"), QString("flac"));
  }

  void aFileThatCannotBeAddedFailsTheBatch() {
    TQtDispatcher dispatcher;
    const QString out = env_->home.path() + "/out";
    QVERIFY(MakeTone(env_->home.path() + "/c.wav"));
    QVERIFY(WriteText(env_->home.path() + "/notes.txt"));
    QCOMPARE(RunBatchCommand({"--format", "100", "--out", out, env_->home.path() + "/c.wav",
                              env_->home.path() + "/notes.txt"}),
             1);
    QVERIFY(QFileInfo::exists(out + "/c.mp3"));  // the good file is still converted
  }

private:
  std::unique_ptr<TTestHome> env_;
};

QTEST_MAIN(BatchCommandTest)
#include "batch_command_test.moc"
