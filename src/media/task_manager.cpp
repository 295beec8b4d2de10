#include "media/task_manager.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <thread>

#include "media/dispatcher.h"
#include "media/ffmpeg_loader.h"
#include "media/logger.h"

namespace {

std::string FormatText(const char* AFormat, const char* AValue) {
  char text[256];
  std::snprintf(text, sizeof text, AFormat, AValue);
  return text;
}

std::string FormatText(const char* AFormat, int AValue) {
  char text[256];
  std::snprintf(text, sizeof text, AFormat, AValue);
  return text;
}

// "stream:%d:%s" with the stream object's address in decimal.
std::string StreamName(const void* AStream, const std::string& APrivateData) {
  return "stream:" + std::to_string(reinterpret_cast<uintptr_t>(AStream)) + ":" + APrivateData;
}

}  // namespace

// ---- TFFmpegList -------------------------------------------------------------------------

void TFFmpegList::CheckIndex(int AIndex) const {
  if (AIndex < 0 || AIndex >= static_cast<int>(items_.size()))
    throw std::out_of_range(FormatText("List index out of bounds (%d)", AIndex));
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> ATask) {
  std::lock_guard lock(mutex_);
  items_.push_back(std::move(ATask));
  return static_cast<int>(items_.size()) - 1;
}

void TFFmpegList::Clear() {
  std::vector<std::unique_ptr<TFFmpeg>> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(items_);
  }
  old.clear();  // outside the lock: each engine waits for its threads
}

void TFFmpegList::Delete(int AIndex) {
  std::unique_ptr<TFFmpeg> old;
  {
    std::lock_guard lock(mutex_);
    CheckIndex(AIndex);
    old = std::move(items_[AIndex]);
    items_.erase(items_.begin() + AIndex);
  }
}

void TFFmpegList::Exchange(int AIndex1, int AIndex2) {
  std::lock_guard lock(mutex_);
  CheckIndex(AIndex1);
  CheckIndex(AIndex2);
  std::swap(items_[AIndex1], items_[AIndex2]);
}

TFFmpeg* TFFmpegList::Get(int AIndex) const {
  std::lock_guard lock(mutex_);
  CheckIndex(AIndex);
  return items_[AIndex].get();
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* ATask) const {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == ATask)
      return static_cast<int>(i);
  return -1;
}

int TFFmpegList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(items_.size());
}

std::vector<TFFmpeg*> TFFmpegList::Snapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<TFFmpeg*> tasks;
  for (const auto& item : items_)
    tasks.push_back(item.get());
  return tasks;
}

void TFFmpegList::PauseAll() {
  for (TFFmpeg* task : Snapshot())
    task->Pause();
}

void TFFmpegList::ResumeAll() {
  for (TFFmpeg* task : Snapshot())
    task->Resume();
}

// The list lock is not held while waiting: terminating tasks look themselves up.
void TFFmpegList::StopOrTerminateAll(bool AWaitFor) {
  for (TFFmpeg* task : Snapshot())
    task->StopOrTerminate(AWaitFor);
}

// ---- termination notifications ----------------------------------------------------------

// One termination notification on a short-lived thread with its own copy of the record.
class TCustomTaskManager::TDoTerminateThread {
public:
  TTerminateInfo Info;
  bool Done = false;  // under note_mutex_: the handler has returned
  std::thread Thread;
};

void TCustomTaskManager::RaiseTerminate(const TTerminateInfo& AInfo) {
  if (!thread_mode_) {
    CallOnTerminate(AInfo);
    return;
  }
  std::lock_guard lock(note_mutex_);
  for (auto it = notes_.begin(); it != notes_.end();) {
    if ((*it)->Done) {
      (*it)->Thread.join();
      it = notes_.erase(it);
    } else {
      ++it;
    }
  }
  auto note = std::make_unique<TDoTerminateThread>();
  note->Info = AInfo;
  if (AInfo.TaskIndex >= 0)
    ++task_notes_running_;
  TDoTerminateThread* raw = note.get();
  notes_.push_back(std::move(note));
  raw->Thread = std::thread([this, raw] { RunNotification(*raw); });
}

