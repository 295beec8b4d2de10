// The per-task conversion engine: TCustomFFmpeg runs one conversion task (its inputs, its
// outputs, one run) on a worker thread or in the caller's thread; TFFmpeg adds the stored
// option records of each input and output. This header is the control side: creation, start,
// worker thread, stop, pause, resume, termination and the events the engine raises. The media
// work behind OpenInput / OpenOutput / Transcode is TEngineMedia (engine_media.h).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/bitmap.h"
#include "media/engine_options.h"
#include "media/option_records.h"

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Gives the calling thread APriority: tpIdle is SCHED_IDLE, the others SCHED_OTHER with a nice
// value relative to the process's own (lowest +10, lower +5, higher -5, highest -10,
// time-critical -20). A change the system refuses (raising without the privilege) is ignored.
// Returns true when the thread runs with exactly the asked settings.
bool SetCurrentThreadPriority(TThreadPriority APriority);

class TMediaProbe;

// An event that stays signalled until Reset, like a Windows manual-reset event.
class TManualResetEvent {
public:
  explicit TManualResetEvent(bool ASignalled) : set_(ASignalled) {}
  void Set();
  void Reset();
  bool IsSet() const;
  void Wait();
  // True when the event was signalled within ATimeout.
  bool WaitFor(std::chrono::milliseconds ATimeout);

private:
  mutable std::mutex mutex_;  // protects set_
  std::condition_variable cond_;
  bool set_;
};

// Waits until AEvent is signalled. On the main thread (with a dispatcher installed) it polls
// every 20 ms and services pending main-thread calls between polls, so a worker that waits for
// the main thread can finish; on other threads it simply blocks.
void WaitServicing(TManualResetEvent& AEvent);

// Locks AMutex. On the main thread (with a dispatcher installed) a contended lock is retried
// while pending main-thread calls are serviced, so a thread that holds AMutex and waits for the
// main thread cannot deadlock it.
template <class Mutex>
std::unique_lock<Mutex> LockServicing(Mutex& AMutex);
// True on the main thread when a dispatcher is installed (waits there must service it).
bool OnServicedMainThread();
// Services pending main-thread calls once, then sleeps a millisecond.
void ServicePendingBriefly();

enum TPostHook { phPreview, phBitmap, phHBITMAP };

// A set of post hooks.
class TPostHooks {
public:
  constexpr TPostHooks() = default;
  constexpr TPostHooks(std::initializer_list<TPostHook> AHooks) {
    for (TPostHook h : AHooks)
      bits_ |= Bit(h);
  }
  constexpr bool Contains(TPostHook AHook) const { return bits_ & Bit(AHook); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TPostHooks& Include(TPostHook AHook) { bits_ |= Bit(AHook); return *this; }
  constexpr TPostHooks& Exclude(TPostHook AHook) { bits_ &= ~Bit(AHook); return *this; }
  constexpr bool operator==(const TPostHooks&) const = default;

private:
  static constexpr unsigned Bit(TPostHook h) { return 1u << static_cast<unsigned>(h); }
  unsigned bits_ = 0;
};

// The one lock around the post-hook sets of all engines.
std::mutex& PostHookLock();

class TCustomFFmpeg;

// Engine events. The engine raises them on the thread that runs the conversion.
using TFFmpegCustomHookEvent =
    std::function<void(TCustomFFmpeg* Sender, TBitmap24* ABitmap, int AFrameNumber, int64_t APTS,
                       bool& AUpdate, bool& AStopHook)>;
using TFFmpegPreviewBitmapEvent = std::function<void(TCustomFFmpeg* Sender, TBitmap24* ABitmap,
                                                     int AFrameNumber, int64_t APTS)>;
using TFFmpegProgressEvent = std::function<void(
    TCustomFFmpeg* Sender, int AFileIndex, int AFrameNumber, int AFPS, float AQuality,
    float ABitRate, int64_t ACurrentSize, int64_t ACurrentDuration, int64_t ATotalDuration)>;
using TFFmpegTerminateEvent = std::function<void(TCustomFFmpeg* Sender)>;

// The worker of one run. It is created suspended and runs the engine's conversion once resumed.
class TConvertThread {
public:
  TConvertThread(TCustomFFmpeg& AEngine, TThreadPriority APriority);
  // Lets a thread that was never resumed run (its owner has stopped the engine first), then
  // joins it.
  ~TConvertThread();
  TConvertThread(const TConvertThread&) = delete;
  TConvertThread& operator=(const TConvertThread&) = delete;

