#include "media/engine.h"

#include "media/media_probe.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "media/dispatcher.h"
#include "media/logger.h"
#include "media/video_hook.h"

// ---- thread priorities -------------------------------------------------------------------

namespace {

struct TPrioritySetting {
  int policy;
  int nice_delta;  // added to the process's nice value
};

// Indexed by TThreadPriority.
constexpr TPrioritySetting kPrioritySettings[] = {
    {SCHED_IDLE, 19},   // tpIdle
    {SCHED_OTHER, 10},  // tpLowest
    {SCHED_OTHER, 5},   // tpLower
    {SCHED_OTHER, 0},   // tpNormal
    {SCHED_OTHER, -5},  // tpHigher
    {SCHED_OTHER, -10}, // tpHighest
    {SCHED_OTHER, -20}, // tpTimeCritical
};

}  // namespace

bool SetCurrentThreadPriority(TThreadPriority APriority) {
  if (APriority < tpIdle || APriority > tpTimeCritical)
    return false;
  const TPrioritySetting& setting = kPrioritySettings[APriority];
  bool ok = true;
  // On Linux pid 0 names the calling thread, and nice values are per thread.
  if (sched_getscheduler(0) != setting.policy) {
    sched_param param{};
    ok = sched_setscheduler(0, setting.policy, &param) == 0;
  }
  errno = 0;
  int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  if (errno != 0)
    base = 0;
  int target = std::clamp(base + setting.nice_delta, -20, 19);
  auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  if (setpriority(PRIO_PROCESS, tid, target) != 0)
    ok = false;
  return ok;
}

// ---- waiting helpers ---------------------------------------------------------------------

void TManualResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  cond_.notify_all();
}

void TManualResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool TManualResetEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

void TManualResetEvent::Wait() {
  std::unique_lock lock(mutex_);
  cond_.wait(lock, [this] { return set_; });
}

bool TManualResetEvent::WaitFor(std::chrono::milliseconds ATimeout) {
  std::unique_lock lock(mutex_);
  return cond_.wait_for(lock, ATimeout, [this] { return set_; });
}

bool OnServicedMainThread() { return MainThreadDispatcher() && IsMainThread(); }

