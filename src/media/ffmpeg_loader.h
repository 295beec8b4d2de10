// The media libraries as components see them: named library sets that each component asks the
// one process-wide loader for, and the process-wide codec lock.
//
// FFmpeg and SDL are linked into the program, so "loading" a library checks that the run-time
// library's major version matches the headers the program was built with and performs the
// library's registrations; loading libavutil also installs the log bridge (media/logger.h).
// libavdevice is known but not linked: loading it always fails.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>

// In loading order.
enum TLibrary : uint8_t { avCodec, avDevice, avFilter, avFormat, avUtil, swScale, myUtil, lbSDL };
inline constexpr int LibraryCount = 8;

// A set of libraries; bit n stands for the member of ordinal n.
class TLibraries {
public:
  constexpr TLibraries() = default;
  constexpr TLibraries(std::initializer_list<TLibrary> libs) {
    for (TLibrary lib : libs)
      bits_ |= static_cast<uint8_t>(1u << lib);
  }
  constexpr bool Contains(TLibrary lib) const { return bits_ & (1u << lib); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint8_t Bits() const { return bits_; }

private:
  uint8_t bits_ = 0;
};

// The library sets of the components.
inline constexpr TLibraries ProbeLibraries{avCodec, avFormat, avUtil, swScale, myUtil};
inline constexpr TLibraries PlayerLibraries{avCodec, avFilter, avFormat, avUtil, swScale, myUtil,
                                            lbSDL};
inline constexpr TLibraries EngineLibraries{avCodec, avFilter, avFormat, avUtil, swScale, myUtil};

struct TLibraryItem {
  TLibrary Lib;
  const char* Name;      // base name
  int Version;           // major version of the headers; -1 when the file name carries none
  const char* FileName;  // the shared object as the messages name it
};
const TLibraryItem& LibraryItem(TLibrary ALibrary);

// Checks one library's run-time version against the major version of its headers. Throws
// std::runtime_error "Load library <file> error: ..." on a mismatch.
void CheckLibraryVersion(const TLibraryItem& AItem, int ARuntimeMajor);

class TFFmpegLoader {
public:
  TFFmpegLoader();
  TFFmpegLoader(const TFFmpegLoader&) = delete;
  TFFmpegLoader& operator=(const TFFmpegLoader&) = delete;

  // Load one library: true when it is loaded afterwards. On failure LastErrMsg says why.
  // A successful load of avUtil installs the log bridge when InstallLogger is on (every time,
  // also when it was loaded already).
  bool Load(TLibrary ALibrary);
  // Loads the members in enumeration order; at the first failure the whole set is unloaded
  // (also members loaded before this call) and the result is false. An empty set throws
  // std::logic_error.
  bool Load(TLibraries ALibraries);

  bool Loaded(TLibrary ALibrary) const;
  bool Loaded(TLibraries ALibraries) const;  // every member loaded; empty set throws

  void Unload(TLibrary ALibrary);
  void Unload(TLibraries ALibraries);  // empty set throws

  // The text of the last failure; a later success does not clear it.
  std::string LastErrMsg() const;
  std::string LibraryPath() const;
  void SetLibraryPath(const std::string& APath);
  bool InstallLogger() const;
  void SetInstallLogger(bool AInstall);

private:
  struct TLibraryStatus {
    bool Handle = false;    // the library is linked and was found
    bool Fixuped = false;   // its version was checked and its registrations performed
  };
  bool LoadOne(TLibrary ALibrary);
  void UnloadOne(TLibrary ALibrary);

  // Loading runs on the main thread, but components on worker threads ask Loaded; this lock
  // protects every member below.
  mutable std::recursive_mutex mutex_;
  TLibraryStatus status_[LibraryCount];
  std::string last_err_msg_;
  std::string library_path_;
  bool install_logger_ = true;
};

// The one loader of the process (created on first use, never destroyed).
TFFmpegLoader& LoaderInstance();

// The process-wide codec lock: held around every opening and closing of a decoder or encoder
// and around the engine's reading of stream information, so no two of these run at once.
// Recursive, so a holder may call code that takes it again. Never destroyed, so threads still
// running at exit may use it.
std::recursive_mutex& CodecLock();

// The three operations every media component offers over its own library set.
// AVLibLoaded: every member of the set is loaded.
bool AVLibSetLoaded(TLibraries ASet);
// LoadAVLib: stores APath as the library path and loads the set; on failure copies the loader's
// LastErrMsg into ALastErrMsg and returns false.
bool LoadAVLibSet(TLibraries ASet, const std::string& APath, std::string& ALastErrMsg);
// UnloadAVLib.
void UnloadAVLibSet(TLibraries ASet);
