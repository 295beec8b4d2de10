// The main window: file list, output and preset panels, preview panel, menus, toolbar and the
// work state that decides which commands are enabled.
#pragma once

#include <QMainWindow>
#include <QHash>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/work_state.h"
#include "media/logger.h"
#include "media/option_records.h"
#include "media/task_manager.h"
#include "presets/catalogue.h"
#include "presets/output_name.h"
#include "presets/parameter_set.h"
#include "settings/settings_file.h"

class QAction;
class QComboBox;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QToolButton;
class QTreeView;
class QWidget;
class TFileListModel;
class TShellLauncher;
class TForm5;
class TScreenWidget;
class TPreviewPlayer;
class TQtDispatcher;

// What the window asks of the desktop; tests substitute fakes.
struct TMainWindowServices {
  TShellLauncher* shell = nullptr;  // nullptr: the desktop launcher
  // Shows a folder dialog; returns the chosen folder or an empty text when cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& start)> chooseFolder;
  // Shows the about box modally.
  std::function<void(QWidget* parent)> showAbout;
  // The open-file dialogs: the chosen file(s), empty when cancelled. The dialog is passed in
  // with its title and filters set.
  std::function<QString(QFileDialog* dialog)> chooseOpenFile;
  std::function<QStringList(QFileDialog* dialog)> chooseOpenFiles;
  // A warning message box with an OK button.
  std::function<void(QWidget* parent, const QString& caption, const QString& text)> showWarning;
  // Powers the computer off.
  std::function<void()> powerOff;
  // Plays a sound file without waiting for it.
  std::function<void(const QString& path)> playSound;
};

