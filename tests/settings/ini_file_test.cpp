#include "settings/ini_file.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

#include "test_home.h"

namespace {

const QByteArray kFallback = "<fallback>";

std::string S(const QByteArray& bytes) { return bytes.toStdString(); }
QByteArray B(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }
// A byte array literal that may hold NUL bytes.
template <size_t N>
QByteArray Raw(const char (&bytes)[N]) { return QByteArray(bytes, N - 1); }

}  // namespace

class TestIniFile : public QObject {
  Q_OBJECT

 private slots:
  void init() { FHome = std::make_unique<TTestHome>(); }
  void cleanup() { FHome.reset(); }

  void readsValues_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << QByteArray("[A]\nk=v\n") << QByteArray("A") << QByteArray("k")
                           << QByteArray("v");
    QTest::newRow("missing section") << QByteArray("[B]\nk=v\n") << QByteArray("A")
                                     << QByteArray("k") << kFallback;
    QTest::newRow("missing key") << QByteArray("[A]\nx=v\n") << QByteArray("A")
                                 << QByteArray("k") << kFallback;
    QTest::newRow("key of another section")
        << QByteArray("[A]\nx=1\n[B]\nk=2\n") << QByteArray("A") << QByteArray("k") << kFallback;
    QTest::newRow("key before any section")
        << QByteArray("k=v\n[A]\nx=1\n") << QByteArray("A") << QByteArray("k") << kFallback;
    QTest::newRow("names ignore case")
        << QByteArray("[options]\nthread_COUNT=4\n") << QByteArray("Options")
        << QByteArray("Thread_Count") << QByteArray("4");
    QTest::newRow("crlf") << QByteArray("[A]\r\nk=v\r\nz=w\r\n") << QByteArray("A")
                          << QByteArray("k") << QByteArray("v");
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[A]\nk=v\n") << QByteArray("A")
                                     << QByteArray("k") << QByteArray("v");
    QTest::newRow("blanks around names and values")
        << QByteArray("  [ A ]\t\n  k \t=  v w \t\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("v w");
    QTest::newRow("duplicate key: first counts")
        << QByteArray("[A]\nk=1\nk=2\n") << QByteArray("A") << QByteArray("k") << QByteArray("1");
    QTest::newRow("section repeated later")
        << QByteArray("[A]\nx=1\n[B]\nk=b\n[a]\nk=2\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("2");
    QTest::newRow("empty value") << QByteArray("[A]\nk=\n") << QByteArray("A") << QByteArray("k")
                                 << QByteArray("");
    QTest::newRow("value holding =") << QByteArray("[A]\nk=a=b\n") << QByteArray("A")
                                     << QByteArray("k") << QByteArray("a=b");
    QTest::newRow("comment is no key") << QByteArray("[A]\n;k=c\n#k=d\n") << QByteArray("A")
                                       << QByteArray("k") << kFallback;
    QTest::newRow("garbage lines")
        << QByteArray("garbage\n[[[\n=x\n]\n[A]\nno equals sign\n[unclosed\nk=v\n")
        << QByteArray("A") << QByteArray("k") << QByteArray("v");
    QTest::newRow("binary bytes")
        << Raw("\x00\xff\xfe\n[A]\x00junk\n\x80\x81=\x00\nk=v\x00w\n\x01\x02")
        << QByteArray("A") << QByteArray("k") << Raw("v\x00w");
    QTest::newRow("invalid utf-8 value comes back as it is")
        << QByteArray("[A]\nk=\xff\xc3(\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("\xff\xc3(");
    QTest::newRow("chinese value") << QByteArray("[A]\nk=/家/视频 输出\n") << QByteArray("A")
                                   << QByteArray("k") << QByteArray("/家/视频 输出");
    QTest::newRow("no final line end") << QByteArray("[A]\nk=v") << QByteArray("A")
                                       << QByteArray("k") << QByteArray("v");
    QTest::newRow("empty file") << QByteArray() << QByteArray("A") << QByteArray("k")
                                << kFallback;
  }

  void readsValues() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    FHome->WriteIni(content);
    TIniFile ini(FHome->IniPath().toStdString());
    QCOMPARE(B(ini.ReadString(S(section), S(key), S(kFallback))), expected);
  }

  void readsFallbackWhenFileCannotBeRead_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("missing file") << QString("missing.ini");
    QTest::newRow("folder instead of file") << QString("folder.ini");
    QTest::newRow("below a regular file") << QString("blocker/option.ini");
  }

  void readsFallbackWhenFileCannotBeRead() {
    QFETCH(QString, path);
    QDir(FHome->HomeFolder()).mkdir("folder.ini");
    FHome->Impossible("x");
    TIniFile ini(QDir(FHome->HomeFolder()).filePath(path).toStdString());
    QCOMPARE(ini.ReadString("A", "k", "Error"), std::string("Error"));
  }

  void writesValues_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("new file") << false << QByteArray() << QByteArray("A") << QByteArray("k")
                              << QByteArray("v") << QByteArray("[A]\nk=v\n");
    QTest::newRow("empty file") << true << QByteArray() << QByteArray("A") << QByteArray("k")
                                << QByteArray("v") << QByteArray("[A]\nk=v\n");
    QTest::newRow("replace keeps the rest")
        << true << QByteArray("[A]\nx=1\nk=old\ny=2\n[B]\nk=b\n") << QByteArray("A")
        << QByteArray("k") << QByteArray("new")
        << QByteArray("[A]\nx=1\nk=new\ny=2\n[B]\nk=b\n");
    QTest::newRow("new key goes to the end of its section")
        << true << QByteArray("[A]\nx=1\n\n[B]\ny=2\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("v") << QByteArray("[A]\nx=1\nk=v\n\n[B]\ny=2\n");
    QTest::newRow("new key in an empty section")
        << true << QByteArray("[A]\n[B]\ny=2\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("v") << QByteArray("[A]\nk=v\n[B]\ny=2\n");
    QTest::newRow("new section at the end")
        << true << QByteArray("[A]\nx=1\n") << QByteArray("B") << QByteArray("k")
        << QByteArray("v") << QByteArray("[A]\nx=1\n[B]\nk=v\n");
    QTest::newRow("crlf kept") << true << QByteArray("[A]\r\nx=1\r\n") << QByteArray("A")
                               << QByteArray("k") << QByteArray("v")
                               << QByteArray("[A]\r\nx=1\r\nk=v\r\n");
    QTest::newRow("byte-order mark kept")
        << true << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("2") << QByteArray("\xEF\xBB\xBF[A]\nk=2\n");
    QTest::newRow("unknown and binary lines kept")
        << true << Raw("junk\n\x00\xff\n[A]\n???\nk=1\n;note\n") << QByteArray("A")
        << QByteArray("k") << QByteArray("2") << Raw("junk\n\x00\xff\n[A]\n???\nk=2\n;note\n");
    QTest::newRow("stored spelling of names kept")
        << true << QByteArray("[OPTIONS]\nTHREAD_COUNT=4\n") << QByteArray("Options")
        << QByteArray("Thread_Count") << QByteArray("0")
        << QByteArray("[OPTIONS]\nTHREAD_COUNT=0\n");
    QTest::newRow("duplicate key: first replaced")
        << true << QByteArray("[A]\nk=1\nk=2\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("3") << QByteArray("[A]\nk=3\nk=2\n");
    QTest::newRow("no final line end") << true << QByteArray("[A]\nx=1") << QByteArray("A")
                                       << QByteArray("k") << QByteArray("v")
                                       << QByteArray("[A]\nx=1\nk=v\n");
    QTest::newRow("empty value") << true << QByteArray("[A]\nk=v\n") << QByteArray("A")
                                 << QByteArray("k") << QByteArray("")
                                 << QByteArray("[A]\nk=\n");
    QTest::newRow("chinese value") << true << QByteArray("[A]\nk=v\n") << QByteArray("A")
                                   << QByteArray("k") << QByteArray("/家/视频 输出")
                                   << QByteArray("[A]\nk=/家/视频 输出\n");
  }

  void writesValues() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);
    if (exists)
      FHome->WriteIni(before);
    TIniFile ini(FHome->IniPath().toStdString());
    QVERIFY(ini.WriteString(S(section), S(key), S(value)));
    QCOMPARE(FHome->ReadIni(), after);
    QCOMPARE(B(ini.ReadString(S(section), S(key), "Error")), value);
    QCOMPARE(QDir(FHome->ProgramFolder()).entryList(QDir::AllEntries | QDir::Hidden |
                                                    QDir::NoDotAndDotDot),
             QStringList{"option.ini"});
  }

  void refusesWhatAnIniLineCannotHold_data() {
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("empty key") << QByteArray("A") << QByteArray(" ") << QByteArray("v");
    QTest::newRow("line break in value") << QByteArray("A") << QByteArray("k")
                                         << QByteArray("v\n[B]");
    QTest::newRow("carriage return in key") << QByteArray("A") << QByteArray("k\r")
                                            << QByteArray("v");
    QTest::newRow("= in key") << QByteArray("A") << QByteArray("k=x") << QByteArray("v");
    QTest::newRow("] in section") << QByteArray("A]") << QByteArray("k") << QByteArray("v");
    QTest::newRow("key looks like a section") << QByteArray("A") << QByteArray("[k")
                                              << QByteArray("v");
    QTest::newRow("blank at the end of value") << QByteArray("A") << QByteArray("k")
                                               << QByteArray("/x ");
  }

  void refusesWhatAnIniLineCannotHold() {
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    const QByteArray before = "[A]\nk=old\n";
    FHome->WriteIni(before);
    TIniFile ini(FHome->IniPath().toStdString());
    QVERIFY(!ini.WriteString(S(section), S(key), S(value)));
    QCOMPARE(FHome->ReadIni(), before);
  }

  void failedWriteReportsFalse_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("folder below a regular file") << QString("blocker/option.ini");
    QTest::newRow("missing folder") << QString("nowhere/option.ini");
    QTest::newRow("folder instead of file") << QString("folder.ini");
  }