void TCustomTaskManager::RunNotification(TDoTerminateThread& ANote) {
  const bool final = ANote.Info.TaskIndex < 0;
  if (final) {
    // Every task notification of the run was raised before this one: let them finish first.
    std::unique_lock lock(note_mutex_);
    note_cond_.wait(lock, [this] { return task_notes_running_ == 0; });
  }
  CallOnTerminate(ANote.Info);
  {
    std::lock_guard lock(note_mutex_);
    ANote.Done = true;
    if (!final)
      --task_notes_running_;
  }
  note_cond_.notify_all();
}

void TCustomTaskManager::CallOnTerminate(const TTerminateInfo& AInfo) {
  TTerminateEvent handler = OnTerminate();
  if (!handler)
    return;
  try {
    handler(this, AInfo);
  } catch (const std::exception& e) {
    LoggerInstance().Log(this, llQuiet, e.what());
  } catch (...) {
    LoggerInstance().Log(this, llQuiet, "Unknown exception in OnTerminate");
  }
}

void TCustomTaskManager::WaitForNotifications() {
  const auto self = std::this_thread::get_id();
  const bool service = OnServicedMainThread();
  std::unique_lock lock(note_mutex_);
  bool on_note = false;
  for (const auto& note : notes_)
    on_note = on_note || note->Thread.get_id() == self;
  // Called from a notification handler: the final notification may be waiting for this very
  // handler, so only the finished ones are joined.
  while (!on_note) {
    bool busy = false;
    for (const auto& note : notes_)
      busy = busy || !note->Done;
    if (!busy)
      break;
    if (service) {
      lock.unlock();
      ProcessPendingMessages();
      lock.lock();
      note_cond_.wait_for(lock, std::chrono::milliseconds(20));
    } else {
      note_cond_.wait(lock);
    }
  }
  for (auto it = notes_.begin(); it != notes_.end();) {
    if ((*it)->Done) {
      (*it)->Thread.join();
      it = notes_.erase(it);
    } else {
      ++it;
    }
  }
}

// ---- TCustomTaskManager ------------------------------------------------------------------

TCustomTaskManager::TCustomTaskManager() : media_probe_(std::make_unique<TMediaProbe>()) {}

TMediaProbe* TCustomTaskManager::MediaProbes(int ATaskIndex, int AFileIndex) {
  return list_.Get(ATaskIndex)->MediaProbe(AFileIndex);
}

TCustomTaskManager::~TCustomTaskManager() { Shutdown(); }

TTaskManager::~TTaskManager() { Shutdown(); }

void TCustomTaskManager::Shutdown() {
  Stop(true);
  list_.Clear();
  WaitForNotifications();
}

bool TCustomTaskManager::AVLibLoaded() const { return AVLibSetLoaded(EngineLibraries); }

bool TCustomTaskManager::LoadAVLib(const std::string& APath) {
  return LoadAVLibSet(EngineLibraries, APath, last_err_msg_);
}

void TCustomTaskManager::UnloadAVLib() { UnloadAVLibSet(EngineLibraries); }

void TCustomTaskManager::CheckWorking(const char* AOperation) const {
  if (working_)
    throw std::runtime_error(FormatText("Cannot %s while working.", AOperation));
}

void TCustomTaskManager::ConnectTask(TFFmpeg& ATask) {
  ATask.OnProgress = [this](TCustomFFmpeg* ASender, int AFileIndex, int AFrameNumber, int AFPS,
                            float AQuality, float ABitRate, int64_t ACurrentSize,
                            int64_t ACurrentDuration, int64_t ATotalDuration) {
    DoProgress(ASender, AFileIndex, AFrameNumber, AFPS, AQuality, ABitRate, ACurrentSize,
               ACurrentDuration, ATotalDuration);
  };
  ATask.OnTerminate = [this](TCustomFFmpeg* ASender) { DoTerminate(ASender); };
}

