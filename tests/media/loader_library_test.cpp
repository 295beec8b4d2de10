// The library loader: library sets, failures that unload a whole set, the log bridge installed
// with libavutil, and the codec lock.
#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include "media/ffmpeg_loader.h"
#include "media/logger.h"

namespace {

class Loader : public ::testing::Test {
protected:
  void SetUp() override { loader_.Unload(TLibraries{avCodec, avDevice, avFilter, avFormat, avUtil, swScale, myUtil, lbSDL}); }
  void TearDown() override { loader_.SetInstallLogger(true); }
  TFFmpegLoader& loader_ = LoaderInstance();
};

}  // namespace

TEST_F(Loader, LibrarySetsOfTheComponents) {
  EXPECT_TRUE(ProbeLibraries.Contains(avCodec) && ProbeLibraries.Contains(myUtil));
  EXPECT_FALSE(ProbeLibraries.Contains(avFilter) || ProbeLibraries.Contains(lbSDL));
  EXPECT_TRUE(PlayerLibraries.Contains(lbSDL) && PlayerLibraries.Contains(avFilter));
  EXPECT_FALSE(EngineLibraries.Contains(lbSDL));
  for (TLibraries set : {ProbeLibraries, PlayerLibraries, EngineLibraries})
    EXPECT_FALSE(set.Contains(avDevice));

  EXPECT_TRUE(loader_.Load(EngineLibraries)) << loader_.LastErrMsg();
  EXPECT_TRUE(loader_.Loaded(EngineLibraries));
  EXPECT_TRUE(loader_.Loaded(ProbeLibraries));
  EXPECT_FALSE(loader_.Loaded(PlayerLibraries));
  // The player's set after the engine's: only SDL is new.
  EXPECT_TRUE(loader_.Load(PlayerLibraries)) << loader_.LastErrMsg();
  EXPECT_TRUE(loader_.Loaded(lbSDL));
  loader_.Unload(avCodec);
  EXPECT_FALSE(loader_.Loaded(PlayerLibraries));
  EXPECT_TRUE(loader_.Loaded(avFormat));
}

TEST_F(Loader, UnlinkedLibraryFailsAndUnloadsTheWholeSet) {
  ASSERT_TRUE(loader_.Load(avCodec));
  EXPECT_FALSE(loader_.Load(avDevice));
  const std::string text = "Load library libavdevice.so." + std::to_string(LibraryItem(avFormat).Version) +
                           " error: the library is not linked into this program";
  EXPECT_EQ(loader_.LastErrMsg(), text);
  EXPECT_TRUE(loader_.Loaded(avCodec));

  EXPECT_FALSE(loader_.Load(TLibraries{avCodec, avDevice, avFormat}));
  EXPECT_FALSE(loader_.Loaded(avCodec));  // loaded before the call, unloaded with the set
  EXPECT_FALSE(loader_.Loaded(avFormat));

  // A later success keeps the last failure text.
  EXPECT_TRUE(loader_.Load(ProbeLibraries));
  EXPECT_EQ(loader_.LastErrMsg(), text);

  std::string component_error;
  EXPECT_FALSE(LoadAVLibSet(TLibraries{avUtil, avDevice}, "/opt/varnosk/LibAV", component_error));
  EXPECT_EQ(component_error, text);
  EXPECT_EQ(loader_.LibraryPath(), "/opt/varnosk/LibAV");
  EXPECT_FALSE(AVLibSetLoaded(ProbeLibraries));
  EXPECT_TRUE(LoadAVLibSet(ProbeLibraries, "", component_error));
  EXPECT_TRUE(AVLibSetLoaded(ProbeLibraries));
  UnloadAVLibSet(ProbeLibraries);
  EXPECT_FALSE(loader_.Loaded(swScale));
}

TEST_F(Loader, EmptySetIsACallerError) {
  EXPECT_THROW(loader_.Load(TLibraries{}), std::logic_error);
  EXPECT_THROW(loader_.Loaded(TLibraries{}), std::logic_error);
  EXPECT_THROW(loader_.Unload(TLibraries{}), std::logic_error);
}

TEST_F(Loader, VersionCheck) {
  const TLibraryItem& codec = LibraryItem(avCodec);
  EXPECT_EQ(codec.Name, std::string("avcodec"));
  EXPECT_NO_THROW(CheckLibraryVersion(codec, codec.Version));
  try {
    CheckLibraryVersion(codec, codec.Version + 1);
    ADD_FAILURE() << "mismatch accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), std::string("Load library ") + codec.FileName +
                                         " error: run-time major version " +
                                         std::to_string(codec.Version + 1) +
                                         " does not match the build's " +
                                         std::to_string(codec.Version));
  }
  EXPECT_NO_THROW(CheckLibraryVersion(LibraryItem(myUtil), 12345));  // carries no version
}

TEST_F(Loader, LoadingLibavutilInstallsTheLogBridge) {
  TMediaLogger& logger = LoggerInstance();
  logger.SetTriggerEventInMainThread(false);
  std::vector<std::string> lines;
  logger.SetOnLog([&](const void*, uint32_t, TLogLevel, const std::string& msg) { lines.push_back(msg); });

  loader_.SetInstallLogger(false);
  ASSERT_TRUE(loader_.Load(avUtil));
  av_log(nullptr, AV_LOG_PANIC, "not captured\n");
  loader_.SetInstallLogger(true);
  ASSERT_TRUE(loader_.Load(avUtil));  // already loaded: installs the bridge all the same
  av_log(nullptr, AV_LOG_ERROR, "captured\n");
  loader_.Unload(avUtil);
  av_log(nullptr, AV_LOG_PANIC, "after unload\n");
  EXPECT_EQ(lines, std::vector<std::string>{"captured"});
  logger.SetOnLog(nullptr);
  logger.SetTriggerEventInMainThread(true);
}

TEST(CodecLock, ExclusiveAcrossThreadsAndReentrant) {
  std::recursive_mutex& lock = CodecLock();
  EXPECT_EQ(&lock, &CodecLock());
  std::unique_lock outer(lock);
  {
    std::lock_guard inner(CodecLock());  // the holder may take it again
  }
  auto other = std::async(std::launch::async, [] { return CodecLock().try_lock(); });
  EXPECT_FALSE(other.get());
  outer.unlock();
  auto later = std::async(std::launch::async, [] {
    bool got = CodecLock().try_lock();
    if (got)
      CodecLock().unlock();
    return got;
  });
  EXPECT_TRUE(later.get());
}
