// The options dialog "选项": created once at start-up, shown modally by the main window.
#pragma once

#include <functional>

#include <QDialog>

#include "settings/settings_file.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QPushButton;

// The dialog's controls are the live settings: the main window reads them through the accessors
// whenever it needs them, so a change takes effect at once, whether the dialog is then closed
// with "确定" (which also writes the [Options] section) or with "取消" (which writes nothing
// and undoes nothing). The [Options] section is read once, by the constructor, writing back
// the default of every absent or invalid key. User-interface thread only.
class TForm5 : public QDialog {
  Q_OBJECT

 public:
  // The preview action runs with the preview box's state whenever the box is set: by the
  // loading in the constructor, by the user, or by code. A dialog created without one runs
  // nothing until SetPreviewAction provides it.
  using TPreviewAction = std::function<void(bool)>;

  explicit TForm5(QWidget* parent = nullptr, TPreviewAction APreviewAction = {});

  // Replaces the preview action and runs it once at once with the box's current state, so the
  // receiver starts from the loaded setting.
  void SetPreviewAction(TPreviewAction APreviewAction);

  int ThreadCount() const;     // 1..19, the text shown in the thread count list
  int AfterDone() const;       // 0 open the output folder, 1 shut down, 2 play the sound, 3 nothing
  int ThreadPriority() const;  // 0 idle, 1 lowest, 2 lower, 3 normal
  int OverwriteFile() const;   // 0 overwrite an existing output, 1 rename the new output
  bool ShowPreview() const;
  TOptionValues Values() const;

  QPushButton* OkButton() const { return FOkButton; }
  QPushButton* CancelButton() const { return FCancelButton; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowValues(const TOptionValues& AValues);
  void RunPreviewAction();
  void SaveAndClose();

  QButtonGroup* FAfterDone = nullptr;
  QButtonGroup* FOverwrite = nullptr;
  QButtonGroup* FPriority = nullptr;
  QComboBox* FThreadCount = nullptr;
  QCheckBox* FPreview = nullptr;
  QPushButton* FOkButton = nullptr;
  QPushButton* FCancelButton = nullptr;
  TPreviewAction FPreviewAction;
};
