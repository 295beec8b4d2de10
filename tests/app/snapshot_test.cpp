// Snapshot pictures: numbering, the four picture types, failures.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/snapshot.h"

namespace {

// Width x height of a picture file as ffprobe reads it, e.g. "64x48"; empty when unreadable.
QString ProbeSize(const QString& path) {
  QProcess p;
  p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                      "stream=width,height", "-of", "csv=s=x:p=0", path});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QImage TestPicture() {
  QImage image(64, 48, QImage::Format_RGB888);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      image.setPixel(x, y, qRgb(x * 4, y * 5, 128));
  return image;
}

}  // namespace

class SnapshotTest : public QObject {
  Q_OBJECT

private slots:
  void numberedFilesOfEachType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("ext");
    QTest::newRow("BMP") << int(TSnapshotType::stBMP) << ".bmp";
    QTest::newRow("JPG") << int(TSnapshotType::stJPG) << ".jpg";
    QTest::newRow("GIF") << int(TSnapshotType::stGIF) << ".gif";
    QTest::newRow("PNG") << int(TSnapshotType::stPNG) << ".png";
  }

  void numberedFilesOfEachType() {
    QFETCH(int, type);
    QFETCH(QString, ext);
    QTemporaryDir dir;
    QString error;
    const QString first = SaveSnapshotPicture(TestPicture(), dir.path(), "movie", TSnapshotType(type), &error);
    QCOMPARE(first, dir.path() + "/movie_1" + ext);
    const QString second = SaveSnapshotPicture(TestPicture(), dir.path(), "movie", TSnapshotType(type), &error);
    QCOMPARE(second, dir.path() + "/movie_2" + ext);
    QCOMPARE(ProbeSize(first), QString("64x48"));
    QCOMPARE(ProbeSize(second), QString("64x48"));
  }

  void typesNumberSeparately() {
    QTemporaryDir dir;
    SaveSnapshotPicture(TestPicture(), dir.path(), "movie", TSnapshotType::stBMP);
    SaveSnapshotPicture(TestPicture(), dir.path(), "movie", TSnapshotType::stBMP);
    QCOMPARE(SaveSnapshotPicture(TestPicture(), dir.path(), "movie", TSnapshotType::stPNG),
             dir.path() + "/movie_1.png");
  }

  void gifKeepsTheColoursRoughly() {
    QTemporaryDir dir;
    const QString path = SaveSnapshotPicture(TestPicture(), dir.path(), "g", TSnapshotType::stGIF);
    QImage back(path);
    QVERIFY(!back.isNull());
    const QRgb c = back.pixel(32, 24);
    QVERIFY(qAbs(qRed(c) - 128) < 40);
    QVERIFY(qAbs(qBlue(c) - 128) < 40);
  }

  void unwritableFolderFailsWithAMessage_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("PNG") << int(TSnapshotType::stPNG);
    QTest::newRow("GIF") << int(TSnapshotType::stGIF);
  }

  void unwritableFolderFailsWithAMessage() {
    QFETCH(int, type);
    QTemporaryDir dir;
    QFile plain(dir.path() + "/file");
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QString error;
    QVERIFY(SaveSnapshotPicture(TestPicture(), dir.path() + "/file", "x", TSnapshotType(type), &error).isEmpty());
    QVERIFY(!error.isEmpty());
  }

  void bitmapBecomesAnImage() {
    TBitmap24 bitmap(3, 2);
    bitmap.Row(1)[2 * 3 + 0] = 10;   // blue
    bitmap.Row(1)[2 * 3 + 1] = 20;   // green
    bitmap.Row(1)[2 * 3 + 2] = 30;   // red
    const QImage image = ToImage(bitmap);
    QCOMPARE(image.size(), QSize(3, 2));
    QCOMPARE(image.pixel(2, 1), qRgb(30, 20, 10));
    QVERIFY(ToImage(TBitmap24()).isNull());
  }
};

QTEST_MAIN(SnapshotTest)
#include "snapshot_test.moc"