void ServicePendingBriefly() {
  ProcessPendingMessages();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void WaitServicing(TManualResetEvent& AEvent) {
  if (!OnServicedMainThread()) {
    AEvent.Wait();
    return;
  }
  for (;;) {
    ProcessPendingMessages();
    if (AEvent.WaitFor(std::chrono::milliseconds(20)))
      return;
  }
}

std::mutex& PostHookLock() {
  static std::mutex lock;
  return lock;
}

// ---- worker threads ----------------------------------------------------------------------

TConvertThread::TConvertThread(TCustomFFmpeg& AEngine, TThreadPriority APriority)
    : engine_(AEngine), priority_(APriority), thread_([this] { Execute(); }) {}

TConvertThread::~TConvertThread() {
  Resume();
  if (thread_.joinable())
    thread_.join();
}

void TConvertThread::Resume() {
  {
    std::lock_guard lock(mutex_);
    if (!suspended_)
      return;
    suspended_ = false;
  }
  cond_.notify_all();
}

bool TConvertThread::Suspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

void TConvertThread::Execute() {
  {
    std::unique_lock lock(mutex_);
    cond_.wait(lock, [this] { return !suspended_; });
  }
  SetCurrentThreadPriority(priority_);
  engine_.DoConvert();  // catches every failure itself
  engine_.stop_event_.Set();
}

// Terminates an engine that never started: runs the termination step, then signals the
// engine's termination event (reset by whoever created this thread).
class TCustomFFmpeg::TDoTerminateThread {
public:
  explicit TDoTerminateThread(TCustomFFmpeg& AEngine)
      : thread_([&AEngine] {
          AEngine.RunStep([&AEngine] { AEngine.Terminate(); });
          AEngine.term_event_.Set();
        }) {}
  ~TDoTerminateThread() {
    if (thread_.joinable())
      thread_.join();
  }

private:
  std::thread thread_;
};

// ---- the engine's control side -----------------------------------------------------------

namespace {
int CheckedMaxFiles(int AMaxFiles) {
  if (AMaxFiles < 1 || AMaxFiles > 512)
    throw std::invalid_argument("AMaxFiles must lie in 1..512, not " + std::to_string(AMaxFiles));
  return AMaxFiles;
}
}  // namespace

TCustomFFmpeg::TCustomFFmpeg(int AMaxFiles) : max_files_(CheckedMaxFiles(AMaxFiles)) {
  media_.reset(NewEngineMedia(*this, max_files_));
  ResetOptions();
}

TCustomFFmpeg::~TCustomFFmpeg() { Shutdown(); }

void TCustomFFmpeg::Shutdown() {
  Stop(true);
  WaitServicing(stop_event_);
  WaitServicing(term_event_);
  std::unique_ptr<TConvertThread> worker;
  std::unique_ptr<TDoTerminateThread> term_thread;
  {
    std::lock_guard lock(state_mutex_);
    worker = std::move(worker_);
    term_thread = std::move(term_thread_);
  }
  worker.reset();  // joins: both have finished their work
  term_thread.reset();
  try {
    CleanUp();
  } catch (const std::exception& e) {
    LoggerInstance().Log(this, llQuiet, e.what());
  }
}

void TCustomFFmpeg::InitEngine() {
  if (converting_)
    throw std::logic_error("Cannot InitEngine while converting.");
  Shutdown();
  ResetOptions();
  std::lock_guard lock(state_mutex_);
  join_mode_ = false;
  broken_ = false;
  finished_ = false;
  terminated_ = false;
  term_pending_ = false;
  threaded_ = false;
  fatal_exception_ = false;
  fatal_message_.clear();
  total_output_duration_ = -1;
}

TConvertThread* TCustomFFmpeg::StartConvert(bool AUseThread, TThreadPriority APriority) {
  {
    // Claiming the run here, in one step with the check, keeps a concurrent StopOrTerminate
    // from terminating an engine that is starting; a stop from now on is kept (broken_).
    std::lock_guard lock(state_mutex_);
    if (converting_ || terminated_ || term_pending_)
      return nullptr;
    converting_ = true;
    threaded_ = AUseThread;
    finished_ = false;
    std::lock_guard pause(pause_mutex_);
    broken_ = false;
    paused_ = false;
    if (AUseThread)
      stop_event_.Reset();  // before any waiter can see the worker
  }
  const char* missing = nullptr;
  if (OutputCount() == 0)
    missing = "At least one output file must be specified";
  else if (InputCount() == 0)
    missing = "At least one input file must be specified";
  if (missing) {
    RunStep([this] { CleanUp(); });
    Fail(missing);
    RunStep([this] { Terminate(); });
    if (AUseThread)
      stop_event_.Set();
    return nullptr;
  }
  if (!AUseThread) {
    DoConvert();
    return nullptr;
  }
  std::lock_guard lock(state_mutex_);
  // worker_ is empty here: an engine runs once until InitEngine, which joins the old worker.
  worker_ = std::make_unique<TConvertThread>(*this, APriority);
  thread_ = worker_.get();
  return thread_;
}

void TCustomFFmpeg::DoConvert() {
  finished_ = false;
  RunStep([this] { Transcode(); });
  RunStep([this] { CloseEncoders(); });
  RunStep([this] { CloseDecoders(); });
  RunStep([this] { CleanUp(); });
  RunStep([this] { Terminate(); });
}

void TCustomFFmpeg::RunStep(const std::function<void()>& AStep) {
  try {
    AStep();
  } catch (const std::exception& e) {
    Fail(e.what());
  } catch (...) {
    Fail("Unknown exception");
  }
}

void TCustomFFmpeg::Fail(const std::string& AMessage) {
  {
    std::lock_guard lock(state_mutex_);
    fatal_exception_ = true;
    fatal_message_ = AMessage;  // a later failure overwrites an earlier one
  }
  try {
    LoggerInstance().Log(this, llQuiet, AMessage);
  } catch (...) {
    // a failing log handler must not end the worker
  }
}

void TCustomFFmpeg::Terminate() {
  {
    std::lock_guard lock(state_mutex_);
    converting_ = false;
    terminated_ = true;
    term_pending_ = false;
    thread_ = nullptr;
  }
  {
    std::lock_guard pause(pause_mutex_);
    paused_ = false;
  }
  if (OnTerminate)
    OnTerminate(this);
}

void TCustomFFmpeg::Stop(bool AWaitFor) {
  TConvertThread* thread = nullptr;
  bool wait = false;
  {
    std::lock_guard lock(state_mutex_);
    if (!converting_)
      return;
    thread = thread_;
    // The worker cannot end while it waits for itself.
    bool on_worker = worker_ && worker_->Id() == std::this_thread::get_id();
    wait = AWaitFor && threaded_ && !on_worker;
    std::lock_guard pause(pause_mutex_);
    broken_ = true;
    paused_ = false;  // a paused loop must run to observe the stop
  }
  pause_cond_.notify_all();
  if (thread)
    thread->Resume();
  if (wait)
    WaitServicing(stop_event_);
}

void TCustomFFmpeg::StopOrTerminate(bool AWaitFor) {
  {
    std::unique_lock lock(state_mutex_);
    if (converting_) {
      lock.unlock();
      Stop(AWaitFor);
      return;
    }
    if (terminated_)
      return;
    if (!term_pending_) {
      term_pending_ = true;
      term_event_.Reset();
      term_thread_ = std::make_unique<TDoTerminateThread>(*this);
    }
  }
  if (AWaitFor)
    WaitServicing(term_event_);
}

void TCustomFFmpeg::Pause() {
  std::lock_guard lock(state_mutex_);
  if (!converting_ || !threaded_)
    return;
  std::lock_guard pause(pause_mutex_);
  if (!broken_)
    paused_ = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard pause(pause_mutex_);
    if (!paused_)
      return;
    paused_ = false;
  }
  pause_cond_.notify_all();
}