  // Starts a suspended thread; does nothing afterwards.
  void Resume();
  bool Suspended() const;
  std::thread::id Id() const { return thread_.get_id(); }
  TThreadPriority Priority() const { return priority_; }

private:
  void Execute();

  TCustomFFmpeg& engine_;
  const TThreadPriority priority_;
  mutable std::mutex mutex_;  // protects suspended_
  std::condition_variable cond_;
  bool suspended_ = true;
  std::thread thread_;
};

class TVideoHooks;

// The media work's own state (opened inputs and outputs, run tables); defined with the media
// work.
struct TEngineMedia;
TEngineMedia* NewEngineMedia(TCustomFFmpeg& AEngine, int AMaxFiles);
struct AVFormatContext;
struct TEngineMediaDeleter {
  void operator()(TEngineMedia* AMedia) const;
};

class TCustomFFmpeg {
public:
  // AMaxFiles (1..512) is the capacity for inputs and for outputs; any other value throws
  // std::invalid_argument.
  explicit TCustomFFmpeg(int AMaxFiles);
  // Stops a running conversion and waits for it (servicing the main thread while waiting).
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // Releases whatever a previous use left and clears the run state, so the engine can be
  // filled again. Throws std::logic_error while converting.
  void InitEngine();

  // Starts the run. Returns nullptr when the engine has already run or runs now, when the
  // run failed at once (no input or no output: the termination has been raised), or without
  // a thread (AUseThread false: the whole conversion ran in the caller before returning).
  // With a thread: returns the worker, created suspended; Resume() lets it run.
  TConvertThread* StartConvert(bool AUseThread, TThreadPriority APriority);

  // A converting engine is asked to stop (the loop ends at its next turn, also when paused);
  // with AWaitFor the caller waits until the worker has ended (not when called on the worker).
  void Stop(bool AWaitFor);
  // Stop for a converting engine; an engine that never started terminates without running
  // (on a short-lived thread; with AWaitFor the caller waits for it); a terminated one is left
  // alone.
  void StopOrTerminate(bool AWaitFor);
  // Cooperative pause of a worker: the loop waits at the top of its next turn, and no progress
  // or preview event is raised while paused. Nothing happens without a worker thread.
  void Pause();
  void Resume();

  // Media work. OpenInput opens the next input (false: LastErrMsg says why); OpenOutput creates
  // the next output, joining all inputs into it with AJoin, and returns the number of outputs,
  // or -1 with LastErrMsg.
  bool OpenInput(const std::string& AFileName);
  int OpenOutput(const std::string& AFileName, bool AJoin);
  int InputCount() const;   // nb_input_files
  int OutputCount() const;  // nb_output_files
  // The opened container of input AIndex (nullptr when there is none); it stays the engine's
  // and is closed by the clean-up, after InputsClosing.
  AVFormatContext* InputHandle(int AIndex) const;

  int MaxFiles() const { return max_files_; }
  bool Converting() const { return converting_; }
  bool Broken() const { return broken_; }
  bool Finished() const { return finished_; }
  bool Terminated() const { return terminated_; }
  bool Paused() const { return paused_; }
  bool JoinMode() const { return join_mode_; }
  bool FatalException() const { return fatal_exception_; }
  std::string FatalMessage() const;
  // Text of the last failed OpenInput / OpenOutput. Main thread.
  const std::string& LastErrMsg() const { return last_err_msg_; }
  // Expected output duration in microseconds, -1 while unknown.
  int64_t TotalOutputDuration() const { return total_output_duration_; }
  int Verbose() const { return verbose_; }
  void SetVerbose(int AVerbose) { verbose_ = AVerbose; }

  // The post-hook set, read and written under PostHookLock().
  TPostHooks PostHooks() const;
  void SetPostHooks(TPostHooks AHooks);
  // The same for a caller that already holds PostHookLock().
  TPostHooks PostHooksLocked() const { return post_hooks_; }
  void SetPostHooksLocked(TPostHooks AHooks) { post_hooks_ = AHooks; }

  // Events; connect them before the run starts.
  TFFmpegCustomHookEvent OnCustomHook;
  TFFmpegPreviewBitmapEvent OnPreviewBitmap;
  TFFmpegProgressEvent OnProgress;
  TFFmpegTerminateEvent OnTerminate;

  // Minimum time between two progress reports / preview frames, microseconds.
  std::atomic<int64_t> ReportInterval{500000};
  std::atomic<int64_t> PreviewInterval{100000};

  // ---- the option language (engine_option_*.cpp, engine_presets*.cpp) ----
  // All of these run on the caller's thread while the engine is filled, never during a run.

