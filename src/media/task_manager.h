// The task manager: the one component through which the program converts media. The
// application adds tasks (one engine each: inputs, outputs, option records), starts them on
// worker threads or synchronously, pauses, resumes or stops them, and receives four events:
// progress, termination, a per-frame custom hook and a preview bitmap.
//
// Threads: all public operations run on the caller's (normally the main) thread. In thread
// mode every running task has a worker; OnProgress and OnPreviewBitmap are raised there and,
// with TriggerEventInMainThread, run on the main thread while the worker waits; OnCustomHook
// runs on the worker; OnTerminate runs on a short-lived thread of its own per notification
// (in synchronous mode: in the caller of Start). The final notification (TaskIndex -1) is
// delivered after the notifications of every task of the run have been handled.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/bitmap.h"
#include "media/engine.h"
#include "media/media_probe.h"
#include "media/option_records.h"

struct TProgressInfo {
  int TaskIndex = 0;
  int FileIndex = 0;     // input of the packet processed last; -1 in the final report
  int FrameNumber = 0;   // -1 without video output
  int FPS = 0;           // -1 without video
  float Quality = 0.0f;  // -1.0 for stream copy or without video
  float BitRate = 0.0f;  // kbit/s
  int64_t CurrentSize = 0;      // bytes written to the first output
  int64_t CurrentDuration = 0;  // microseconds
  int64_t TotalDuration = 0;    // microseconds, -1 when unknown
};

struct TTerminateInfo {
  int TaskIndex = 0;       // -1 for the final notification of a run
  bool Finished = false;   // reached the end of its inputs; True in the final notification
  bool Exception = false;  // ended by an error
  std::string ExceptionMsg;
};

struct THookInfo {
  int TaskIndex = 0;
  TBitmap24* Bitmap = nullptr;  // the frame; the handler may draw on it
  int FrameNumber = 0;
  int64_t PTS = 0;        // microseconds
  bool Update = false;    // in/out: set when the bitmap changed and the picture is to be rebuilt
  bool StopHook = false;  // in/out: set to stop the hook for the rest of the task
};

struct TPreviewInfo {
  int TaskIndex = 0;
  TBitmap24* Bitmap = nullptr;
  int FrameNumber = 0;
  int64_t PTS = 0;
};

class TCustomTaskManager;

using TCustomHookEvent = std::function<void(TCustomTaskManager* Sender, THookInfo* AHookInfo)>;
using TPreviewBitmapEvent =
    std::function<void(TCustomTaskManager* Sender, const TPreviewInfo& APreviewInfo)>;
using TProgressEvent =
    std::function<void(TCustomTaskManager* Sender, TProgressInfo* AProgressInfo)>;
using TTerminateEvent =
    std::function<void(TCustomTaskManager* Sender, const TTerminateInfo& ATerminateInfo)>;

// The task list; owns its engines. Workers look tasks up while the main thread reads the list;
// the list changes only on the main thread while no task runs.
class TFFmpegList {
public:
  int Add(std::unique_ptr<TFFmpeg> ATask);  // returns the new index
  void Clear();                              // frees every task (each stops and waits first)
  void Delete(int AIndex);
  void Exchange(int AIndex1, int AIndex2);
  TFFmpeg* Get(int AIndex) const;  // throws std::out_of_range "List index out of bounds (%d)"
  int IndexOf(const TCustomFFmpeg* ATask) const;  // -1 when absent
  int Count() const;
  void PauseAll();
  void ResumeAll();
  void StopOrTerminateAll(bool AWaitFor);

private:
  std::vector<TFFmpeg*> Snapshot() const;
  void CheckIndex(int AIndex) const;  // caller holds mutex_

  mutable std::mutex mutex_;  // protects items_
  std::vector<std::unique_ptr<TFFmpeg>> items_;
};

class TCustomTaskManager {
public:
  TCustomTaskManager();
  // Stops a run and waits for it, waits for pending termination notifications, frees every
  // task.
  virtual ~TCustomTaskManager();
  TCustomTaskManager(const TCustomTaskManager&) = delete;
  TCustomTaskManager& operator=(const TCustomTaskManager&) = delete;

  // The media libraries of the engine (tasks need them loaded). LoadAVLib sets the loader's
  // library path and loads them; on failure LastErrMsg says why.
  bool AVLibLoaded() const;
  bool LoadAVLib(const std::string& APath);
  void UnloadAVLib();

