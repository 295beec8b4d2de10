// The one place where log text of the media side reaches the application: direct Log calls of
// the media components and (once installed) the media library's own log output end in OnLog.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Library level of a member = ordinal * 8 - 8.
enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// ordinal * 8 - 8.
int LibraryLevelOf(TLogLevel ALevel);
// (ALibraryLevel div 8) + 1, truncating toward zero, clamped to llQuiet..llDebug.
TLogLevel LogLevelOf(int ALibraryLevel);

struct TLogInfo {
  const void* Sender = nullptr;
  uint32_t ThreadID = 0;
  TLogLevel LogLevel = llQuiet;
  std::string LogMsg;
};

using TLogEvent = std::function<void(const void* Sender, uint32_t AThreadID, TLogLevel ALogLevel,
                                     const std::string& ALogMsg)>;

// The calling thread's id as the log shows it (the kernel's thread id).
uint32_t CurrentThreadID();

class TMediaLogger {
public:
  // Only one logger may exist; a second one throws std::logic_error with
  // "Allow creating only one instance of TMediaLogger.".
  TMediaLogger();
  // Waits for library messages being delivered through this logger on other threads (servicing
  // the main thread's pending calls meanwhile when called there).
  ~TMediaLogger();
  TMediaLogger(const TMediaLogger&) = delete;
  TMediaLogger& operator=(const TMediaLogger&) = delete;

  // Delivered only when OnLog is set and LogLevel() >= ALogLevel, or ALogLevel is llVerbose and
  // LogLevel() is not llQuiet.
  void Log(const void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg);
  void LogFmt(const void* Sender, TLogLevel ALogLevel, const char* AFormat, ...)
      __attribute__((format(printf, 4, 5)));

  TLogLevel LogLevel() const { return log_level_; }
  // When the level changes and the library is bound, the library's level follows it.
  void SetLogLevel(TLogLevel ALevel);
  // Sets LogLevel from a level name ("quiet" ... "debug", any letter case) or a decimal library
  // level. Other text throws std::invalid_argument "'<arg>' is not a valid integer value".
  void OptLogLevel(const std::string& arg);

  bool TriggerEventInMainThread() const { return trigger_in_main_; }
  void SetTriggerEventInMainThread(bool on) { trigger_in_main_ = on; }

  // The handler may be replaced or cleared at any time from the main thread.
  void SetOnLog(TLogEvent handler);

  // Fills LogInfo and fires OnLog (in the main thread when TriggerEventInMainThread), one
  // message at a time. Used by Log and by the library log capture.
  void Deliver(const void* Sender, uint32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg);

  // Binds the media library's log output to the logger of the process: installs the capture
  // callback and gives the library this logger's level. The loader calls it whenever libavutil
  // loads.
  void InstallAVLogCallback();
  // Gives the library back its own log callback; the library level no longer follows LogLevel.
  static void UninstallAVLogCallback();

  // The level the library filters by, as last given to it (32 until bound).
  static int LibraryLevel();

private:
  // The library's log callback; runs on whichever thread logs.
  static void CaptureAVLog(void* avcl, int level, const char* fmt, va_list vl);
  bool WouldDeliver(TLogLevel ALogLevel) const;
  void SyncLibraryLevel();

  std::atomic<TLogLevel> log_level_;
  std::atomic<bool> trigger_in_main_{true};
  std::mutex handler_mutex_;  // protects on_log_
  TLogEvent on_log_;
  std::recursive_mutex deliver_mutex_;  // one delivery at a time (a handler may log); protects log_info_
  TLogInfo log_info_;
  std::atomic<int> captures_in_flight_{0};  // library messages being delivered through this logger
};

// The logger of the process, created on first use when none exists.
TMediaLogger& LoggerInstance();
// The logger if one exists, else nullptr (never creates one).
TMediaLogger* ExistingLogger();
