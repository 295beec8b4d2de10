// The main window: file list, output and preset panels, preview panel, menus, toolbar and the
// work state that decides which commands are enabled.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/work_state.h"
#include "media/logger.h"
#include "presets/catalogue.h"
#include "presets/output_name.h"
#include "presets/parameter_set.h"
#include "media/logger.h"

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
class TTaskManager;

// What the window asks of the desktop; tests substitute fakes.
struct TMainWindowServices {
  TShellLauncher* shell = nullptr;  // nullptr: the desktop launcher
  // Shows a folder dialog; returns the chosen folder or an empty text when cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& start)> chooseFolder;
  // Shows the about box modally.
  std::function<void(QWidget* parent)> showAbout;
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

  // Commands of the command table.
  void btnAddClick();
  void AddMultipleFiles();
  void AddFolder();
  void MoveRowUp();
  void MoveRowDown();
  void btnRemoveClick();
  void btnClearClick();
  void StartRename();
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

  QFrame* pnlScreen = nullptr;  // preview surface
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
  void UpdateScreenPosition();
  void DetachPreviewHandlers();

  TMainWindowServices services_;
  std::unique_ptr<TShellLauncher> ownShell_;
  std::unique_ptr<TMediaLogger> mediaLogger_;
  std::unique_ptr<TTaskManager> taskMgr_;
  TWorkState workState_;
  QStringList mmoLog_;
  QString fileOutPutPath_;
  TForm5* optionsDialog_ = nullptr;
  TParameterSet params_;             // the Video_ fields: the parameter set applied last
  bool fillingOptionLists_ = false;
  bool outputUnlocked_ = false;      // the output choices were last unlocked  // option lists are being changed from code
};
