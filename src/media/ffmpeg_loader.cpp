#include "media/ffmpeg_loader.h"

#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/macros.h>
#include <libswscale/swscale.h>
}
#include <SDL2/SDL_version.h>
#include <gnu/libc-version.h>

#include "media/logger.h"

namespace {

#define VK_SO(name, major) "lib" name ".so." AV_STRINGIFY(major)

// libavdevice is not linked and its headers are not needed; its major version follows
// libavformat's.
const TLibraryItem kLibraryTable[LibraryCount] = {
    {avCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR, VK_SO("avcodec", LIBAVCODEC_VERSION_MAJOR)},
    {avDevice, "avdevice", LIBAVFORMAT_VERSION_MAJOR,
     VK_SO("avdevice", LIBAVFORMAT_VERSION_MAJOR)},
    {avFilter, "avfilter", LIBAVFILTER_VERSION_MAJOR,
     VK_SO("avfilter", LIBAVFILTER_VERSION_MAJOR)},
    {avFormat, "avformat", LIBAVFORMAT_VERSION_MAJOR,
     VK_SO("avformat", LIBAVFORMAT_VERSION_MAJOR)},
    {avUtil, "avutil", LIBAVUTIL_VERSION_MAJOR, VK_SO("avutil", LIBAVUTIL_VERSION_MAJOR)},
    {swScale, "swscale", LIBSWSCALE_VERSION_MAJOR, VK_SO("swscale", LIBSWSCALE_VERSION_MAJOR)},
    {myUtil, "c", -1, "libc.so.6"},
    {lbSDL, "SDL2", SDL_MAJOR_VERSION, "libSDL2-2.0.so.0"},
};

#undef VK_SO

// The run-time major version of a linked library, -1 for one that is not linked.
int RuntimeMajor(TLibrary ALibrary) {
  switch (ALibrary) {
    case avCodec: return static_cast<int>(avcodec_version() >> 16);
    case avDevice: return -1;
    case avFilter: return static_cast<int>(avfilter_version() >> 16);
    case avFormat: return static_cast<int>(avformat_version() >> 16);
    case avUtil: return static_cast<int>(avutil_version() >> 16);
    case swScale: return static_cast<int>(swscale_version() >> 16);
    case myUtil: return gnu_get_libc_version() ? 0 : -1;
    case lbSDL: {
      SDL_version v;
      SDL_GetVersion(&v);
      return v.major;
    }
  }
  return -1;
}

}  // namespace

const TLibraryItem& LibraryItem(TLibrary ALibrary) { return kLibraryTable[ALibrary]; }

void CheckLibraryVersion(const TLibraryItem& AItem, int ARuntimeMajor) {
  if (AItem.Version >= 0 && ARuntimeMajor != AItem.Version)
    throw std::runtime_error(std::string("Load library ") + AItem.FileName +
                             " error: run-time major version " + std::to_string(ARuntimeMajor) +
                             " does not match the build's " + std::to_string(AItem.Version));
}

TFFmpegLoader::TFFmpegLoader() = default;

bool TFFmpegLoader::LoadOne(TLibrary ALibrary) {
  const TLibraryItem& item = kLibraryTable[ALibrary];
  TLibraryStatus& status = status_[ALibrary];
  int runtime = RuntimeMajor(ALibrary);
  if (!status.Handle) {
    if (runtime < 0) {
      last_err_msg_ = std::string("Load library ") + item.FileName +
                      " error: the library is not linked into this program";
      return false;
    }
    status.Handle = true;
  }
  if (!status.Fixuped) {
    // Registration of codecs, formats and filters is automatic in the linked libraries; what
    // is left to check is that the run-time library is the generation the headers describe.
    try {
      CheckLibraryVersion(item, runtime);
      status.Fixuped = true;
    } catch (const std::exception& e) {
      last_err_msg_ = e.what();
    }
  }
  if (!status.Fixuped)
    UnloadOne(ALibrary);
  if (status.Fixuped && ALibrary == avUtil && install_logger_)
    LoggerInstance().InstallAVLogCallback();
  return status.Fixuped;
}

void TFFmpegLoader::UnloadOne(TLibrary ALibrary) {
  TLibraryStatus& status = status_[ALibrary];
  if (status.Fixuped) {
    status.Fixuped = false;
    if (ALibrary == avUtil)
      TMediaLogger::UninstallAVLogCallback();
  }
  status.Handle = false;
}

bool TFFmpegLoader::Load(TLibrary ALibrary) {
  std::lock_guard lock(mutex_);
  return LoadOne(ALibrary);
}

bool TFFmpegLoader::Load(TLibraries ALibraries) {
  if (ALibraries.Empty())
    throw std::logic_error("Load: empty library set");
  std::lock_guard lock(mutex_);
  for (int i = 0; i < LibraryCount; ++i) {
    auto lib = static_cast<TLibrary>(i);
    if (ALibraries.Contains(lib) && !LoadOne(lib)) {
      Unload(ALibraries);
      return false;
    }
  }
  return true;
}

bool TFFmpegLoader::Loaded(TLibrary ALibrary) const {
  std::lock_guard lock(mutex_);
  return status_[ALibrary].Handle && status_[ALibrary].Fixuped;
}

bool TFFmpegLoader::Loaded(TLibraries ALibraries) const {
  if (ALibraries.Empty())
    throw std::logic_error("Loaded: empty library set");
  std::lock_guard lock(mutex_);
  for (int i = 0; i < LibraryCount; ++i)
    if (ALibraries.Contains(static_cast<TLibrary>(i)) && !Loaded(static_cast<TLibrary>(i)))
      return false;
  return true;
}

void TFFmpegLoader::Unload(TLibrary ALibrary) {
  std::lock_guard lock(mutex_);
  UnloadOne(ALibrary);
}

void TFFmpegLoader::Unload(TLibraries ALibraries) {
  if (ALibraries.Empty())
    throw std::logic_error("Unload: empty library set");
  std::lock_guard lock(mutex_);
  for (int i = 0; i < LibraryCount; ++i)
    if (ALibraries.Contains(static_cast<TLibrary>(i)))
      UnloadOne(static_cast<TLibrary>(i));
}

std::string TFFmpegLoader::LastErrMsg() const {
  std::lock_guard lock(mutex_);
  return last_err_msg_;
}

std::string TFFmpegLoader::LibraryPath() const {
  std::lock_guard lock(mutex_);
  return library_path_;
}

void TFFmpegLoader::SetLibraryPath(const std::string& APath) {
  std::lock_guard lock(mutex_);
  library_path_ = APath;
}

bool TFFmpegLoader::InstallLogger() const {
  std::lock_guard lock(mutex_);
  return install_logger_;
}

void TFFmpegLoader::SetInstallLogger(bool AInstall) {
  std::lock_guard lock(mutex_);
  install_logger_ = AInstall;
}

TFFmpegLoader& LoaderInstance() {
  static TFFmpegLoader* loader = new TFFmpegLoader();
  return *loader;
}

std::recursive_mutex& CodecLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex();
  return *lock;
}

bool AVLibSetLoaded(TLibraries ASet) { return LoaderInstance().Loaded(ASet); }

bool LoadAVLibSet(TLibraries ASet, const std::string& APath, std::string& ALastErrMsg) {
  TFFmpegLoader& loader = LoaderInstance();
  loader.SetLibraryPath(APath);
  if (loader.Load(ASet))
    return true;
  ALastErrMsg = loader.LastErrMsg();
  return false;
}

void UnloadAVLibSet(TLibraries ASet) { LoaderInstance().Unload(ASet); }
