#include "settings/settings_file.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "media/ffutils.h"
#include "settings/ini_file.h"

namespace {

constexpr std::string_view kError = "Error";

constexpr std::string_view kOutPathSection = "OutPath";
constexpr std::string_view kOutPathKey = "OutPath";
constexpr std::string_view kSkinSection = "Skin";
constexpr std::string_view kSkinKey = "SetSkin";
constexpr std::string_view kSnapshotSection = "SnapShot";
constexpr std::string_view kSnapshotDirKey = "Dir";
constexpr std::string_view kSnapshotPictureKey = "Picture";
constexpr std::string_view kOptionsSection = "Options";
constexpr std::string_view kThreadCountKey = "Thread_Count";

// A key of the [Options] section holding one of the values "0" .. Count-1.
struct TChoiceKey {
  std::string_view Key;
  int Count;
  int Default;
};

constexpr TChoiceKey kAfterDone{"After_Done", 4, 0};
constexpr TChoiceKey kThreadPriority{"Thread_Priority", 4, 3};
constexpr TChoiceKey kOverwriteFile{"Overwrite_File", 2, 1};
constexpr TChoiceKey kShowPreview{"Show_Preview", 2, 0};

bool IsAbsent(std::string_view value) { return value.empty() || value == kError; }

// The decimal value of a text made of 1 to 9 digits only; -1 for any other text.
int DecimalValue(std::string_view text) {
  if (text.empty() || text.size() > 9)
    return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home)
    return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
    return pw->pw_dir;
  return "/tmp";
}

bool IsUsableFolderText(std::string_view folder) {
  return !folder.empty() && folder.front() == '/' && folder.find('\0') == std::string_view::npos;
}

bool FolderExists(const std::string& folder) {
  std::error_code ec;
  return IsUsableFolderText(folder) && std::filesystem::is_directory(folder, ec);
}

// Failures are not reported: whatever is later written into the folder fails instead.
void CreateFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
}

std::string LoadFolder(std::string_view section, std::string_view key,
                       const std::string& default_folder) {
  TIniFile ini(SettingsFilePath());
  const std::string value = ini.ReadString(section, key, kError);
  if (!IsAbsent(value) && IsUsableFolderText(value)) {
    CreateFolder(value);
    return value;
  }
  CreateFolder(default_folder);
  ini.WriteString(section, key, default_folder);
  return default_folder;
}

bool SaveFolder(std::string_view section, std::string_view key, const std::string& folder) {
  return FolderExists(folder) && TIniFile(SettingsFilePath()).WriteString(section, key, folder);
}

int LoadChoice(TIniFile& ini, const TChoiceKey& choice) {
  const std::string value = ini.ReadString(kOptionsSection, choice.Key, kError);
  for (int i = 0; i < choice.Count; ++i)
    if (value == std::to_string(i))
      return i;
  ini.WriteString(kOptionsSection, choice.Key, std::to_string(choice.Default));
  return choice.Default;
}

}  // namespace

std::string SettingsFilePath() { return ExeFolder() + "option.ini"; }

std::string DefaultOutputFolder() { return HomeFolder() + "/Pellum视频软件/输出"; }

std::string DefaultSnapshotFolder() { return HomeFolder() + "/Pellum视频软件/快照"; }

std::string LoadOutputFolder() {
  return LoadFolder(kOutPathSection, kOutPathKey, DefaultOutputFolder());
}

bool SaveOutputFolder(const std::string& AFolder) {
  return SaveFolder(kOutPathSection, kOutPathKey, AFolder);
}

std::optional<int> LoadSkinIndex() {
  TIniFile ini(SettingsFilePath());
  std::error_code ec;
  if (!std::filesystem::exists(ini.FileName(), ec)) {
    ini.WriteString(kSkinSection, kSkinKey, "0");
    return std::nullopt;
  }
  const int index = DecimalValue(ini.ReadString(kSkinSection, kSkinKey, kError));
  if (index >= 0)
    return index;
  ini.WriteString(kSkinSection, kSkinKey, "0");
  return 0;
}

std::string ReadSnapshotFolder() {
  return LoadFolder(kSnapshotSection, kSnapshotDirKey, DefaultSnapshotFolder());
}

bool SaveSnapshotFolder(const std::string& AFolder) {
  return SaveFolder(kSnapshotSection, kSnapshotDirKey, AFolder);
}

const std::array<TSnapshotTypeInfo, 4> kSnapshotTypes = {{
    {TSnapshotType::stBMP, "BMP", "BMP文件", ".bmp"},
    {TSnapshotType::stJPG, "JPG", "JPG文件", ".jpg"},
    {TSnapshotType::stGIF, "GIF", "GIF文件", ".gif"},
    {TSnapshotType::stPNG, "PNG", "PNG文件", ".png"},
}};

const TSnapshotTypeInfo& SnapshotTypeInfo(TSnapshotType AType) {
  for (const auto& info : kSnapshotTypes)
    if (info.Type == AType)
      return info;
  return kSnapshotTypes.front();
}

TSnapshotType ReadSnapshotType() {
  TIniFile ini(SettingsFilePath());
  const std::string value = ini.ReadString(kSnapshotSection, kSnapshotPictureKey, kError);
  for (const auto& info : kSnapshotTypes)
    if (value == info.Key)
      return info.Type;
  const auto& fallback = kSnapshotTypes.front();
  ini.WriteString(kSnapshotSection, kSnapshotPictureKey, fallback.Key);
  return fallback.Type;
}

bool SaveSnapshotType(TSnapshotType AType) {
  return TIniFile(SettingsFilePath())
      .WriteString(kSnapshotSection, kSnapshotPictureKey, SnapshotTypeInfo(AType).Key);
}

TOptionValues LoadOptionValues() {
  TIniFile ini(SettingsFilePath());
  TOptionValues values;

  // A saved count is restored. Only "0" (the default, meaning "not chosen") is left as it is;
  // everything else outside 1..19 is replaced by "0", and the list then shows 1.
  const std::string count = ini.ReadString(kOptionsSection, kThreadCountKey, kError);
  const int stored = DecimalValue(count);
  if (stored >= 1 && stored <= kMaxThreadCount && count == std::to_string(stored)) {
    values.ThreadCount = stored;
  } else {
    values.ThreadCount = 1;
    if (count != "0")
      ini.WriteString(kOptionsSection, kThreadCountKey, "0");
  }

  values.AfterDone = LoadChoice(ini, kAfterDone);
  values.ThreadPriority = LoadChoice(ini, kThreadPriority);
  values.OverwriteFile = LoadChoice(ini, kOverwriteFile);
  values.ShowPreview = LoadChoice(ini, kShowPreview) == 1;
  return values;
}

bool SaveOptionValues(const TOptionValues& AValues) {
  TIniFile ini(SettingsFilePath());
  bool ok = ini.WriteString(kOptionsSection, kThreadCountKey, std::to_string(AValues.ThreadCount));
  ok = ini.WriteString(kOptionsSection, kAfterDone.Key, std::to_string(AValues.AfterDone)) && ok;
  ok = ini.WriteString(kOptionsSection, kShowPreview.Key, AValues.ShowPreview ? "1" : "0") && ok;
  ok = ini.WriteString(kOptionsSection, kThreadPriority.Key,
                       std::to_string(AValues.ThreadPriority)) && ok;
  ok = ini.WriteString(kOptionsSection, kOverwriteFile.Key,
                       std::to_string(AValues.OverwriteFile)) && ok;
  return ok;
}
