// The main window's catalogue lists, option lists and parameter fields.
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTreeView>

#include "app/file_list_model.h"
#include "app/icons.h"
#include "app/main_window.h"
#include "presets/catalogue.h"
#include "presets/parameter_set.h"
#include "settings/options_dialog.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void TForm1::BuildCatalogueLists() {
  for (const TCategory& c : Categories())
    bsSkinOfficeComboBox2->addItem(CategoryImage(c.ImageIndex), QString::fromUtf8(c.DisplayText));
  bsSkinOfficeComboBox2->setCurrentIndex(0);
  connect(bsSkinOfficeComboBox2, &QComboBox::activated, this, [this] { CategoryChange(); });
  connect(bsSkinOfficeComboBox1, &QComboBox::activated, this, [this] { FormatChange(); });
  for (int l = 0; l < kOptionListCount; ++l) {
    auto list = static_cast<TOptionList>(l);
    connect(OptionListControl(list), &QComboBox::currentTextChanged, this, [this, list] {
      if (!fillingOptionLists_)
        OptionChange(list);
    });
  }
}

QComboBox* TForm1::OptionListControl(TOptionList AList) const {
  switch (AList) {
    case olResolution: return bsSkinComboBox1;
    case olVideoBitrate: return bsSkinComboBox2;
    case olFrameRate: return bsSkinComboBox9;
    case olAudioBitrate: return bsSkinComboBox3;
    case olSampleRate: return bsSkinComboBox10;
    case olAspect: return bsSkinComboBox4;
  }
  return nullptr;
}

int TForm1::CategoryIndex() const { return bsSkinOfficeComboBox2->currentIndex(); }
int TForm1::FormatIndex() const { return bsSkinOfficeComboBox1->currentIndex(); }

int TForm1::SelectedRow() const {
  const QModelIndexList rows = lvFiles->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void TForm1::SelectCategory(int AIndex) {
  bsSkinOfficeComboBox2->setCurrentIndex(AIndex);
  CategoryChange();  // raised even when the index stays the same
}

void TForm1::SelectFormat(int AIndex) {
  bsSkinOfficeComboBox1->setCurrentIndex(AIndex);
  FormatChange();  // raised even when the index stays the same
}

void TForm1::CategoryChange() { FillFormatList(); }

void TForm1::FillFormatList() {
  bsSkinOfficeComboBox1->clear();
  bsSkinOfficeComboBox1->update();
  int position = 0;
  for (const TFormat& f : FormatsOf(CategoryIndex()))
    bsSkinOfficeComboBox1->addItem(FormatImage(FormatImageIndex(position++)),
                                   QString::fromUtf8(f.DisplayText));
  SelectFormat(0);
}

void TForm1::FormatChange() {
  FillOptionLists();
  const int row = SelectedRow();
  if (row < 0)
    return;
  ApplyParameterSet();
  ReadOptionChoices();
  const std::string outputName = filesModel->Text(row, fcOutputFile).toStdString();
  for (const TColumnText& cell :
       FormatChangeColumnTexts(params_, CategoryIndex(), FormatIndex(), outputName))
    filesModel->SetText(row, cell.Column, Q(cell.Text));  // 3 takes the new extension
  lvFiles->setFocus();
}

void TForm1::FillOptionLists() {
  // A list raises its change handling when the text it shows differs from the one it showed
  // before the refill; clearing and appending raise nothing.
  std::array<QString, kOptionListCount> before;
  for (int l = 0; l < kOptionListCount; ++l)
    before[l] = OptionListControl(static_cast<TOptionList>(l))->currentText();

  fillingOptionLists_ = true;
  for (TOptionList l : kOptionClearOrder)
    OptionListControl(l)->clear();
  for (int l = 0; l < kOptionListCount; ++l)
    OptionListControl(static_cast<TOptionList>(l))->setEnabled(true);
  fillingOptionLists_ = false;

  const TFormat* format = FindFormat(CategoryIndex(), FormatIndex());
  if (!format)
    return;
  for (TOptionList l : kOptionFillOrder) {
    QComboBox* list = OptionListControl(l);
    const TListChoice& choice = format->Options[l];
    fillingOptionLists_ = true;
    for (const char* item : ItemListItems(choice.List))
      list->addItem(QString::fromUtf8(item));
    list->setCurrentIndex(choice.DefaultIndex);
    fillingOptionLists_ = false;
    if (list->currentText() != before[l])
      OptionChange(l);
  }
  if (IsAudioCategory(CategoryIndex()))
    for (TOptionList l : kAudioDisableOrder)
      OptionListControl(l)->setEnabled(false);
}

void TForm1::SetOptionIndex(TOptionList AList, int AIndex) {
  QComboBox* list = OptionListControl(AList);
  const QString before = list->currentText();
  fillingOptionLists_ = true;
  list->setCurrentIndex(AIndex);
  fillingOptionLists_ = false;
  if (list->currentText() != before)
    OptionChange(AList);
}

void TForm1::ResetParameterSet() { ::ResetParameterSet(params_); }

int TForm1::OverwriteChoice() const {
  if (overwriteOverride_ >= 0)
    return overwriteOverride_;
  return optionsDialog_ ? optionsDialog_->OverwriteFile() : ocRename;
}

void TForm1::ApplyParameterSet() {
  ::ApplyParameterSet(params_, CategoryIndex(), FormatIndex(),
                      Video_OutPut_Folder_Edit->text().toStdString(),
                      static_cast<TOverwriteChoice>(OverwriteChoice()), OutputNameTaken());
  const int row = SelectedRow();
  if (row < 0)
    return;
  for (const TColumnText& cell : ParameterColumnTexts(params_))
    filesModel->SetText(row, cell.Column, Q(cell.Text));
}

TNameTaken TForm1::OutputNameTaken() const {
  // The outputs promised to the rows already listed count as taken, so two inputs of the same
  // base name do not end in one output file.
  const QString folder = Video_OutPut_Folder_Edit->text();
  return [this, folder](const std::string& APath) {
    const QString path = QString::fromStdString(APath);
    for (int r = 0; r < filesModel->rowCount(); ++r)
      if (folder + "/" + filesModel->Text(r, fcOutputFile) == path)
        return true;
    return false;
  };
}

void TForm1::ReadOptionChoices() {
  TOptionTexts texts;
  for (int l = 0; l < kOptionListCount; ++l)
    texts[l] = OptionListControl(static_cast<TOptionList>(l))->currentText().toStdString();
  ::ReadOptionChoices(params_, texts);
}

void TForm1::OptionChange(TOptionList AList) {
  const int row = SelectedRow();
  if (row < 0)
    return;
  QComboBox* list = OptionListControl(AList);
  if (list->currentIndex() < 0)
    return;  // an emptied list selects nothing to record
  for (const TColumnText& cell :
       ApplyOptionChange(params_, AList, list->currentIndex(), list->currentText().toStdString(),
                         filesModel->Text(row, fcOptionCode).toStdString()))
    filesModel->SetText(row, cell.Column, Q(cell.Text));
  lvFiles->setFocus();
}
