// The file list: adding files, selecting, moving, removing, clearing and renaming rows.
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSlider>
#include <QTreeView>

#include "app/file_list_model.h"
#include "app/list_texts.h"
#include "app/main_window.h"
#include "media/ffutils.h"
#include "media/media_probe.h"
#include "presets/option_code.h"
#include "presets/output_record.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

TInputOptions& TForm1::IO1(int ARow) { return filesModel->InputRecord(ARow); }
TOutputOptions& TForm1::OO1(int ARow) { return filesModel->OutputRecord(ARow); }

void TForm1::InitRowRecords() {
  // The records live with the rows; clearing the list empties them.
}

bool TForm1::PrepareAdd() {
  ResetParameterSet();
  TTaskManager& mgr = TaskMgr();
  if (!mgr.AVLibLoaded() && !mgr.LoadAVLib(ExeFolder() + "LibAV")) {
    AppendLog(Q(mgr.LastErrMsg()));
    return false;
  }
  return true;
}

TForm1::TAddResult TForm1::AddFileRow(const QString& APath) {
  TTaskManager& mgr = TaskMgr();
  TMediaProbe& probe = mgr.MediaProbe();
  // 1. Probe.
  if (!probe.LoadFile(S(APath), "")) {
    AppendLog("");
    AppendLog("***File load error: " + Q(probe.LastErrMsg()));
    AppendLog("");
    return arSkipped;
  }
  // 2.-3. The file's task.
  params_.Video_AddFileName = S(APath);
  TInputOptions io;
  io.Reset();
  const int t = mgr.AddTask(S(APath), &io);
  if (t < 0) {
    AppendLog("");
    AppendLog("***File open error: " + Q(mgr.LastErrMsg()));
    AppendLog("");
    return arFailed;
  }
  // 4. What the file holds.
  AppendLog("");
  if (TMediaProbe* input = mgr.MediaProbes(t, 0))
    AppendLog(Q(input->FileInfoText()));
  T_Movie_PLayer_FileName = APath;
  // 5.-6. Its output record.
  TOutputOptions oo;
  oo.Reset();
  ApplyParameterSet();
  ReadOptionChoices();
  FillOutputRecord(params_, oo);
  // 7. The output must open.
  if (params_.Video_OutPutFileName.empty() ||
      !mgr.SetOutputFile(t, params_.Video_OutPutFileName, &oo)) {
    mgr.RemoveTask(t);
    AppendLog("");
    AppendLog("***Cannot do convert, error: " +
              (params_.Video_OutPutFileName.empty() ? QString("no free output file name")
                                                    : Q(mgr.LastErrMsg())));
    AppendLog("");
    return arFailed;
  }
  // 8.-9. The row with its records.
  const int64_t duration = probe.FileStreamInfo().Duration;
  QStringList texts;
  for (int c = 0; c < fcColumnCount; ++c)
    texts << QString();
  texts[fcInputFile] = Q(io.FileName);
  texts[fcDuration] = duration > 0 ? SecToDate(duration / 1000000) : QString("N/A");
  texts[fcSize] = SizeToMBText(probe.FileSize());
  texts[fcOutputFile] = Q(FileNamePart(oo.FileName));
  texts[fcTaskNumber] = QString::number(t + 1);
  texts[fcFormatCode] = QString::number(FormatCode(CategoryIndex(), FormatIndex()));
  TOptionIndexes indexes;
  for (int l = 0; l < kOptionListCount; ++l)
    indexes[l] = OptionListControl(static_cast<TOptionList>(l))->currentIndex();
  texts[fcOptionCode] = Q(EncodeOptionCode(indexes));
  TRowTexts columns;
  WriteAddedRowColumns(oo, columns);
  for (int c = fcVideoCodec; c <= fcNormType; ++c)
    texts[c] = Q(columns[c]);
  // "No video", target and norm as the parameter set has them: left empty, a run would hand
  // DisableVideo False on, and a sound format made from a video would carry a picture stream.
  for (const TColumnText& cell : ParameterColumnTexts(params_))
    if (cell.Column >= fcNoVideo)
      texts[cell.Column] = Q(cell.Text);
  filesModel->AppendRow(texts, io, oo);
  // 10.
  ApplyWorkTransition(wtFileAdded);
  AppendLog("");
  AppendLog("***Can do convert.");
  AppendLog("");
  return arSuccess;
}

