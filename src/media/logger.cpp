#include "media/logger.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "media/dispatcher.h"

namespace {
std::mutex g_instance_mutex;          // protects g_instance and g_owned
TMediaLogger* g_instance = nullptr;
std::unique_ptr<TMediaLogger> g_owned;  // a logger LoggerInstance created itself
std::atomic<int> g_library_level{32};   // the level last given to the library
std::atomic<bool> g_library_bound{false};  // the capture callback is installed

// Library text received per thread since that thread's last line end. FLock protects the
// table's structure (lookup and insertion); each entry is then read and written only by its
// own thread (map nodes never move). Items live until the process ends. The table is never
// destroyed, so library threads that still log during exit find it intact.
struct TLogList {
  std::mutex FLock;
  std::unordered_map<uint32_t, std::string> items;
};
TLogList& PendingLines() {
  static TLogList* list = new TLogList;
  return *list;
}

struct TLevelName {
  const char* name;
  int library_level;
};
const TLevelName kLevelNames[] = {
    {"quiet", -8}, {"panic", 0},    {"fatal", 8},    {"error", 16},
    {"warning", 24}, {"info", 32}, {"verbose", 40}, {"debug", 48},
};

bool SameTextIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return i == a.size() && !b[i];
}

// Appends printf-style text to out, however long it is.
void AppendFormattedV(std::string& out, const char* fmt, va_list args) {
  char small[256];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n <= 0)
    return;
  if (static_cast<size_t>(n) < sizeof small) {
    out.append(small, static_cast<size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_copy(copy, args);
  std::vsnprintf(big.data(), big.size(), fmt, copy);
  va_end(copy);
  out.append(big.data(), static_cast<size_t>(n));
}

void AppendFormatted(std::string& out, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  AppendFormattedV(out, fmt, args);
  va_end(args);
}
}  // namespace

int LibraryLevelOf(TLogLevel ALevel) { return static_cast<int>(ALevel) * 8 - 8; }

TLogLevel LogLevelOf(int ALibraryLevel) {
  int ordinal = ALibraryLevel / 8 + 1;
  return static_cast<TLogLevel>(ordinal < llQuiet ? llQuiet : ordinal > llDebug ? llDebug : ordinal);
}

uint32_t CurrentThreadID() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

TMediaLogger::TMediaLogger() {
  std::lock_guard lock(g_instance_mutex);
  if (g_instance)
    throw std::logic_error("Allow creating only one instance of TMediaLogger.");
  log_level_ = LogLevelOf(g_library_level);
  g_instance = this;
}

TMediaLogger::~TMediaLogger() {
  {
    std::lock_guard lock(g_instance_mutex);
    if (g_instance == this)
      g_instance = nullptr;
  }
  // No new capture can find this logger now; wait for those already delivering. A producer
  // may be waiting for the main thread, so keep servicing it when this is the main thread.
  while (captures_in_flight_ > 0) {
    ProcessPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
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

int TMediaLogger::LibraryLevel() { return g_library_level; }

void TMediaLogger::SyncLibraryLevel() {
  if (!g_library_bound)
    return;
  g_library_level = LibraryLevelOf(log_level_);
  av_log_set_level(g_library_level);
}

void TMediaLogger::SetLogLevel(TLogLevel ALevel) {
  if (log_level_.exchange(ALevel) != ALevel)
    SyncLibraryLevel();
}

void TMediaLogger::OptLogLevel(const std::string& arg) {
  for (const auto& level : kLevelNames)
    if (SameTextIgnoringCase(arg, level.name)) {
      SetLogLevel(LogLevelOf(level.library_level));
      return;
    }
  int value = 0;
  const char* first = arg.data();
  const char* last = arg.data() + arg.size();
  if (first != last && *first == '+')
    ++first;
  auto [end, ec] = std::from_chars(first, last, value);
  if (arg.empty() || ec != std::errc() || end != last)
    throw std::invalid_argument("'" + arg + "' is not a valid integer value");
  SetLogLevel(LogLevelOf(value));
}

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
  std::string text;
  va_list args;
  va_start(args, AFormat);
  AppendFormattedV(text, AFormat, args);
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

void TMediaLogger::InstallAVLogCallback() {
  av_log_set_callback(&TMediaLogger::CaptureAVLog);
  g_library_bound = true;
  SyncLibraryLevel();
}

void TMediaLogger::UninstallAVLogCallback() {
  g_library_bound = false;
  av_log_set_callback(av_log_default_callback);
}

void TMediaLogger::CaptureAVLog(void* avcl, int level, const char* fmt, va_list vl) {
  if (level >= 0)
    level &= 0xff;  // higher bits carry a colour hint
  if (level > g_library_level || !fmt)
    return;
  // Nothing may leave this function towards the library: a failing handler or allocation
  // loses the message, not the process.
  try {
    uint32_t tid = CurrentThreadID();
    std::string* pending;
    {
      TLogList& list = PendingLines();
      std::lock_guard lock(list.FLock);
      pending = &list.items[tid];
    }
    if (avcl && pending->empty()) {
      const AVClass* cls = *static_cast<const AVClass* const*>(avcl);
      if (cls) {
        const char* name = cls->item_name ? cls->item_name(avcl) : cls->class_name;
        AppendFormatted(*pending, "[%s @ %p]", name ? name : "", avcl);
      }
    }
    AppendFormattedV(*pending, fmt, vl);

    // Take the complete lines out before delivering: a handler on this thread may log again
    // and append to the same pending text.
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t lf; (lf = pending->find('\n', start)) != std::string::npos; start = lf + 1)
      lines.emplace_back(*pending, start, lf - start);
    if (lines.empty())
      return;
    pending->erase(0, start);

    TMediaLogger* logger;
    {
      std::lock_guard lock(g_instance_mutex);
      logger = g_instance;
      if (logger)
        ++logger->captures_in_flight_;
    }
    if (!logger)
      return;
    struct InFlight {
      TMediaLogger* logger;
      ~InFlight() { --logger->captures_in_flight_; }
    } in_flight{logger};
    TLogLevel log_level = LogLevelOf(level);
    for (const auto& line : lines) {
      try {
        logger->Deliver(logger, tid, log_level, line);
      } catch (...) {
      }
    }
  } catch (...) {
  }
}
