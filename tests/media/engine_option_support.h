// Fixtures for the option-language tests: an engine with the libraries loaded and the log
// captured, and a helper that returns the text a refused call threw.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/engine.h"
#include "media/ffmpeg_loader.h"
#include "media/logger.h"

namespace opttest {

// The message of the exception AOperation throws, "(no exception)" when it throws none.
template <class F>
std::string ErrorOf(F AOperation) {
  try {
    AOperation();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no exception)";
}

struct LogLine {
  TLogLevel level;
  std::string text;
};

// An engine of 20 files with every log line captured (library lines too).
class EngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(LoadAVLibSet(EngineLibraries, "", error)) << error;
    TMediaLogger& logger = LoggerInstance();
    logger.SetTriggerEventInMainThread(false);
    logger.SetLogLevel(llDebug);
    logger.SetOnLog([this](const void*, uint32_t, TLogLevel ALevel, const std::string& AText) {
      std::lock_guard lock(mutex_);
      lines_.push_back({ALevel, AText});
    });
  }
  void TearDown() override {
    LoggerInstance().SetOnLog(nullptr);
    LoggerInstance().SetLogLevel(llInfo);
  }

  std::vector<LogLine> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  void ClearLog() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }
  // Whether a line containing AText was logged at ALevel.
  bool Logged(TLogLevel ALevel, const std::string& AText) {
    for (const LogLine& l : Lines())
      if (l.level == ALevel && l.text.find(AText) != std::string::npos)
        return true;
    return false;
  }
  bool LoggedAnywhere(const std::string& AText) {
    for (const LogLine& l : Lines())
      if (l.text.find(AText) != std::string::npos)
        return true;
    return false;
  }

  TFFmpeg engine{20};
  const TEngineOptions& o = engine.Options();

private:
  std::mutex mutex_;
  std::vector<LogLine> lines_;
};

}  // namespace opttest