  // Applies one option of the option language. AName is compared exactly (ApplyExtOptions
  // lower-cases it); names the language does not know go to SetDefaultOption, whose result
  // is ignored. A refused option throws std::runtime_error with the option's message (the
  // 4-character tag checks throw TAssertionFailure).
  void ParseOption(const std::string& AName, const std::string& AValue);
  // Sets a library option by name in the generic option store (TFFOptions::SetDefaultOption
  // with the encoders and format chosen so far). True when it exists and took the value.
  bool SetDefaultOption(const std::string& AName, const std::string& AValue);
  // Applies option text line by line through ParseOption, names lower-cased. Lines named
  // newvideo, newaudio, newsubtitle, apre, vpre, spre, vfilters and vf are skipped (the record
  // application handles them), for an output also acodec, vcodec, scodec and s.
  void ApplyExtOptions(const std::string& AText, bool AIsInput);
  // Presets: AKind is "apre", "vpre", "spre" or "fpre"; AValue a built-in preset name or a
  // preset file. Throws with the preset's message; empty arguments do nothing.
  void ApplyPreset(const std::string& AKind, const std::string& AValue);
  // Target presets: AType "vcd", "svcd", "dvd", "dv" or "dv50"; ANorm "pal", "ntsc", "film"
  // or anything else for detection, with AFallback ("pal", "ntsc" or "film") when detection
  // finds nothing. Throws with the target's message.
  void ApplyTarget(const std::string& AType, const std::string& ANorm,
                   const std::string& AFallback);

  // The option state and the generic option store; the media work reads them to open inputs,
  // create outputs and streams and run the transcode.
  const TEngineOptions& Options() const { return *options_; }
  TEngineOptions& Options() { return *options_; }
  const TFFOptions& FFOptions() const { return *ff_options_; }
  // The video hook modules added by "vhook" (their Release runs when options are reset).
  TVideoHooks& VideoHooks() { return *video_hooks_; }
  bool UsingVideoHooks() const;

protected:
  // Every option back to its reset value: the option state, a new generic option store with
  // the scaler flags, no video hooks (each one's Release is called), verbosity 1.
  void ResetOptions();
  // Runs AApply; when it throws, the option state, the generic option store, the video hooks,
  // the verbosity and the expected duration are put back as they were before, and the
  // exception goes on to the caller.
  void ApplyAtomically(const std::function<void()>& AApply);

  // The body of one run, on the worker (or the caller without a thread): the transcode, then
  // each in its own protected step so one failure skips nothing: close encoders, close
  // decoders, clean up, terminate. Failures are logged and kept as the fatal error.
  void DoConvert();
  // The media work of a run: runs until the inputs end or a stop; throws on fatal errors.
  void Transcode();
  void CloseEncoders();
  void CloseDecoders();
  // Releases everything opened for inputs and outputs; counters become 0.
  void CleanUp();
  // Called by the clean-up just before the inputs' containers are closed, so whoever was
  // given an InputHandle lets go of it.
  virtual void InputsClosing() {}
  // The termination step: not converting, terminated, no worker; raises OnTerminate.
  void Terminate();

  // Called at the top of every loop turn: waits while paused. False when the run is to stop.
  bool CheckContinue();
  // Raises OnProgress unless paused.
  void RaiseProgress(int AFileIndex, int AFrameNumber, int AFPS, float AQuality, float ABitRate,
                     int64_t ACurrentSize, int64_t ACurrentDuration, int64_t ATotalDuration);
  // Records a failure of the run: logged at the quietest level, kept as the fatal error.
  void Fail(const std::string& AMessage);

  // Waits for the worker and the termination thread of a previous run and joins them.
  void Shutdown();

  std::string last_err_msg_;  // main thread
  std::atomic<bool> finished_{false};
  std::atomic<bool> join_mode_{false};
  std::atomic<int64_t> total_output_duration_{-1};
  std::unique_ptr<TEngineMedia, TEngineMediaDeleter> media_;

private:
  friend class TConvertThread;
  friend struct TOptionCall;
  friend struct TEngineMedia;
  class TDoTerminateThread;

  void RunStep(const std::function<void()>& AStep);

  const int max_files_;
  std::atomic<int> verbose_{1};

