#include "settings/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <functional>
#include <memory>

#include "settings/ini_file.h"
#include "test_home.h"

namespace {

QByteArray B(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }

std::string Stored(const char* section, const char* key) {
  return TIniFile(SettingsFilePath()).ReadString(section, key, "<none>");
}

bool IsDir(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isDir(); }

// The two folder keys follow the same rules; the tables below run for both.
struct TFolderKey {
  const char* Section;
  const char* Key;
  std::function<std::string()> Load;
  std::function<bool(const std::string&)> Save;
  std::function<std::string(const TTestHome&)> Default;
};

const TFolderKey kFolderKeys[] = {
    {"OutPath", "OutPath", LoadOutputFolder, SaveOutputFolder,
     [](const TTestHome& h) { return h.OutputDefault(); }},
    {"SnapShot", "Dir", ReadSnapshotFolder, SaveSnapshotFolder,
     [](const TTestHome& h) { return h.SnapshotDefault(); }},
};

void AddFolderKeyColumn() { QTest::addColumn<int>("which"); }

}  // namespace

class TestSettingsFile : public QObject {
  Q_OBJECT

 private slots:
  void init() { FHome = std::make_unique<TTestHome>(); }
  void cleanup() { FHome.reset(); }

  void pathsFollowProgramAndHomeFolders() {
    QCOMPARE(QString::fromStdString(SettingsFilePath()), FHome->IniPath());
    QCOMPARE(DefaultOutputFolder(), FHome->OutputDefault());
    QCOMPARE(DefaultSnapshotFolder(), FHome->SnapshotDefault());
  }

  void firstStartWritesOutputFolderAndSkin() {
    QVERIFY(!FHome->IniExists());
    QCOMPARE(LoadOutputFolder(), FHome->OutputDefault());
    QVERIFY(IsDir(FHome->OutputDefault()));
    QCOMPARE(LoadSkinIndex(), std::optional<int>(0));
    QCOMPARE(FHome->ReadIni(),
             B("[OutPath]\nOutPath=" + FHome->OutputDefault() + "\n[Skin]\nSetSkin=0\n"));
  }

  void skinWithoutFileKeepsDesignedLook() {
    QCOMPARE(LoadSkinIndex(), std::optional<int>());
    QCOMPARE(FHome->ReadIni(), QByteArray("[Skin]\nSetSkin=0\n"));
  }