bool TCustomTaskManager::OpenTaskInput(TFFmpeg& ATask, const std::string& AFileName,
                                       TInputOptions* AOptions) {
  TInputOptions& slot = ATask.InputOptions(ATask.InputCount());
  if (AOptions) {
    if (AOptions->FileName.empty())
      AOptions->FileName = AFileName;
    slot = *AOptions;
    try {
      ATask.ApplyInputRecord(*AOptions);  // a refusal leaves the options as they were
    } catch (...) {
      slot.Reset();
      throw;
    }
  } else {
    slot.Reset();
  }
  const bool opened = ATask.OpenInput(AFileName);
  // What applied to this input only (format request, forced decoders) does not reach the next.
  ATask.Options().ResetInputSettings();
  if (!opened) {
    slot.Reset();
    return false;
  }
  // The probe of the input just opened shares the engine's container; the engine takes it
  // back (InputsClosing) before closing it.
  const int index = ATask.InputCount() - 1;
  auto probe = std::make_unique<TMediaProbe>();
  probe->SetFileHandle(ATask.InputHandle(index));
  ATask.AttachMediaProbe(index, std::move(probe));
  return true;
}

int TCustomTaskManager::AddTask(const std::string& AFileName, TInputOptions* AOptions) {
  CheckWorking("AddTask");
  auto task = std::make_unique<TFFmpeg>(custom_max_files_);  // a bad capacity reaches the caller
  try {
    task->InitEngine();
    task->SetVerbose(verbose_);
    {
      auto lock = LockServicing(PostHookLock());
      TPostHooks hooks = task->PostHooksLocked();
      if (preview_)
        hooks.Include(phPreview);
      if (preview_bitmap_)
        hooks.Include(phBitmap);
      task->SetPostHooksLocked(hooks);
    }
    task->OnPreviewBitmap = [this](TCustomFFmpeg* ASender, TBitmap24* ABitmap, int AFrameNumber,
                                   int64_t APTS) {
      DoPreviewBitmap(ASender, ABitmap, AFrameNumber, APTS);
    };
    if (!OpenTaskInput(*task, AFileName, AOptions)) {
      last_err_msg_ = task->LastErrMsg();
      return -1;
    }
    ConnectTask(*task);
    return list_.Add(std::move(task));
  } catch (const std::exception& e) {
    last_err_msg_ = e.what();
    return -1;
  }
}

int TCustomTaskManager::AddTask(const std::string& AFileName, const std::string& AExtOptions) {
  TInputOptions options = InputOptionsFromText(AExtOptions);
  return AddTask(AFileName, &options);
}

int TCustomTaskManager::AddTask(std::istream* AStream, const std::string& APrivateData,
                                TInputOptions* AOptions) {
  return AddTask(StreamName(AStream, APrivateData), AOptions);
}