  // Adding tasks, inputs and outputs. Refused while working (std::runtime_error "Cannot %s
  // while working."). Media problems never throw: -1 / false and LastErrMsg say why. A record
  // passed in has its empty FileName filled with AFileName; the task keeps a copy.
  int AddTask(const std::string& AFileName, TInputOptions* AOptions = nullptr);
  int AddTask(const std::string& AFileName, const std::string& AExtOptions);
  // The input is the stream object, named "stream:<address>:<APrivateData>".
  int AddTask(std::istream* AStream, const std::string& APrivateData, TInputOptions* AOptions);
  bool AddInputFile(int ATaskIndex, const std::string& AFileName,
                    TInputOptions* AOptions = nullptr);
  bool AddInputFile(int ATaskIndex, const std::string& AFileName, const std::string& AExtOptions);
  bool SetOutputFile(int ATaskIndex, const std::string& AFileName,
                     TOutputOptions* AOptions = nullptr);
  bool SetOutputFile(int ATaskIndex, const std::string& AFileName,
                     const std::string& AExtOptions);
  bool SetOutputStream(int ATaskIndex, std::ostream* AStream, const std::string& APrivateData,
                       TOutputOptions* AOptions);

  // Empties the list and resets the run state; refused while a run is going on
  // ("Cannot ClearTasks while working."). Waits for pending termination notifications.
  void ClearTasks();
  void Exchange(int ATaskIndex1, int ATaskIndex2);
  void RemoveTask(int ATaskIndex);

  // Runs all tasks. AThreadCount > 0: up to that many at once on worker threads, returning at
  // once; otherwise one after another in the caller, returning when all have terminated.
  void Start(int AThreadCount);
  void Pause();
  void Resume();
  // Ends the run: no further task starts, running tasks stop, tasks that never started
  // terminate without running. With AWaitFor, returns when every task has terminated (on the
  // main thread it keeps servicing main-thread calls while it waits). Nothing while idle.
  void Stop(bool AWaitFor);

  const std::string& About() const { return about_; }
  void SetAbout(const std::string& AAbout) { about_ = AAbout; }
  static std::string Version() { return "3.3"; }
  const std::string& LastErrMsg() const { return last_err_msg_; }
  // The free-standing probe for the application's own use.
  TMediaProbe& MediaProbe() { return *media_probe_; }
  // The probe of input AFileIndex of task ATaskIndex; nullptr when that input has none.
  // Throws std::out_of_range for a task index outside the list.
  TMediaProbe* MediaProbes(int ATaskIndex, int AFileIndex);
  void* UserData() const { return data_; }
  void SetUserData(void* AData) { data_ = AData; }
  int CustomMaxFiles() const { return custom_max_files_; }
  void SetCustomMaxFiles(int AValue) { custom_max_files_ = AValue; }
  bool Preview() const { return preview_; }
  void SetPreview(bool AValue);
  bool PreviewBitmap() const { return preview_bitmap_; }
  void SetPreviewBitmap(bool AValue);
  int ProgressInterval() const { return progress_interval_; }
  void SetProgressInterval(int AValue);  // milliseconds; 100 or less is stored as 100
  TThreadPriority ThreadPriority() const { return thread_priority_; }
  void SetThreadPriority(TThreadPriority AValue) { thread_priority_ = AValue; }
  bool TriggerEventInMainThread() const { return trigger_in_main_; }
  void SetTriggerEventInMainThread(bool AValue) { trigger_in_main_ = AValue; }
  int Verbose() const { return verbose_; }
  void SetVerbose(int AValue) { verbose_ = AValue; }
  int TasksCount() const { return list_.Count(); }
  bool Working() const { return working_; }
  bool Terminated() const { return terminated_; }