bool TCustomFFmpeg::CheckContinue() {
  std::unique_lock pause(pause_mutex_);
  pause_cond_.wait(pause, [this] { return !paused_ || broken_; });
  return !broken_;
}

void TCustomFFmpeg::RaiseProgress(int AFileIndex, int AFrameNumber, int AFPS, float AQuality,
                                  float ABitRate, int64_t ACurrentSize, int64_t ACurrentDuration,
                                  int64_t ATotalDuration) {
  if (paused_ || !OnProgress)
    return;
  OnProgress(this, AFileIndex, AFrameNumber, AFPS, AQuality, ABitRate, ACurrentSize,
             ACurrentDuration, ATotalDuration);
}

std::string TCustomFFmpeg::FatalMessage() const {
  std::lock_guard lock(state_mutex_);
  return fatal_message_;
}

TPostHooks TCustomFFmpeg::PostHooks() const {
  auto lock = LockServicing(PostHookLock());
  return post_hooks_;
}

void TCustomFFmpeg::SetPostHooks(TPostHooks AHooks) {
  auto lock = LockServicing(PostHookLock());
  post_hooks_ = AHooks;
}

// ---- TFFmpeg -----------------------------------------------------------------------------

TFFmpeg::TFFmpeg(int AMaxFiles)
    : TCustomFFmpeg(AMaxFiles),
      input_options_(MaxFiles()),
      output_options_(MaxFiles()),
      media_probes_(MaxFiles()) {}

// Stops and joins before the records go, so a running worker never sees them destroyed.
TFFmpeg::~TFFmpeg() { Shutdown(); }

TMediaProbe* TFFmpeg::MediaProbe(int AIndex) const {
  return AIndex >= 0 && AIndex < MaxFiles() ? media_probes_[AIndex].get() : nullptr;
}

void TFFmpeg::InputsClosing() {
  for (auto& probe : media_probes_)
    if (probe && !probe->OwnHandle() && probe->FileHandle())
      probe->SetFileHandle(nullptr);
}

void TFFmpeg::AttachMediaProbe(int AIndex, std::unique_ptr<TMediaProbe> AProbe) {
  if (AIndex < 0 || AIndex >= MaxFiles())
    throw std::out_of_range("input index out of range: " + std::to_string(AIndex));
  media_probes_[AIndex] = std::move(AProbe);
}

TInputOptions& TFFmpeg::InputOptions(int AIndex) {
  if (AIndex < 0 || AIndex >= MaxFiles())
    throw std::out_of_range("input index out of range: " + std::to_string(AIndex));
  return input_options_[AIndex];
}

TOutputOptions& TFFmpeg::OutputOptions(int AIndex) {
  if (AIndex < 0 || AIndex >= MaxFiles())
    throw std::out_of_range("output index out of range: " + std::to_string(AIndex));
  return output_options_[AIndex];
}
