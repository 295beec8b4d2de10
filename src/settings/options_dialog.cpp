#include "settings/options_dialog.h"

#include <span>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

// One option of an exclusive group: its text and the value it stands for, in screen order.
struct TOptionText {
  const char* Text;
  int Value;
};

constexpr TOptionText kAfterDoneOptions[] = {
    {"自动打开输出文件夹", 0},
    {"自动关闭计算机", 1},
    {" 播放提示音乐", 2},
    {"不进行任何操作", 3},
};

constexpr TOptionText kOverwriteOptions[] = {
    {"直接覆盖输出文件", 0},
    {"自动重命名输出文件", 1},
};

constexpr TOptionText kPriorityOptions[] = {
    {"系统空闲时进行", 0},
    {"较低优先级进行", 2},
    {"最低优先级进行", 1},
    {"正常优先级进行", 3},
};

constexpr int kClientWidth = 528;
constexpr int kClientHeight = 471;

// A titled group of exclusive options; the button group's ids are the options' values.
QGroupBox* MakeChoiceGroup(QWidget* parent, const char* title, std::span<const TOptionText> options,
                           QButtonGroup*& group) {
  auto* box = new QGroupBox(QString::fromUtf8(title), parent);
  auto* layout = new QVBoxLayout(box);
  group = new QButtonGroup(box);
  group->setExclusive(true);
  for (const auto& option : options) {
    auto* radio = new QRadioButton(QString::fromUtf8(option.Text), box);
    group->addButton(radio, option.Value);
    layout->addWidget(radio);
  }
  layout->addStretch();
  return box;
}

void Choose(QButtonGroup* group, int value) {
  if (auto* button = group->button(value))
    button->setChecked(true);
}

}  // namespace

TForm5::TForm5(QWidget* parent, TPreviewAction APreviewAction)
    : QDialog(parent), FPreviewAction(std::move(APreviewAction)) {
  setWindowTitle(QString::fromUtf8("选项"));
  setFixedSize(kClientWidth, kClientHeight);

  auto* after_done = MakeChoiceGroup(this, "转换工作完成后", kAfterDoneOptions, FAfterDone);
  auto* overwrite = MakeChoiceGroup(this, "如果输出文件存在时", kOverwriteOptions, FOverwrite);
  auto* priority = MakeChoiceGroup(this, "转换时CPU利用方式", kPriorityOptions, FPriority);

  auto* params = new QGroupBox(QString::fromUtf8("转换参数"), this);
  auto* params_layout = new QVBoxLayout(params);
  auto* count_row = new QHBoxLayout;
  auto* count_label = new QLabel(QString::fromUtf8("同时进行转换的文件个数"), params);
  FThreadCount = new QComboBox(params);
  for (int i = 1; i <= kMaxThreadCount; ++i)
    FThreadCount->addItem(QString::number(i));
  count_label->setBuddy(FThreadCount);
  count_row->addWidget(count_label);
  count_row->addWidget(FThreadCount);
  count_row->addStretch();
  params_layout->addLayout(count_row);
  FPreview = new QCheckBox(QString::fromUtf8("转换时进行实时视频预览"), params);
  params_layout->addWidget(FPreview);
  params_layout->addStretch();

  auto* groups = new QGridLayout;
  groups->addWidget(after_done, 0, 0);
  groups->addWidget(overwrite, 0, 1);
  groups->addWidget(params, 1, 0);
  groups->addWidget(priority, 1, 1);
  groups->setColumnStretch(0, 1);
  groups->setColumnStretch(1, 1);

  FOkButton = new QPushButton(QString::fromUtf8("确定"), this);
  FCancelButton = new QPushButton(QString::fromUtf8("取消"), this);
  FOkButton->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(FOkButton);
  buttons->addWidget(FCancelButton);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(groups, 1);
  layout->addLayout(buttons);

  ShowValues(TOptionValues{});
  ShowValues(LoadOptionValues());
  RunPreviewAction();

  connect(FPreview, &QCheckBox::toggled, this, [this] { RunPreviewAction(); });
  connect(FOkButton, &QPushButton::clicked, this, [this] { SaveAndClose(); });
  connect(FCancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm5::SetPreviewAction(TPreviewAction APreviewAction) {
  FPreviewAction = std::move(APreviewAction);
  RunPreviewAction();
}

int TForm5::ThreadCount() const { return FThreadCount->currentText().toInt(); }
int TForm5::AfterDone() const { return FAfterDone->checkedId(); }
int TForm5::ThreadPriority() const { return FPriority->checkedId(); }
int TForm5::OverwriteFile() const { return FOverwrite->checkedId(); }
bool TForm5::ShowPreview() const { return FPreview->isChecked(); }

TOptionValues TForm5::Values() const {
  return {ThreadCount(), AfterDone(), ThreadPriority(), OverwriteFile(), ShowPreview()};
}

void TForm5::showEvent(QShowEvent* event) {
  // Centred on the main window at every showing, wherever that window has moved to since.
  if (QWidget* owner = parentWidget()) {
    QRect frame = frameGeometry();
    frame.moveCenter(owner->window()->frameGeometry().center());
    move(frame.topLeft());
  }
  QDialog::showEvent(event);
}

// Sets the controls without running the preview action; the caller runs it.
void TForm5::ShowValues(const TOptionValues& AValues) {
  FThreadCount->setCurrentIndex(FThreadCount->findText(QString::number(AValues.ThreadCount)));
  Choose(FAfterDone, AValues.AfterDone);
  Choose(FPriority, AValues.ThreadPriority);
  Choose(FOverwrite, AValues.OverwriteFile);
  const QSignalBlocker blocker(FPreview);
  FPreview->setChecked(AValues.ShowPreview);
}

void TForm5::RunPreviewAction() {
  if (FPreviewAction)
    FPreviewAction(FPreview->isChecked());
}

void TForm5::SaveAndClose() {
  SaveOptionValues(Values());
  accept();
}
