// The conversion run: building the tasks from the rows, progress and termination, stop, pause,
// resume and the completion action.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>

#include "app/file_list_model.h"
#include "app/list_texts.h"
#include "app/main_window.h"
#include "media/ffutils.h"
#include "presets/output_name.h"
#include "presets/output_record.h"
#include "settings/options_dialog.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The options dialog's priority codes (0 idle, 1 lowest, 2 lower, 3 normal).
constexpr TThreadPriority kPriorities[] = {tpIdle, tpLowest, tpLower, tpNormal};

bool SameFile(const QString& a, const QString& b) {
  const QFileInfo fa(a), fb(b);
  if (fa.exists() && fb.exists())
    return fa.canonicalFilePath() == fb.canonicalFilePath();
  return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

}  // namespace

int TForm1::ThreadCountSetting() const {
  if (threadCountOverride_ > 0)
    return threadCountOverride_;
  return optionsDialog_ ? optionsDialog_->ThreadCount() : 1;
}

int TForm1::AfterDoneSetting() const { return optionsDialog_ ? optionsDialog_->AfterDone() : 3; }

void TForm1::SetOutputFolderForRun(const QString& AFolder) {
  fileOutPutPath_ = AFolder;
  Video_OutPut_Folder_Edit->setText(AFolder);
}

void TForm1::ShowWarning(const QString& text) { services_.showWarning(this, "Varnosk", text); }

int TForm1::RowOfTask(int ATaskIndex) const {
  return ATaskIndex >= 0 && ATaskIndex < static_cast<int>(taskRows_.size()) ? taskRows_[ATaskIndex]
                                                                            : -1;
}

void TForm1::ConnectTaskManager() {
  taskMgr_->SetOnProgress([this](TCustomTaskManager*, TProgressInfo* info) {
    TaskMgrProgress(*info);  // delivered on this thread
  });
  taskMgr_->SetOnTerminate([this](TCustomTaskManager*, const TTerminateInfo& info) {
    // Arrives on a thread of its own; the work is done on this window's thread, in the order
    // in which the notifications arrived.
    TTerminateInfo copy = info;
    if (IsMainThread())
      TaskMgrTerminate(copy);
    else
      QMetaObject::invokeMethod(this, [this, copy] { TaskMgrTerminate(copy); }, Qt::QueuedConnection);
  });
}

void TForm1::btnStartClick() {
  const int priority = optionsDialog_ ? optionsDialog_->ThreadPriority() : 3;
  TaskMgr().SetThreadPriority(kPriorities[priority >= 0 && priority <= 3 ? priority : 3]);
  BuildTasks();
  runEnded_ = false;
  ApplyWorkTransition(wtRunStarted);
  TaskMgr().Start(ThreadCountSetting());
}

void TForm1::BuildTasks() {
  TTaskManager& mgr = TaskMgr();
  mgr.ClearTasks();
  taskRows_.clear();
  rowErrors_.clear();
  const QString folder = fileOutPutPath_;
  for (int row = 0; row < filesModel->rowCount(); ++row) {
    TInputOptions& io = IO1(row);
    TOutputOptions& oo = OO1(row);
    io.FileName = S(filesModel->Text(row, fcInputFile));
    TRowTexts columns;
    for (int c = 0; c < fcColumnCount; ++c)
      columns[c] = S(filesModel->Text(row, c));
    UpdateOutputRecordFromColumns(columns, oo);
    QString output = folder + "/" + filesModel->Text(row, fcOutputFile);
    // The folder may have changed since the row was added, or the name been typed: an output
    // must never be the row's own input. Such a row takes the next free numbered name.
    if (SameFile(output, Q(io.FileName))) {
      const std::string ext = S("." + QFileInfo(output).suffix());
      output = Q(OutputFileName(S(folder), S(output), ext, ocRename, OutputNameTaken()));
      filesModel->SetText(row, fcOutputFile, QFileInfo(output).fileName());
      AppendLog("***Output renamed, it was the input file itself: " + output);
    }
    oo.FileName = S(output);
    const int t = mgr.AddTask(io.FileName, &io);
    if (t < 0) {
      AppendLog("");
      AppendLog("***File open error: " + Q(mgr.LastErrMsg()));
      AppendLog("");
      filesModel->SetText(row, fcProgress, "N/A");
      rowErrors_[row] = Q(mgr.LastErrMsg());
      continue;
    }
    taskRows_.push_back(row);
    if (!mgr.SetOutputFile(t, oo.FileName, &oo)) {
      // The task stays, so tasks and rows keep their order; started without an output it ends
      // at once with its error.
      AppendLog("");
      AppendLog("***Cannot do convert, error: " + Q(mgr.LastErrMsg()));
      AppendLog("");
    }
  }
}

void TForm1::TaskMgrProgress(const TProgressInfo& AProgressInfo) {
  const int row = RowOfTask(AProgressInfo.TaskIndex);
  if (row < 0)
    return;
  filesModel->SetText(row, fcProgress,
                      AProgressInfo.TotalDuration > 0
                          ? QString::number(AProgressInfo.CurrentDuration * 100 /
                                            AProgressInfo.TotalDuration) + "%"
                          : QString("N/A"));
  if (AProgressInfo.FPS > 0)
    filesModel->SetText(row, fcFPS, QString::number(AProgressInfo.FPS));
  filesModel->SetText(row, fcCurrentTime, SecToDate(AProgressInfo.CurrentDuration / 1000000));
  filesModel->SetText(row, fcCurrentSize, SizeToMBText(AProgressInfo.CurrentSize));
}

void TForm1::TaskMgrTerminate(const TTerminateInfo& ATerminateInfo) {
  if (ATerminateInfo.TaskIndex >= 0) {
    if (ATerminateInfo.Finished)
      filesModel->SetText(RowOfTask(ATerminateInfo.TaskIndex), fcProgress, "100%");
  } else {
    runEnded_ = true;
    ApplyWorkTransition(wtRunEnded);
    switch (AfterDoneSetting()) {
      case 0: OpenOutputFolder(); break;
      case 1: ShutDownComputer(); break;
      case 2: PlayDoneSound(); break;
      default: break;
    }
  }
  if (ATerminateInfo.Exception) {
    if (const int row = RowOfTask(ATerminateInfo.TaskIndex); row >= 0)
      rowErrors_[row] = Q(ATerminateInfo.ExceptionMsg);
    ShowWarning(Q(ATerminateInfo.ExceptionMsg));
  }
}

void TForm1::btnStopClick() {
  ApplyWorkTransition(wtStopped);
  TaskMgr().Stop(true);
  // The notifications of the stopped tasks and of the run's end come on threads of their own
  // and queue their work here; handle them before returning, so the stop ends in the run-ended
  // state (and its completion action) as a run that ended by itself does.
  QDeadlineTimer deadline(30000);
  while (!runEnded_ && TaskMgr().Working() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void TForm1::btnPauseClick() {
  ApplyWorkTransition(wtPaused);
  TaskMgr().Pause();
}

void TForm1::btnResumeClick() {
  ApplyWorkTransition(wtResumed);
  TaskMgr().Resume();
}

void TForm1::ShutDownComputer() {
  if (services_.powerOff)
    services_.powerOff();
}

void TForm1::PlayDoneSound() {
  const QString path = Q(ExeFolder()) + "sounds/ring001.wav";
  if (QFileInfo::exists(path) && services_.playSound)
    services_.playSound(path);
}