  // Handlers may be set or cleared at any time (also during a run) from any thread; a handler
  // is looked up when its event is delivered.
  void SetOnCustomHook(TCustomHookEvent AHandler);
  void SetOnPreviewBitmap(TPreviewBitmapEvent AHandler);
  void SetOnProgress(TProgressEvent AHandler);
  void SetOnTerminate(TTerminateEvent AHandler);
  TCustomHookEvent OnCustomHook() const;
  TPreviewBitmapEvent OnPreviewBitmap() const;
  TProgressEvent OnProgress() const;
  TTerminateEvent OnTerminate() const;

protected:
  // Connected to every task's engine events. Run on the thread that raises them.
  virtual void DoCustomHook(TCustomFFmpeg* ATask, TBitmap24* ABitmap, int AFrameNumber,
                            int64_t APTS, bool& AUpdate, bool& AStopHook);
  virtual void DoPreviewBitmap(TCustomFFmpeg* ATask, TBitmap24* ABitmap, int AFrameNumber,
                               int64_t APTS);
  virtual void DoProgress(TCustomFFmpeg* ATask, int AFileIndex, int AFrameNumber, int AFPS,
                          float AQuality, float ABitRate, int64_t ACurrentSize,
                          int64_t ACurrentDuration, int64_t ATotalDuration);
  // ATask null: the run is complete.
  virtual void DoTerminate(TCustomFFmpeg* ATask);

  // The task list, for subclasses.
  TFFmpegList& FFmpegList() { return list_; }

  // Stops, waits and frees everything; called by the destructors of this class and of
  // subclasses (first thing), so no worker calls into a half-destroyed object.
  void Shutdown();

private:
  class TDoTerminateThread;

  void CheckWorking(const char* AOperation) const;
  void ConnectTask(TFFmpeg& ATask);
  // Stores the record for the task's next input, opens the input and attaches its probe.
  bool OpenTaskInput(TFFmpeg& ATask, const std::string& AFileName, TInputOptions* AOptions);
  void StartNextTask();
  // Adds or removes AHook in the post hooks of every task, under the post-hook lock.
  void SetPostHookOfEveryTask(TPostHook AHook, bool AValue);
  int PendingTasks() const;
  void AllTasksDone();                                   // caller holds terminate_mutex_
  void RaiseTerminate(const TTerminateInfo& AInfo);      // caller holds terminate_mutex_
  void CallOnTerminate(const TTerminateInfo& AInfo);
  void RunNotification(TDoTerminateThread& ANote);
  void WaitForNotifications();
  // Runs AHandler in the main thread when TriggerEventInMainThread, else here; an exception
  // of the handler reaches the caller on this thread.
  void RunHandler(const std::function<void()>& AHandler);

  std::string about_;
  std::string last_err_msg_;  // main thread
  void* data_ = nullptr;
  int custom_max_files_ = 20;
  bool preview_ = false;
  bool preview_bitmap_ = false;
  std::atomic<int> progress_interval_{500};
  std::atomic<TThreadPriority> thread_priority_{tpNormal};
  std::atomic<bool> trigger_in_main_{true};
  int verbose_ = 1;

  THookInfo hook_info_;          // under hook_mutex_
  TProgressInfo progress_info_;  // under progress_mutex_
  TTerminateInfo terminate_info_;  // under terminate_mutex_
  TPreviewInfo preview_info_;    // under preview_mutex_

  mutable std::mutex handler_mutex_;  // protects the four handlers
  TCustomHookEvent on_custom_hook_;
  TPreviewBitmapEvent on_preview_bitmap_;
  TProgressEvent on_progress_;
  TTerminateEvent on_terminate_;

  std::mutex hook_mutex_;
  std::mutex preview_mutex_;
  std::mutex progress_mutex_;
  // Termination bookkeeping and the start of the next task; recursive because a task that
  // fails at start terminates inside StartNextTask, which DoTerminate itself calls.
  std::recursive_mutex terminate_mutex_;

  std::unique_ptr<TMediaProbe> media_probe_;  // MediaProbe()
  TFFmpegList list_;

  mutable std::mutex claim_mutex_;  // protects pending_tasks_ and current_task_
  int pending_tasks_ = 0;           // tasks not yet started in this run
  int current_task_ = -1;           // index of the next task to start
  int complete_tasks_ = 0;          // under terminate_mutex_
  std::atomic<bool> terminated_{false};
  std::atomic<bool> thread_mode_{false};
  std::atomic<bool> working_{false};

  std::mutex note_mutex_;  // protects notes_, the notes' done flags and task_notes_running_
  std::condition_variable note_cond_;  // signalled when a notification thread finishes
  std::list<std::unique_ptr<TDoTerminateThread>> notes_;
  int task_notes_running_ = 0;  // task notifications (not the final one) not yet handled
};

// The component the application places: all logic is in TCustomTaskManager.
class TTaskManager : public TCustomTaskManager {
public:
  TTaskManager() = default;
  ~TTaskManager() override;
};