  void skinValues_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("stored index") << QByteArray("[Skin]\nSetSkin=3\n") << 3 << QByteArray("3");
    QTest::newRow("zero") << QByteArray("[Skin]\nSetSkin=0\n") << 0 << QByteArray("0");
    QTest::newRow("absent key") << QByteArray("[Other]\nx=1\n") << 0 << QByteArray("0");
    QTest::newRow("Error") << QByteArray("[Skin]\nSetSkin=Error\n") << 0 << QByteArray("0");
    QTest::newRow("empty") << QByteArray("[Skin]\nSetSkin=\n") << 0 << QByteArray("0");
    QTest::newRow("not a number") << QByteArray("[Skin]\nSetSkin=blue\n") << 0
                                  << QByteArray("0");
    QTest::newRow("negative") << QByteArray("[Skin]\nSetSkin=-2\n") << 0 << QByteArray("0");
    QTest::newRow("fraction") << QByteArray("[Skin]\nSetSkin=1.5\n") << 0 << QByteArray("0");
    QTest::newRow("too large") << QByteArray("[Skin]\nSetSkin=99999999999\n") << 0
                               << QByteArray("0");
  }

  void skinValues() {
    QFETCH(QByteArray, file);
    QFETCH(int, index);
    QFETCH(QByteArray, stored);
    FHome->WriteIni(file);
    QCOMPARE(LoadSkinIndex(), std::optional<int>(index));
    QCOMPARE(B(Stored("Skin", "SetSkin")), stored);
  }

  void folderDefaultsWhenAbsentOrUnusable_data() {
    AddFolderKeyColumn();
    QTest::addColumn<QByteArray>("value");  // "-" leaves the key out
    for (int which = 0; which < 2; ++which) {
      const QByteArray name = kFolderKeys[which].Key;
      for (const char* value : {"-", "Error", "", "relative/folder", "C:\\Pellum视频软件\\输出"})
        QTest::newRow(name + " " + value) << which << QByteArray(value);
    }
  }

  void folderDefaultsWhenAbsentOrUnusable() {
    QFETCH(int, which);
    QFETCH(QByteArray, value);
    const auto& folder = kFolderKeys[which];
    QByteArray file = QByteArray("[") + folder.Section + "]\n";
    if (value != "-")
      file += QByteArray(folder.Key) + "=" + value + "\n";
    FHome->WriteIni(file);
    const std::string expected = folder.Default(*FHome);
    QCOMPARE(folder.Load(), expected);
    QVERIFY(IsDir(expected));
    QCOMPARE(Stored(folder.Section, folder.Key), expected);
  }

  void folderStoredIsKeptAndCreatedAgain_data() {
    AddFolderKeyColumn();
    QTest::addColumn<bool>("exists");
    for (int which = 0; which < 2; ++which) {
      const QByteArray name = kFolderKeys[which].Key;
      QTest::newRow(name + " existing") << which << true;
      QTest::newRow(name + " removed since") << which << false;
    }
  }

  void folderStoredIsKeptAndCreatedAgain() {
    QFETCH(int, which);
    QFETCH(bool, exists);
    const auto& folder = kFolderKeys[which];
    const std::string chosen = FHome->Home() + "/我的 视频/深/层";
    if (exists)
      QVERIFY(QDir().mkpath(QString::fromStdString(chosen)));
    const QByteArray file = QByteArray("[") + folder.Section + "]\r\n" + folder.Key + "=" +
                            B(chosen) + "\r\n";
    FHome->WriteIni(file);
    QCOMPARE(folder.Load(), chosen);
    QVERIFY(IsDir(chosen));
    QCOMPARE(FHome->ReadIni(), file);
  }

  void folderSavedOnlyWhenItExists_data() {
    AddFolderKeyColumn();
    QTest::newRow("OutPath") << 0;
    QTest::newRow("Dir") << 1;
  }

  void folderSavedOnlyWhenItExists() {
    QFETCH(int, which);
    const auto& folder = kFolderKeys[which];
    const std::string chosen = FHome->Home() + "/输出 目录";
    QVERIFY(!folder.Save(chosen));
    QVERIFY(!FHome->IniExists());
    QVERIFY(!folder.Save(FHome->Home() + "/blocker"));  // a regular file is no folder
    QVERIFY(QDir().mkpath(QString::fromStdString(chosen)));
    QVERIFY(folder.Save(chosen));
    QCOMPARE(Stored(folder.Section, folder.Key), chosen);
    QCOMPARE(folder.Load(), chosen);
  }

  void snapshotTypeTable() {
    const char* keys[] = {"BMP", "JPG", "GIF", "PNG"};
    const char* menu[] = {"BMP文件", "JPG文件", "GIF文件", "PNG文件"};
    const char* extensions[] = {".bmp", ".jpg", ".gif", ".png"};
    for (size_t i = 0; i < kSnapshotTypes.size(); ++i) {
      QCOMPARE(kSnapshotTypes[i].Key, std::string_view(keys[i]));
      QCOMPARE(kSnapshotTypes[i].MenuText, std::string_view(menu[i]));
      QCOMPARE(kSnapshotTypes[i].Extension, std::string_view(extensions[i]));
      QCOMPARE(&SnapshotTypeInfo(kSnapshotTypes[i].Type), &kSnapshotTypes[i]);
    }
  }

  void snapshotTypeRead_data() {
    QTest::addColumn<QByteArray>("file");  // "-" for no file
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("stored");
    for (const char* type : {"BMP", "JPG", "GIF", "PNG"})
      QTest::newRow(type) << QByteArray("[SnapShot]\nPicture=") + type + "\n" << QByteArray(type)
                          << QByteArray(type);
    QTest::newRow("no file") << QByteArray("-") << QByteArray("BMP") << QByteArray("BMP");
    QTest::newRow("absent") << QByteArray("[SnapShot]\nDir=/x\n") << QByteArray("BMP")
                            << QByteArray("BMP");
    QTest::newRow("lower case") << QByteArray("[SnapShot]\nPicture=png\n") << QByteArray("BMP")
                                << QByteArray("BMP");
    QTest::newRow("other type") << QByteArray("[SnapShot]\nPicture=TIFF\n") << QByteArray("BMP")
                                << QByteArray("BMP");
    QTest::newRow("Error") << QByteArray("[SnapShot]\nPicture=Error\n") << QByteArray("BMP")
                           << QByteArray("BMP");
  }

  void snapshotTypeRead() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, stored);
    if (file != "-")
      FHome->WriteIni(file);
    QCOMPARE(B(std::string(SnapshotTypeInfo(ReadSnapshotType()).Key)), type);
    QCOMPARE(B(Stored("SnapShot", "Picture")), stored);
  }

  void snapshotTypeSaved() {
    for (const auto& info : kSnapshotTypes) {
      QVERIFY(SaveSnapshotType(info.Type));
      QCOMPARE(Stored("SnapShot", "Picture"), std::string(info.Key));
      QVERIFY(ReadSnapshotType() == info.Type);
    }
  }

  void optionValuesLoaded_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");  // "-" leaves the key out
    QTest::addColumn<int>("shown");
    QTest::addColumn<QByteArray>("stored");
    struct TCase {
      const char* Key;
      const char* Value;
      int Shown;
      const char* Stored;
    };
    const TCase cases[] = {
        {"Thread_Count", "4", 4, "4"},      {"Thread_Count", "1", 1, "1"},
        {"Thread_Count", "19", 19, "19"},   {"Thread_Count", "0", 1, "0"},
        {"Thread_Count", "20", 1, "0"},     {"Thread_Count", "abc", 1, "0"},
        {"Thread_Count", "04", 1, "0"},     {"Thread_Count", "-1", 1, "0"},
        {"Thread_Count", "-", 1, "0"},      {"Thread_Count", "Error", 1, "0"},
        {"After_Done", "0", 0, "0"},        {"After_Done", "1", 1, "1"},
        {"After_Done", "2", 2, "2"},        {"After_Done", "3", 3, "3"},
        {"After_Done", "7", 0, "0"},        {"After_Done", "", 0, "0"},
        {"After_Done", "-", 0, "0"},        {"Thread_Priority", "0", 0, "0"},
        {"Thread_Priority", "1", 1, "1"},   {"Thread_Priority", "2", 2, "2"},
        {"Thread_Priority", "3", 3, "3"},   {"Thread_Priority", "high", 3, "3"},
        {"Thread_Priority", "-", 3, "3"},   {"Overwrite_File", "0", 0, "0"},
        {"Overwrite_File", "1", 1, "1"},    {"Overwrite_File", "2", 1, "1"},
        {"Overwrite_File", "-", 1, "1"},    {"Show_Preview", "1", 1, "1"},
        {"Show_Preview", "0", 0, "0"},      {"Show_Preview", "yes", 0, "0"},
        {"Show_Preview", "-", 0, "0"},
    };
    for (const auto& c : cases)
      QTest::newRow(QByteArray(c.Key) + "=" + c.Value)
          << QByteArray(c.Key) << QByteArray(c.Value) << c.Shown << QByteArray(c.Stored);
  }

  void optionValuesLoaded() {
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(int, shown);
    QFETCH(QByteArray, stored);
    if (value != "-")
      FHome->WriteIni("[Options]\n" + key + "=" + value + "\n");
    const TOptionValues values = LoadOptionValues();
    const std::map<QByteArray, int> fields = {
        {"Thread_Count", values.ThreadCount},       {"After_Done", values.AfterDone},
        {"Thread_Priority", values.ThreadPriority}, {"Overwrite_File", values.OverwriteFile},
        {"Show_Preview", values.ShowPreview ? 1 : 0},
    };
    QCOMPARE(fields.at(key), shown);
    QCOMPARE(B(Stored("Options", key.constData())), stored);
  }

  void optionDefaultsWrittenInOrder() {
    LoadOptionValues();
    QCOMPARE(FHome->ReadIni(), QByteArray("[Options]\nThread_Count=0\nAfter_Done=0\n"
                                          "Thread_Priority=3\nOverwrite_File=1\n"
                                          "Show_Preview=0\n"));
  }

  void optionValuesSavedInOrder() {
    const TOptionValues values{7, 2, 1, 0, true};
    QVERIFY(SaveOptionValues(values));
    QCOMPARE(FHome->ReadIni(), QByteArray("[Options]\nThread_Count=7\nAfter_Done=2\n"
                                          "Show_Preview=1\nThread_Priority=1\n"
                                          "Overwrite_File=0\n"));
    const TOptionValues back = LoadOptionValues();
    QCOMPARE(back.ThreadCount, 7);
    QCOMPARE(back.AfterDone, 2);
    QCOMPARE(back.ThreadPriority, 1);
    QCOMPARE(back.OverwriteFile, 0);
    QCOMPARE(back.ShowPreview, true);
  }

  void damagedFileStillReads() {
    // A byte-order mark, CRLF line ends, binary garbage and a repeated key around good values.
    const QByteArray file =
        QByteArray("\xEF\xBB\xBF\x01\x02garbage\r\n", 14) + QByteArray("\x00\xff\r\n", 4) +
        "[outpath]\r\nOUTPATH=" + B(FHome->Home()) + "/输出\r\nOutPath=/elsewhere\r\n" +
        "[Options]\r\nAfter_Done=2\r\n\xff\xfe\r\n[SnapShot]\r\nPicture=GIF\r\n";
    FHome->WriteIni(file);
    QCOMPARE(LoadOutputFolder(), FHome->Home() + "/输出");
    QCOMPARE(LoadSkinIndex(), std::optional<int>(0));
    QCOMPARE(LoadOptionValues().AfterDone, 2);
    QVERIFY(ReadSnapshotType() == TSnapshotType::stGIF);
    const QByteArray after = FHome->ReadIni();
    QVERIFY(after.startsWith(file.left(file.indexOf("[Options]"))));
    QVERIFY(after.contains("[Skin]\r\nSetSkin=0\r\n"));
    QVERIFY(after.contains("[Options]\r\nAfter_Done=2\r\n\xff\xfe\r\nThread_Count=0\r\n"));
  }

  void unreadableFileFallsBackToDefaults() {
    QVERIFY(QDir(FHome->ProgramFolder()).mkdir("option.ini"));
    QCOMPARE(LoadOutputFolder(), FHome->OutputDefault());
    QVERIFY(IsDir(FHome->OutputDefault()));
    QCOMPARE(LoadSkinIndex(), std::optional<int>(0));
    QCOMPARE(ReadSnapshotFolder(), FHome->SnapshotDefault());
  }

  void unwritableProgramFolderFallsBackToDefaults() {
    TTestHome::UseProgramFolder(FHome->Impossible("program"));
    QCOMPARE(LoadOutputFolder(), FHome->OutputDefault());
    QVERIFY(IsDir(FHome->OutputDefault()));
    QCOMPARE(LoadSkinIndex(), std::optional<int>());
    const TOptionValues values = LoadOptionValues();
    QCOMPARE(values.ThreadCount, 1);
    QCOMPARE(values.AfterDone, 0);
    QCOMPARE(values.ThreadPriority, 3);
    QCOMPARE(values.OverwriteFile, 1);
    QCOMPARE(values.ShowPreview, false);
    QVERIFY(!SaveOptionValues(values));
    QCOMPARE(ReadSnapshotFolder(), FHome->SnapshotDefault());
    QVERIFY(ReadSnapshotType() == TSnapshotType::stBMP);
    QVERIFY(!SaveOutputFolder(FHome->OutputDefault()));
  }

  void uncreatableFolderIsStillReturned() {
    const QString home = FHome->Impossible("home");
    TTestHome::UseHomeFolder(home);
    const std::string expected = home.toStdString() + "/Pellum视频软件/输出";
    QCOMPARE(LoadOutputFolder(), expected);
    QVERIFY(!IsDir(expected));
    QCOMPARE(Stored("OutPath", "OutPath"), expected);
  }

 private:
  std::unique_ptr<TTestHome> FHome;
};

QTEST_MAIN(TestSettingsFile)
#include "settings_file_test.moc"