  void failedWriteReportsFalse() {
    QFETCH(QString, path);
    QDir home(FHome->HomeFolder());
    home.mkdir("folder.ini");
    FHome->Impossible("x");
    TIniFile ini(home.filePath(path).toStdString());
    QVERIFY(!ini.WriteString("A", "k", "v"));
    QVERIFY(QFileInfo(home.filePath("folder.ini")).isDir());
    QCOMPARE(QFile(home.filePath("blocker")).size(), qint64(1));
  }

  void everyReadSeesTheFileAsItIsNow() {
    TIniFile ini(FHome->IniPath().toStdString());
    QVERIFY(ini.WriteString("A", "k", "1"));
    FHome->WriteIni("[A]\nk=2\n");
    QCOMPARE(ini.ReadString("A", "k", "Error"), std::string("2"));
    QVERIFY(QFile::remove(FHome->IniPath()));
    QCOMPARE(ini.ReadString("A", "k", "Error"), std::string("Error"));
  }

  void writeKeepsPermissions() {
    FHome->WriteIni("[A]\nk=1\n");
    QVERIFY(::chmod(FHome->IniPath().toUtf8().constData(), 0600) == 0);
    TIniFile ini(FHome->IniPath().toStdString());
    QVERIFY(ini.WriteString("A", "k", "2"));
    struct stat st {};
    QVERIFY(::stat(FHome->IniPath().toUtf8().constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0600));
  }

  void writeThroughSymbolicLinkKeepsTheLink() {
    const QString target = QDir(FHome->HomeFolder()).filePath("real.ini");
    QFile real(target);
    QVERIFY(real.open(QIODevice::WriteOnly));
    real.write("[A]\nk=1\n");
    real.close();
    QVERIFY(QFile::link(target, FHome->IniPath()));
    TIniFile ini(FHome->IniPath().toStdString());
    QVERIFY(ini.WriteString("A", "k", "2"));
    QVERIFY(QFileInfo(FHome->IniPath()).isSymLink());
    QVERIFY(real.open(QIODevice::ReadOnly));
    QCOMPARE(real.readAll(), QByteArray("[A]\nk=2\n"));
  }

 private:
  std::unique_ptr<TTestHome> FHome;
};

QTEST_MAIN(TestIniFile)
#include "ini_file_test.moc"
