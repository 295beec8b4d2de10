// A program folder and a home folder of their own for one test: VARNOSK_HOME and HOME point
// into fresh temporary folders while the object lives, so option.ini and the default folders
// are made there and never in the real program or home folder.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

class TTestHome {
 public:
  TTestHome() {
    QVERIFY(FProgram.isValid());
    QVERIFY(FHome.isValid());
    UseProgramFolder(FProgram.path());
    qputenv("HOME", FHome.path().toUtf8());
  }

  // Points VARNOSK_HOME elsewhere, e.g. at a folder that cannot exist.
  static void UseProgramFolder(const QString& folder) { qputenv("VARNOSK_HOME", folder.toUtf8()); }
  static void UseHomeFolder(const QString& folder) { qputenv("HOME", folder.toUtf8()); }

  QString ProgramFolder() const { return FProgram.path(); }
  QString HomeFolder() const { return FHome.path(); }
  QString IniPath() const { return FProgram.filePath("option.ini"); }
  std::string Home() const { return FHome.path().toStdString(); }

  std::string OutputDefault() const { return Home() + "/Pellum视频软件/输出"; }
  std::string SnapshotDefault() const { return Home() + "/Pellum视频软件/快照"; }

  bool IniExists() const { return QFile::exists(IniPath()); }

  QByteArray ReadIni() const {
    QFile file(IniPath());
    if (!file.open(QIODevice::ReadOnly))
      return {};
    return file.readAll();
  }

  void WriteIni(const QByteArray& content) const {
    QFile file(IniPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
  }

  // A path below a regular file: nothing can be read, written or created there.
  QString Impossible(const QString& name) const {
    const QString blocker = FHome.filePath("blocker");
    QFile file(blocker);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
      file.write("x");
    return blocker + "/" + name;
  }

 private:
  QTemporaryDir FProgram;
  QTemporaryDir FHome;
};