  mutable std::mutex state_mutex_;  // protects the run-state transitions below, fatal_message_,
                                    // thread_, worker_, term_thread_, threaded_, term_pending_
  std::atomic<bool> converting_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> broken_{false};
  std::atomic<bool> fatal_exception_{false};
  std::string fatal_message_;
  bool threaded_ = false;      // the current run has a worker thread
  bool term_pending_ = false;  // a never-started engine is being terminated
  TConvertThread* thread_ = nullptr;           // worker of the current run, null when none
  std::unique_ptr<TConvertThread> worker_;     // owns the last worker until joined
  std::unique_ptr<TDoTerminateThread> term_thread_;

  std::mutex pause_mutex_;  // protects writes of paused_ and broken_ against lost wake-ups
  std::condition_variable pause_cond_;
  std::atomic<bool> paused_{false};

  TManualResetEvent stop_event_{true};  // non-signalled while a worker runs
  TManualResetEvent term_event_{true};  // non-signalled while a termination thread runs

  TPostHooks post_hooks_;  // under PostHookLock()

  std::unique_ptr<TEngineOptions> options_;
  std::unique_ptr<TFFOptions> ff_options_;
  std::unique_ptr<TVideoHooks> video_hooks_;
};

// The stream defaults of the output being described: the def_ entries (def_acodec,
// def_vcodec, def_scodec, def_apre, def_vpre, def_spre, def_s, def_vf) and the per-stream
// lines queued from ExtOptions for the streams its newaudio / newvideo / newsubtitle lines
// add.
struct TStreamDefaults {
  // Value of a def_ entry ("def_" + ASetting), empty when unset.
  std::string Default(const std::string& ASetting) const;
  void SetDefault(const std::string& ASetting, const std::string& AValue);
  // Removes and returns the first queued value of ASetting; false when none is queued.
  bool TakeQueued(const std::string& ASetting, std::string& AValue);

  std::vector<TOptionLine> defaults;  // "def_..." = value
  std::vector<TOptionLine> queue;     // setting = value, in ExtOptions order
};

// The engine of one task of the task manager: adds a stored copy of each input's and each
// output's option record (MaxFiles slots each) and applies records to the option state.
class TFFmpeg : public TCustomFFmpeg {
public:
  explicit TFFmpeg(int AMaxFiles);
  ~TFFmpeg() override;

  // Slot AIndex (0..MaxFiles-1); throws std::out_of_range otherwise.
  TInputOptions& InputOptions(int AIndex);
  TOutputOptions& OutputOptions(int AIndex);

  // The probe of input AIndex, or nullptr when that input has none (not opened yet).
  TMediaProbe* MediaProbe(int AIndex) const;
  // Gives input AIndex its probe (the task keeps it until the task goes).
  void AttachMediaProbe(int AIndex, std::unique_ptr<TMediaProbe> AProbe);

  // Applies an input record before its input is opened: its ExtOptions, FileFormat,
  // TimeStart when set, ProgramID when 0 or more. Throws with the refusing option's message,
  // leaving the options as they were before the call (so do the other two Apply...Record
  // operations and ApplyNewStreamLines).
  void ApplyInputRecord(const TInputOptions& AOptions);
  // Applies an output record before its output is opened: BuildStreamDefaults, the target,
  // the default codecs and presets, ExtOptions, ApplyOutputOptions, then the default frame
  // size and filters. Throws with the refusing option's message.
  void ApplyOutputRecord(const TOutputOptions& AOptions);
  // The steps of ApplyOutputRecord that have a name of their own.
  void BuildStreamDefaults(const TOutputOptions& AOptions);
  void ApplyOutputOptions(const TOutputOptions& AOptions);
  // After the output opened: every newaudio / newvideo / newsubtitle line of ExtOptions adds
  // a stream, with that kind's settings taken first from the queue, else from the defaults.
  void ApplyNewStreamLines(const TOutputOptions& AOptions);
  const TStreamDefaults& StreamDefaults() const { return stream_defaults_; }

protected:
  // The probes let go of the containers the clean-up is about to close.
  void InputsClosing() override;

private:
  void ApplyOutputRecordSteps(const TOutputOptions& AOptions);
  void ApplyNewStreamLineSteps(const TOutputOptions& AOptions);

  std::vector<TInputOptions> input_options_;
  std::vector<TOutputOptions> output_options_;
  std::vector<std::unique_ptr<TMediaProbe>> media_probes_;  // one slot per input
  TStreamDefaults stream_defaults_;
};

template <class Mutex>
std::unique_lock<Mutex> LockServicing(Mutex& AMutex) {
  std::unique_lock<Mutex> lock(AMutex, std::defer_lock);
  if (!OnServicedMainThread()) {
    lock.lock();
    return lock;
  }
  while (!lock.try_lock())
    ServicePendingBriefly();
  return lock;
}