void TForm1::SelectRow(int ARow) {
  if (ARow < 0 || ARow >= filesModel->rowCount())
    return;
  lvFiles->selectionModel()->select(filesModel->index(ARow, 0),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  lvFiles->setCurrentIndex(filesModel->index(ARow, 0));
}

void TForm1::btnAddClick() {
  if (!PrepareAdd())
    return;
  const QString file = services_.chooseOpenFile(OpenDialog);
  if (file.isEmpty() || !QFileInfo(file).isFile())
    return;
  if (AddFileRow(file) == arSuccess) {
    SelectRow(filesModel->rowCount() - 1);
    lvFiles->setFocus();
  }
}

bool TForm1::AddFileList(const QStringList& APaths) {
  for (qsizetype i = APaths.size() - 1; i >= 0; --i) {
    if (!QFileInfo::exists(APaths[i]))
      return false;
    if (AddFileRow(APaths[i]) == arFailed)
      return false;
  }
  return true;
}

void TForm1::AddMultipleFiles() {
  if (!PrepareAdd())
    return;
  const QStringList files = services_.chooseOpenFiles(OpenMultiDialog);
  if (files.isEmpty() || !QFileInfo::exists(files.first()))
    return;
  if (AddFileList(files) && filesModel->rowCount() > 0) {
    SelectRow(filesModel->rowCount() - 1);
    lvFiles->setFocus();
  }
}

QStringList TForm1::GetFilenames(const QString& FilePath, const QString& ExtMask) {
  QDir folder(FilePath);
  if (FilePath.isEmpty() || !folder.exists())
    return {};
  QStringList paths;
  QDirIterator it(folder.path(), QStringList{ExtMask},
                  QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  while (it.hasNext())
    paths << it.next();
  paths.sort();  // a stable order, as a directory listing shows it
  return paths;
}

void TForm1::AddFolderPath(const QString& AFolder) {
  const int before = filesModel->rowCount();
  if (AFolder.isEmpty() || !QDir(AFolder).exists())
    return;
  if (!AddFileList(GetFilenames(AFolder, "*")))
    return;
  if (filesModel->rowCount() > 0) {
    SelectRow(filesModel->rowCount() - 1);
    lvFiles->setFocus();
  }
  if (filesModel->rowCount() <= before)
    services_.showWarning(this, "提示", "在该目录没有发现可以用的视频或音频文件！");
}

void TForm1::AddFolder() {
  if (!PrepareAdd())
    return;
  AddFolderPath(services_.chooseFolder(this, "选择目录", fileOutPutPath_));
}

void TForm1::AddDropped(const QStringList& APaths) {
  if (!workState_.Enabled(wgAdd) || !PrepareAdd())
    return;
  for (const QString& path : APaths) {
    if (QFileInfo(path).isDir()) {
      AddFolderPath(path);
      continue;
    }
    if (AddFileRow(path) == arFailed)
      break;
  }
  if (filesModel->rowCount() > 0) {
    SelectRow(filesModel->rowCount() - 1);
    lvFiles->setFocus();
  }
}

void TForm1::lvFilesSelectItem() {
  const int row = SelectedRow();
  if (row < 0)
    return;
  const std::optional<TFormatRef> format = DecodeFormatCode(S(filesModel->Text(row, fcFormatCode)));
  const std::optional<TOptionIndexes> options = DecodeOptionCode(S(filesModel->Text(row, fcOptionCode)));
  if (!format || !options)
    return;
  SelectCategory(format->Category);
  SelectFormat(format->Format);
  for (TOptionList l : kOptionCodeOrder)
    SetOptionIndex(l, (*options)[l]);
  bsSkinSlider1->setValue(0);
  T_Movie_PLayer_FileName = filesModel->Text(row, fcInputFile);
  OpenPreview();
}

void TForm1::lvFilesClick() {
  if (SelectedRow() < 0)
    StopPreview();
}

void TForm1::MoveRowUp() {
  const int row = SelectedRow();
  if (row <= 0)
    return;
  filesModel->MoveRow(row, row - 1);
  SelectRow(row - 1);
  lvFiles->setFocus();
}

void TForm1::MoveRowDown() {
  const int row = SelectedRow();
  if (row < 0 || row >= filesModel->rowCount() - 1)
    return;
  filesModel->MoveRow(row, row + 1);
  SelectRow(row + 1);
  lvFiles->setFocus();
}

void TForm1::btnRemoveClick() {
  const int row = SelectedRow();
  if (row < 0) {
    services_.showWarning(this, "提示", "请先选择您需要删除的项目！");
    return;
  }
  const int n = filesModel->Text(row, fcTaskNumber).toInt();
  if (n >= 1 && n <= TaskMgr().TasksCount())
    TaskMgr().RemoveTask(n - 1);
  filesModel->RemoveRow(row);
  for (int r = 0; r < filesModel->rowCount(); ++r) {
    const int number = filesModel->Text(r, fcTaskNumber).toInt();
    if (number > n)
      filesModel->SetText(r, fcTaskNumber, QString::number(number - 1));
  }
  ApplyWorkTransition(wtRowRemoved);
  if (filesModel->rowCount() > 0) {
    SelectRow(0);
    lvFiles->setFocus();
  } else {
    StopPreview();
    bsSkinSlider1->setValue(0);
  }
}

void TForm1::btnClearClick() {
  TaskMgr().ClearTasks();
  filesModel->Clear();
  ApplyWorkTransition(wtListCleared);
  InitRowRecords();
  taskRows_.clear();
  StopPreview();
  bsSkinSlider1->setValue(0);
}

void TForm1::StartRename(bool AFromDoubleClick) {
  const int row = SelectedRow();
  if (row < 0) {
    if (!AFromDoubleClick)
      services_.showWarning(this, "提示", "请先选中您需要重命名的项目！");
    return;
  }
  const QRect cell = lvFiles->visualRect(filesModel->index(row, fcOutputFile));
  edtRename->setGeometry(cell.x(), cell.y(), lvFiles->header()->sectionSize(fcOutputFile),
                         cell.height());
  edtRename->setText(QFileInfo(filesModel->Text(row, fcOutputFile)).completeBaseName());
  edtRename->show();
  edtRename->setFocus();
}

void TForm1::FinishRename() {
  if (edtRename->isHidden())
    return;
  const QString ext = Q(FormatExtension(CategoryIndex(), FormatIndex()));
  edtRename->hide();
  const QString name = edtRename->text();
  const int row = SelectedRow();
  if (name.isEmpty() || row < 0)
    return;
  // A name is a file name in the output folder, nothing else: no folders, no "." or "..".
  if (name.contains('/') || name == "." || name == "..") {
    AppendLog("***Rename refused, not a file name: " + name);
    return;
  }
  filesModel->SetText(row, fcOutputFile, name + ext);
}
