// The one place where log text of the media side reaches the application: direct Log calls of
// the media components and (once installed) the media library's own log output end in OnLog.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Library level of a member = ordinal * 8 - 8.
enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

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
  ~TMediaLogger();
  TMediaLogger(const TMediaLogger&) = delete;
  TMediaLogger& operator=(const TMediaLogger&) = delete;

  // Delivered only when OnLog is set and LogLevel() >= ALogLevel, or ALogLevel is llVerbose and
  // LogLevel() is not llQuiet.
  void Log(const void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg);
  void LogFmt(const void* Sender, TLogLevel ALogLevel, const char* AFormat, ...)
      __attribute__((format(printf, 4, 5)));

  TLogLevel LogLevel() const { return log_level_; }
  void SetLogLevel(TLogLevel ALevel);

  bool TriggerEventInMainThread() const { return trigger_in_main_; }
  void SetTriggerEventInMainThread(bool on) { trigger_in_main_ = on; }

  // The handler may be replaced or cleared at any time from the main thread.
  void SetOnLog(TLogEvent handler);

  // Fills LogInfo and fires OnLog (in the main thread when TriggerEventInMainThread), one
  // message at a time. Used by Log and by the library log capture.
  void Deliver(const void* Sender, uint32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg);

private:
  bool WouldDeliver(TLogLevel ALogLevel) const;

  std::atomic<TLogLevel> log_level_;
  std::atomic<bool> trigger_in_main_{true};
  std::mutex handler_mutex_;  // protects on_log_
  TLogEvent on_log_;
  std::recursive_mutex deliver_mutex_;  // one delivery at a time (a handler may log); protects log_info_
  TLogInfo log_info_;
};

// The logger of the process, created on first use when none exists.
TMediaLogger& LoggerInstance();
// The logger if one exists, else nullptr (never creates one).
TMediaLogger* ExistingLogger();
