// option.ini in the program folder: its keys, their encodings, defaults and write-backs.
//
// Every value is read with "Error" as the fallback; a value read as "Error" or as the empty
// text is absent. An absent or invalid value is replaced by its default, which is written back
// at once. Failed writes and folders that cannot be created are not reported: the functions go
// on with the values in memory. All functions run on the user-interface thread and read the
// program folder anew on every call.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// ExeFolder() + "option.ini".
std::string SettingsFilePath();

// $HOME/Pellum视频软件/输出 and $HOME/Pellum视频软件/快照 (the user database's home folder
// when HOME is unset).
std::string DefaultOutputFolder();
std::string DefaultSnapshotFolder();

// The output folder of the [OutPath] section, created with its parents when missing. A stored
// value that is absent or not an absolute path, and a file that cannot be read, give the
// default folder, which is then created and written.
std::string LoadOutputFolder();
// Writes AFolder as the output folder when that folder exists; returns whether it was written.
bool SaveOutputFolder(const std::string& AFolder);

// The skin index of the [Skin] section. std::nullopt: the file was missing (now written with
// "0"); the window keeps the look it was designed with. An absent value, and a value that is not
// a non-negative decimal number, give 0 and are rewritten as "0". Whether a skin of that index
// exists is the caller's business.
std::optional<int> LoadSkinIndex();

// The snapshot folder of the [SnapShot] section, with the same rules as the output folder.
std::string ReadSnapshotFolder();
// Writes AFolder as the snapshot folder when that folder exists; returns whether it was written.
bool SaveSnapshotFolder(const std::string& AFolder);

enum class TSnapshotType { stBMP, stJPG, stGIF, stPNG };

struct TSnapshotTypeInfo {
  TSnapshotType Type;
  std::string_view Key;       // the stored value
  std::string_view MenuText;  // the entry of the snapshot type menu
  std::string_view Extension;
};

// In menu order; the first one is the default.
extern const std::array<TSnapshotTypeInfo, 4> kSnapshotTypes;
const TSnapshotTypeInfo& SnapshotTypeInfo(TSnapshotType AType);

// The snapshot type of the [SnapShot] section. Anything but "BMP", "JPG", "GIF" or "PNG"
// (exactly so) gives BMP, which is written back.
TSnapshotType ReadSnapshotType();
bool SaveSnapshotType(TSnapshotType AType);

// The [Options] section as the options dialog shows it.
struct TOptionValues {
  int ThreadCount = 1;     // 1..19
  int AfterDone = 0;       // 0 open the output folder, 1 shut down, 2 play the sound, 3 nothing
  int ThreadPriority = 3;  // 0 idle, 1 lowest, 2 lower, 3 normal
  int OverwriteFile = 1;   // 0 overwrite an existing output, 1 rename the new output
  bool ShowPreview = false;
};

constexpr int kMaxThreadCount = 19;

// Reads Thread_Count, After_Done, Thread_Priority, Overwrite_File and Show_Preview in this
// order, writing each key's default back when its value is absent or invalid. A stored thread
// count from "1" to "19" is kept; any other value shows 1 and is written as "0".
TOptionValues LoadOptionValues();
// Writes Thread_Count, After_Done, Show_Preview, Thread_Priority and Overwrite_File in this
// order. Returns whether all five were written.
bool SaveOptionValues(const TOptionValues& AValues);