class TForm1 : public QMainWindow {
  Q_OBJECT

public:
  explicit TForm1(TMainWindowServices services = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // The diagnostic log: lines are only appended, never shown.
  const QStringList& mmoLog() const { return mmoLog_; }
  // Appends one line to the diagnostic log.
  void AppendLog(const QString& line);
  // Logger event handler: "#<thread>.<level ordinal>: <message>".
  void MediaLoggerLog(const void* Sender, uint32_t AThreadID, TLogLevel ALogLevel,
                      const QString& ALogMsg);
  TMediaLogger& MediaLogger() { return *mediaLogger_; }
  TTaskManager& TaskMgr() { return *taskMgr_; }

  QString FileOutPutPath() const { return fileOutPutPath_; }

  // The options dialog, created after the window; its controls are the live settings. Its
  // preview box drives the task manager's live preview.
  void SetOptionsDialog(TForm5* dialog);
  TForm5* OptionsDialog() const { return optionsDialog_; }

  // Work state.
  void ApplyWorkTransition(TWorkTransition transition);
  const TWorkState& WorkState() const { return workState_; }
  bool ShowsPause() const;  // toolbar shows "暂停" (true) or "继续" (false)

  // Window operations.
  void InitRowRecords();
  void LoadOutputFolder();
  void SaveOutputFolder();
  void SetOpenFilters();
  void LoadSkinSetting();
  void FillFormatList();
  void CategoryChange();
  void FormatChange();
  // Select a catalogue entry from code: the change handling runs even for the same index.
  void SelectCategory(int AIndex);
  void SelectFormat(int AIndex);
  int CategoryIndex() const;
  int FormatIndex() const;
  void FillOptionLists();
  // Selects an entry of an option list from code: the change handling runs only when the text
  // the list shows changes.
  void SetOptionIndex(TOptionList AList, int AIndex);
  QComboBox* OptionListControl(TOptionList AList) const;
  void OptionChange(TOptionList AList);
  void ResetParameterSet();
  void ApplyParameterSet();
  void ReadOptionChoices();
  const TParameterSet& Params() const { return params_; }
  // The row selected in the file list, or -1.
  int SelectedRow() const;
  void LockPresetControls();
  void UnlockPresetControls();
  void OpenOutputFolder();
  void ChooseOutputFolder();  // "浏览..."

  // File list (adding, selecting, moving, removing, renaming).
  // Result of adding one file: added, skipped (the command goes on) or failed (it stops).
  enum TAddResult { arSuccess, arSkipped, arFailed };
  bool PrepareAdd();  // false: the media libraries could not be loaded
  TAddResult AddFileRow(const QString& APath);
  // The walk of the multi-file and folder adds: from the last name to the first; a missing
  // file or a failed add ends it. Returns whether it passed the first name.
  bool AddFileList(const QStringList& APaths);
  // Adds the files directly inside a folder as "添加整个目录" does (no dialog).
  void AddFolderPath(const QString& AFolder);
  // Adds dropped files and folders as the add commands do.
  void AddDropped(const QStringList& APaths);
  static QStringList GetFilenames(const QString& FilePath, const QString& ExtMask);
  void lvFilesSelectItem();
  void lvFilesClick();
  void FinishRename();
  void SelectRow(int ARow);
  TInputOptions& IO1(int ARow);
  TOutputOptions& OO1(int ARow);

  // Preview panel and snapshots.
  TPreviewPlayer& PreviewPlayer() { return *previewPlayer_; }
  void OpenPreview();
  void StopPreview();
  void PreviewPlayerFileOpen(int64_t ADuration, int AFrameWidth, int AFrameHeight,
                             int& AScreenWidth, int& AScreenHeight);
  void PreviewPlayerPosition(int64_t APTS);
  void PreviewPlayerState(int AState);
  void PreviewPlayClick();
  void PreviewPauseClick();
  void PreviewStopClick();
  void SetPreviewMute(bool AMute);
  void SliderMouseDown();
  void SliderMouseUp();
  // The position the slider's value stands for: FDuration x value div maximum (microseconds).
  int64_t SliderTarget() const;
  // Writes the picture on display as a numbered file of the snapshot folder; returns its path
  // (empty when nothing was written).
  QString TakeSnapshot();
  QString ReadSnapshotFolder();
  TSnapshotType ReadSnapshotType();
  void OpenSnapshotFolder();
  void ChooseSnapshotFolder();
  void ChooseSnapshotType(TSnapshotType AType);
  QList<QAction*> SnapshotTypeActions() const { return snapshotTypeActions_; }

  // Conversion run.
  void BuildTasks();
  void TaskMgrProgress(const TProgressInfo& AProgressInfo);
  void TaskMgrTerminate(const TTerminateInfo& ATerminateInfo);
  void ShutDownComputer();
  void PlayDoneSound();
  // The list row a task of the current run converts, or -1.
  int RowOfTask(int ATaskIndex) const;
  // Overrides of the options dialog's live settings for the command-line run.
  void SetThreadCountOverride(int ACount) { threadCountOverride_ = ACount; }
  void SetOverwriteOverride(int AChoice) { overwriteOverride_ = AChoice; }
  void SetOutputFolderForRun(const QString& AFolder);
  bool RunEnded() const { return runEnded_; }
  // The error that ended the row's task in the last run, or empty.
  QString RowError(int ARow) const { return rowErrors_.value(ARow); }

  // Commands of the command table.
  void btnAddClick();
  void AddMultipleFiles();
  void AddFolder();
  void MoveRowUp();
  void MoveRowDown();
  void btnRemoveClick();
  void btnClearClick();
  // From a double click, no selection ends silently; from the commands it says so.
  void StartRename(bool AFromDoubleClick = false);
  void btnStartClick();
  void btnStopClick();
  void btnPauseClick();
  void btnResumeClick();
  void ShowOptions();
  void OpenHelp();
  void OpenWebsite();
  void OpenMail();
  void ShowAbout();

  // Controls, named as the window names them; public for tests and the screenshot tool.
  QTreeView* lvFiles = nullptr;
  TFileListModel* filesModel = nullptr;
  QFrame* pnlEmptyList = nullptr;  // picture panel over the empty list
  QToolButton* btnMoveUp = nullptr;
  QToolButton* btnMoveDown = nullptr;
  QToolButton* btnRename = nullptr;

  QToolButton* btnAdd = nullptr;
  QToolButton* btnRemove = nullptr;
  QToolButton* btnClear = nullptr;
  QToolButton* btnStart = nullptr;
  QToolButton* btnStop = nullptr;
  QToolButton* btnPause = nullptr;
  QToolButton* btnResume = nullptr;
  QToolButton* btnOptions = nullptr;
  QAction* tbPauseSlot = nullptr;   // toolbar places of "暂停" and "继续"
  QAction* tbResumeSlot = nullptr;

  QAction* actAddOne = nullptr;
  QAction* actAddMany = nullptr;
  QAction* actAddFolder = nullptr;
  QAction* actExit = nullptr;
  QAction* actMoveUp = nullptr;
  QAction* actMoveDown = nullptr;
  QAction* actRemove = nullptr;
  QAction* actClear = nullptr;
  QAction* actRename = nullptr;
  QAction* actStart = nullptr;
  QAction* actStop = nullptr;
  QAction* actPause = nullptr;
  QAction* actResume = nullptr;
  QAction* actOptions = nullptr;
  QAction* actHelp = nullptr;
  QAction* actWebsite = nullptr;
  QAction* actMail = nullptr;
  QAction* actAbout = nullptr;

  QComboBox* bsSkinOfficeComboBox2 = nullptr;  // category list
  QComboBox* bsSkinOfficeComboBox1 = nullptr;  // format list
  QLineEdit* Video_OutPut_Folder_Edit = nullptr;
  QToolButton* btnBrowse = nullptr;
  QToolButton* btnOpenFolder = nullptr;

  QComboBox* bsSkinComboBox1 = nullptr;   // resolution
  QComboBox* bsSkinComboBox2 = nullptr;   // video bitrate
  QComboBox* bsSkinComboBox9 = nullptr;   // frame rate
  QComboBox* bsSkinComboBox3 = nullptr;   // audio bitrate
  QComboBox* bsSkinComboBox10 = nullptr;  // sample rate
  QComboBox* bsSkinComboBox4 = nullptr;   // aspect mode

  TScreenWidget* pnlScreen = nullptr;  // preview surface
  QSlider* bsSkinSlider1 = nullptr;
  QToolButton* btnPlay = nullptr;
  QToolButton* btnPreviewPause = nullptr;
  QToolButton* btnPreviewStop = nullptr;
  QToolButton* btnMuteOn = nullptr;
  QToolButton* btnMuteOff = nullptr;
  QToolButton* btnSnapshot = nullptr;
  QToolButton* btnSnapshotSettings = nullptr;
  QMenu* mnuSnapshot = nullptr;

  QFileDialog* OpenDialog = nullptr;       // one file
  QFileDialog* OpenMultiDialog = nullptr;  // several files

  QLineEdit* edtRename = nullptr;  // inline editor over column 3

  QString T_Movie_PLayer_FileName;
  int64_t FDuration = 0;
  QWidget* FScreenControl = nullptr;
  QString bsSkinSlider1_down_UP;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void BuildMenus();
  void BuildCatalogueLists();
  int OverwriteChoice() const;
  TNameTaken OutputNameTaken() const;
  void BuildToolbar();
  QWidget* BuildListPanel();
  QWidget* BuildOutputPanel();
  QWidget* BuildPresetPanel();
  QWidget* BuildPreviewPanel();
  void FormCreate();
  void ApplyEnabledState();
  // The controls the output choices consist of (what a run locks).
  QList<QWidget*> PresetControls() const;
  void UpdateScreenPosition();
  void DetachPreviewHandlers();
  void ConnectPreviewPlayer();
  void ConnectTaskManager();
  int ThreadCountSetting() const;
  int AfterDoneSetting() const;
  void ShowWarning(const QString& text);

  TMainWindowServices services_;
  std::unique_ptr<TShellLauncher> ownShell_;
  std::unique_ptr<TMediaLogger> mediaLogger_;
  std::unique_ptr<TQtDispatcher> ownDispatcher_;  // when the application installed none
  std::unique_ptr<TTaskManager> taskMgr_;
  std::unique_ptr<TPreviewPlayer> previewPlayer_;
  QList<QAction*> snapshotTypeActions_;  // "BMP文件" ... "PNG文件"
  TWorkState workState_;
  QStringList mmoLog_;
  QString fileOutPutPath_;
  TForm5* optionsDialog_ = nullptr;
  TParameterSet params_;             // the Video_ fields: the parameter set applied last
  bool fillingOptionLists_ = false;
  bool outputUnlocked_ = false;      // the output choices were last unlocked
  std::vector<int> taskRows_;        // row of each task of the current run
  QHash<int, QString> rowErrors_;    // row -> error that ended its task in the current run
  bool runEnded_ = false;            // the last run's final termination was handled
  int threadCountOverride_ = 0;      // > 0: used instead of the options dialog's count
  int overwriteOverride_ = -1;       // >= 0: used instead of the options dialog's choice  // option lists are being changed from code
};
