#include "media/logger.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

#include "media/dispatcher.h"

namespace {
std::mutex g_instance_mutex;          // protects g_instance and g_owned
TMediaLogger* g_instance = nullptr;
std::unique_ptr<TMediaLogger> g_owned;  // a logger LoggerInstance created itself
std::atomic<int> g_library_level{32};   // the level last given to the library
}  // namespace

uint32_t CurrentThreadID() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

TMediaLogger::TMediaLogger() {
  std::lock_guard lock(g_instance_mutex);
  if (g_instance)
    throw std::logic_error("Allow creating only one instance of TMediaLogger.");
  int lib = g_library_level;
  int ordinal = lib / 8 + 1;
  log_level_ = static_cast<TLogLevel>(ordinal < 0 ? 0 : ordinal > 7 ? 7 : ordinal);
  g_instance = this;
}

TMediaLogger::~TMediaLogger() {
  std::lock_guard lock(g_instance_mutex);
  if (g_instance == this)
    g_instance = nullptr;
}

TMediaLogger& LoggerInstance() {
  std::unique_lock lock(g_instance_mutex);
  if (g_instance)
    return *g_instance;
  lock.unlock();
  auto logger = std::make_unique<TMediaLogger>();
  lock.lock();
  g_owned = std::move(logger);
  return *g_owned;
}

TMediaLogger* ExistingLogger() {
  std::lock_guard lock(g_instance_mutex);
  return g_instance;
}

void TMediaLogger::SetLogLevel(TLogLevel ALevel) { log_level_ = ALevel; }

void TMediaLogger::SetOnLog(TLogEvent handler) {
  std::lock_guard lock(handler_mutex_);
  on_log_ = std::move(handler);
}

bool TMediaLogger::WouldDeliver(TLogLevel ALogLevel) const {
  TLogLevel level = log_level_;
  return level >= ALogLevel || (ALogLevel == llVerbose && level != llQuiet);
}

void TMediaLogger::Log(const void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg) {
  if (!WouldDeliver(ALogLevel))
    return;
  Deliver(Sender, CurrentThreadID(), ALogLevel, ALogMsg);
}

void TMediaLogger::LogFmt(const void* Sender, TLogLevel ALogLevel, const char* AFormat, ...) {
  if (!WouldDeliver(ALogLevel))
    return;
  va_list args;
  va_start(args, AFormat);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, AFormat, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), AFormat, args);
    text.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  Deliver(Sender, CurrentThreadID(), ALogLevel, text);
}

void TMediaLogger::Deliver(const void* Sender, uint32_t AThreadID, TLogLevel ALogLevel,
                           const std::string& ALogMsg) {
  TLogEvent handler;
  {
    std::lock_guard lock(handler_mutex_);
    handler = on_log_;
  }
  if (!handler)
    return;
  // Fill and fire as one step. In main-thread mode the lock is taken on the main thread, so a
  // producer waiting for the main thread never holds it while the main thread logs itself.
  auto fire = [&] {
    std::lock_guard lock(deliver_mutex_);
    log_info_ = TLogInfo{Sender, AThreadID, ALogLevel, ALogMsg};
    handler(log_info_.Sender, log_info_.ThreadID, log_info_.LogLevel, log_info_.LogMsg);
  };
  if (trigger_in_main_)
    RunInMainThread(fire);
  else
    fire();
}