bool TCustomTaskManager::AddInputFile(int ATaskIndex, const std::string& AFileName,
                                      TInputOptions* AOptions) {
  CheckWorking("AddInputFile");
  TFFmpeg* task = list_.Get(ATaskIndex);
  if (task->InputCount() >= task->MaxFiles()) {
    last_err_msg_ = FormatText("max input files %d reached", task->MaxFiles());
    return false;
  }
  try {
    if (!OpenTaskInput(*task, AFileName, AOptions)) {
      last_err_msg_ = task->LastErrMsg();
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    last_err_msg_ = e.what();
    return false;
  }
}

bool TCustomTaskManager::AddInputFile(int ATaskIndex, const std::string& AFileName,
                                      const std::string& AExtOptions) {
  TInputOptions options = InputOptionsFromText(AExtOptions);
  return AddInputFile(ATaskIndex, AFileName, &options);
}

bool TCustomTaskManager::SetOutputFile(int ATaskIndex, const std::string& AFileName,
                                       TOutputOptions* AOptions) {
  CheckWorking("SetOutputFile");
  TFFmpeg* task = list_.Get(ATaskIndex);
  const int index = task->OutputCount();
  if (index >= task->MaxFiles()) {
    last_err_msg_ = FormatText("max output files %d reached", task->MaxFiles());
    return false;
  }
  try {
    TOutputOptions& slot = task->OutputOptions(index);
    bool join = false;
    if (AOptions) {
      if (AOptions->FileName.empty())
        AOptions->FileName = AFileName;
      slot = *AOptions;
      try {
        task->ApplyOutputRecord(*AOptions);  // a refusal leaves the options as they were
      } catch (...) {
        slot.Reset();
        throw;
      }
      if (AOptions->CustomHook)
        task->OnCustomHook = [this](TCustomFFmpeg* ASender, TBitmap24* ABitmap, int AFrameNumber,
                                    int64_t APTS, bool& AUpdate, bool& AStopHook) {
          DoCustomHook(ASender, ABitmap, AFrameNumber, APTS, AUpdate, AStopHook);
        };
      join = AOptions->Join;
    } else {
      slot.Reset();
    }
    const bool opened = task->OpenOutput(AFileName, join) >= 0;
    // What applied to this output only (format request, stream ids, metadata, per-stream
    // codecs) does not reach the next.
    task->Options().ResetOutputSettings();
    if (!opened) {
      last_err_msg_ = task->LastErrMsg();
      slot.Reset();
      return false;
    }
    if (AOptions)
      task->ApplyNewStreamLines(*AOptions);
    return true;
  } catch (const std::exception& e) {
    last_err_msg_ = e.what();
    return false;
  }
}

bool TCustomTaskManager::SetOutputFile(int ATaskIndex, const std::string& AFileName,
                                       const std::string& AExtOptions) {
  TOutputOptions options = OutputOptionsFromText(AExtOptions);
  return SetOutputFile(ATaskIndex, AFileName, &options);
}

bool TCustomTaskManager::SetOutputStream(int ATaskIndex, std::ostream* AStream,
                                         const std::string& APrivateData,
                                         TOutputOptions* AOptions) {
  return SetOutputFile(ATaskIndex, StreamName(AStream, APrivateData), AOptions);
}

void TCustomTaskManager::ClearTasks() {
  if (working_ && !terminated_)
    throw std::runtime_error("Cannot ClearTasks while working.");
  list_.Clear();
  WaitForNotifications();
  last_err_msg_.clear();
  {
    auto lock = LockServicing(terminate_mutex_);
    complete_tasks_ = 0;
  }
  {
    std::lock_guard lock(claim_mutex_);
    current_task_ = -1;
    pending_tasks_ = 0;
  }
  terminated_ = false;
  thread_mode_ = false;
  working_ = false;
}

void TCustomTaskManager::Exchange(int ATaskIndex1, int ATaskIndex2) {
  CheckWorking("Exchange");
  list_.Exchange(ATaskIndex1, ATaskIndex2);
}

void TCustomTaskManager::RemoveTask(int ATaskIndex) {
  CheckWorking("RemoveTask");
  list_.Delete(ATaskIndex);
}

// ---- running -----------------------------------------------------------------------------

int TCustomTaskManager::PendingTasks() const {
  std::lock_guard lock(claim_mutex_);
  return pending_tasks_;
}

void TCustomTaskManager::Start(int AThreadCount) {
  CheckWorking("StartTask");
  const int count = list_.Count();
  const bool thread_mode = AThreadCount > 0;
  {
    auto lock = LockServicing(terminate_mutex_);
    complete_tasks_ = 0;
  }
  {
    std::lock_guard lock(claim_mutex_);
    current_task_ = 0;
    pending_tasks_ = count;
  }
  terminated_ = false;
  thread_mode_ = thread_mode;
  working_ = true;
  if (count == 0) {
    // Nothing will terminate, so the run ends here.
    auto lock = LockServicing(terminate_mutex_);
    AllTasksDone();
    return;
  }
  while (PendingTasks() > 0) {
    StartNextTask();
    if (thread_mode && --AThreadCount == 0)
      break;
  }
}

// Called by Start (caller's thread, no lock held) and by DoTerminate (a terminating worker,
// inside terminate_mutex_) at the same time. The claim is one step under claim_mutex_, so each
// task starts exactly once and current_task_ moves on before the started task can terminate.
void TCustomTaskManager::StartNextTask() {
  int index;
  {
    std::lock_guard lock(claim_mutex_);
    if (pending_tasks_ <= 0)
      return;
    --pending_tasks_;
    index = current_task_++;
  }
  TFFmpeg* task = list_.Get(index);
  task->ReportInterval = static_cast<int64_t>(progress_interval_) * 1000;
  if (thread_mode_) {
    if (TConvertThread* thread = task->StartConvert(true, thread_priority_))
      thread->Resume();
  } else {
    task->StartConvert(false, thread_priority_);
  }
}

void TCustomTaskManager::Pause() { list_.PauseAll(); }

void TCustomTaskManager::Resume() { list_.ResumeAll(); }

void TCustomTaskManager::Stop(bool AWaitFor) {
  if (!working_ || terminated_)
    return;
  {
    std::lock_guard lock(claim_mutex_);
    pending_tasks_ = 0;
  }
  list_.StopOrTerminateAll(AWaitFor);
}

void TCustomTaskManager::DoTerminate(TCustomFFmpeg* ATask) {
  auto lock = LockServicing(terminate_mutex_);
  if (!ATask) {
    AllTasksDone();
    return;
  }
  if (OnTerminate()) {
    terminate_info_.TaskIndex = list_.IndexOf(ATask);
    terminate_info_.Finished = ATask->Finished();
    terminate_info_.Exception = ATask->FatalException();
    terminate_info_.ExceptionMsg = ATask->FatalMessage();
    RaiseTerminate(terminate_info_);
  }
  ++complete_tasks_;
  if (PendingTasks() < 1) {
    if (complete_tasks_ >= list_.Count())
      AllTasksDone();
  } else if (thread_mode_) {
    StartNextTask();
  }
}

void TCustomTaskManager::AllTasksDone() {
  if (terminated_)
    return;
  // Set before the notification, so its handler already sees the run as ended (and may clear).
  terminated_ = true;
  if (OnTerminate()) {
    terminate_info_.TaskIndex = -1;
    terminate_info_.Finished = true;
    terminate_info_.Exception = false;
    terminate_info_.ExceptionMsg.clear();
    RaiseTerminate(terminate_info_);
  }
}

// ---- events ------------------------------------------------------------------------------

void TCustomTaskManager::RunHandler(const std::function<void()>& AHandler) {
  if (!trigger_in_main_) {
    AHandler();
    return;
  }
  std::exception_ptr error;
  RunInMainThread([&] {
    try {
      AHandler();
    } catch (...) {
      error = std::current_exception();
    }
  });
  if (error)
    std::rethrow_exception(error);
}

void TCustomTaskManager::DoProgress(TCustomFFmpeg* ATask, int AFileIndex, int AFrameNumber,
                                    int AFPS, float AQuality, float ABitRate,
                                    int64_t ACurrentSize, int64_t ACurrentDuration,
                                    int64_t ATotalDuration) {
  if (!OnProgress())
    return;
  std::lock_guard lock(progress_mutex_);
  if (ATask->Paused())
    return;  // paused while this event waited for its turn
  progress_info_ = TProgressInfo{list_.IndexOf(ATask), AFileIndex,  AFrameNumber,
                                 AFPS,                 AQuality,    ABitRate,
                                 ACurrentSize,         ACurrentDuration, ATotalDuration};
  RunHandler([this] {
    if (TProgressEvent handler = OnProgress())
      handler(this, &progress_info_);
  });
}

void TCustomTaskManager::DoPreviewBitmap(TCustomFFmpeg* ATask, TBitmap24* ABitmap,
                                         int AFrameNumber, int64_t APTS) {
  if (!OnPreviewBitmap())
    return;
  std::lock_guard lock(preview_mutex_);
  if (ATask->Paused())
    return;
  preview_info_ = TPreviewInfo{list_.IndexOf(ATask), ABitmap, AFrameNumber, APTS};
  RunHandler([this] {
    if (TPreviewBitmapEvent handler = OnPreviewBitmap())
      handler(this, preview_info_);
  });
}

void TCustomTaskManager::DoCustomHook(TCustomFFmpeg* ATask, TBitmap24* ABitmap, int AFrameNumber,
                                      int64_t APTS, bool& AUpdate, bool& AStopHook) {
  TCustomHookEvent handler = OnCustomHook();
  if (!handler)
    return;
  std::lock_guard lock(hook_mutex_);
  hook_info_ = THookInfo{list_.IndexOf(ATask), ABitmap, AFrameNumber, APTS, AUpdate, AStopHook};
  {
    std::unique_lock<std::mutex> canvas;
    if (ABitmap)
      canvas = std::unique_lock(ABitmap->Canvas());
    handler(this, &hook_info_);
  }
  AUpdate = hook_info_.Update;
  AStopHook = hook_info_.StopHook;
}

// ---- properties --------------------------------------------------------------------------

void TCustomTaskManager::SetProgressInterval(int AValue) {
  progress_interval_ = AValue <= 100 ? 100 : AValue;
}

void TCustomTaskManager::SetPostHookOfEveryTask(TPostHook AHook, bool AValue) {
  auto lock = LockServicing(PostHookLock());
  for (int i = 0; i < list_.Count(); ++i) {
    TFFmpeg* task = list_.Get(i);
    TPostHooks hooks = task->PostHooksLocked();
    task->SetPostHooksLocked(AValue ? hooks.Include(AHook) : hooks.Exclude(AHook));
  }
}

void TCustomTaskManager::SetPreview(bool AValue) {
  SetPostHookOfEveryTask(phPreview, AValue);
  preview_ = AValue;
}

void TCustomTaskManager::SetPreviewBitmap(bool AValue) {
  SetPostHookOfEveryTask(phBitmap, AValue);
  preview_bitmap_ = AValue;
}

void TCustomTaskManager::SetOnCustomHook(TCustomHookEvent AHandler) {
  std::lock_guard lock(handler_mutex_);
  on_custom_hook_ = std::move(AHandler);
}

void TCustomTaskManager::SetOnPreviewBitmap(TPreviewBitmapEvent AHandler) {
  std::lock_guard lock(handler_mutex_);
  on_preview_bitmap_ = std::move(AHandler);
}

void TCustomTaskManager::SetOnProgress(TProgressEvent AHandler) {
  std::lock_guard lock(handler_mutex_);
  on_progress_ = std::move(AHandler);
}

void TCustomTaskManager::SetOnTerminate(TTerminateEvent AHandler) {
  std::lock_guard lock(handler_mutex_);
  on_terminate_ = std::move(AHandler);
}

TCustomHookEvent TCustomTaskManager::OnCustomHook() const {
  std::lock_guard lock(handler_mutex_);
  return on_custom_hook_;
}

TPreviewBitmapEvent TCustomTaskManager::OnPreviewBitmap() const {
  std::lock_guard lock(handler_mutex_);
  return on_preview_bitmap_;
}

TProgressEvent TCustomTaskManager::OnProgress() const {
  std::lock_guard lock(handler_mutex_);
  return on_progress_;
}

TTerminateEvent TCustomTaskManager::OnTerminate() const {
  std::lock_guard lock(handler_mutex_);
  return on_terminate_;
}
