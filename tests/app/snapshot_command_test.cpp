// `varnosk --snapshot-at`: the picture at a position written to a file, and its refusals.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/app_test_env.h"
#include "app/media_fixtures.h"
#include "app/snapshot_command.h"

namespace {

QString ProbeSize(const QString& path) {
  QProcess p;
  p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                      "stream=width,height", "-of", "csv=s=x:p=0", path});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

}  // namespace

class SnapshotCommandTest : public QObject {
  Q_OBJECT

private slots:
  void writesThePictureInTheTypeOfItsName_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("bmp") << "at.bmp";
    QTest::newRow("jpg") << "at.jpg";
    QTest::newRow("gif") << "at.gif";
    QTest::newRow("png") << "at.png";
  }

  void writesThePictureInTheTypeOfItsName() {
    QFETCH(QString, name);
    TTestHome env;
    const QString clip = env.home.path() + "/clip.avi";
    QVERIFY(MakeClip(clip, 3));
    const QString out = env.home.path() + "/" + name;
    QCOMPARE(RunSnapshotAtCommand({"1.5", clip, out}), 0);
    QCOMPARE(ProbeSize(out), QString("64x48"));
  }

  void refusals_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::newRow("too few") << QStringList{"1", "clip.avi"} << 2;
    QTest::newRow("not a number") << QStringList{"x", "clip.avi", "a.png"} << 2;
    QTest::newRow("negative") << QStringList{"-1", "clip.avi", "a.png"} << 2;
    QTest::newRow("unknown picture type") << QStringList{"1", "clip.avi", "a.tiff"} << 2;
    QTest::newRow("past the end") << QStringList{"60", "clip.avi", "a.png"} << 1;
    QTest::newRow("sound only") << QStringList{"0.5", "tone.wav", "a.png"} << 1;
    QTest::newRow("missing file") << QStringList{"1", "nothing.avi", "a.png"} << 1;
  }

  void refusals() {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    TTestHome env;
    QVERIFY(MakeClip(env.home.path() + "/clip.avi", 2));
    QVERIFY(MakeTone(env.home.path() + "/tone.wav", 1));
    for (int i = 1; i < arguments.size(); ++i)
      arguments[i] = env.home.path() + "/" + arguments[i];
    QCOMPARE(RunSnapshotAtCommand(arguments), code);
    if (arguments.size() == 3)
      QVERIFY(!QFile::exists(arguments[2]));
  }
};

QTEST_MAIN(SnapshotCommandTest)
#include "snapshot_command_test.moc"
