#include "app/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSlider>
#include <QStackedLayout>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/file_list_model.h"
#include "app/icons.h"
#include "app/open_filters.h"
#include "app/progress_delegate.h"
#include "app/qt_dispatcher.h"
#include "media/player.h"
#include "app/screen_widget.h"
#include "app/shell.h"
#include "app/skins.h"
#include "media/task_manager.h"
#include "media/wave_sound.h"
#include "settings/options_dialog.h"
#include "settings/settings_file.h"

namespace {

constexpr int kClientWidth = 805;
constexpr int kClientHeight = 541;

QToolButton* PictureButton(QWidget* parent, TIconKind icon, const QString& hint) {
  auto* b = new QToolButton(parent);
  b->setIcon(CommandIcon(icon));
  b->setIconSize(QSize(20, 20));
  b->setToolTip(hint);
  b->setAutoRaise(true);
  return b;
}

QToolButton* ToolbarButton(QWidget* parent, TIconKind icon, const QString& caption) {
  auto* b = new QToolButton(parent);
  b->setIcon(CommandIcon(icon));
  b->setIconSize(QSize(28, 28));
  b->setText(caption);
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setAutoRaise(true);
  b->setMinimumWidth(52);
  return b;
}

}  // namespace

TForm1::TForm1(TMainWindowServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
  if (!services_.shell) {
    ownShell_ = std::make_unique<TDesktopShellLauncher>();
    services_.shell = ownShell_.get();
  }
  if (!services_.chooseOpenFile)
    services_.chooseOpenFile = [](QFileDialog* d) {
      return d->exec() == QDialog::Accepted && !d->selectedFiles().isEmpty() ? d->selectedFiles().first()
                                                                               : QString();
    };
  if (!services_.chooseOpenFiles)
    services_.chooseOpenFiles = [](QFileDialog* d) {
      return d->exec() == QDialog::Accepted ? d->selectedFiles() : QStringList();
    };
  if (!services_.showWarning)
    services_.showWarning = [](QWidget* p, const QString& caption, const QString& text) {
      QMessageBox::warning(p, caption, text, QMessageBox::Ok);
    };
  if (!services_.powerOff)
    services_.powerOff = [] { QProcess::startDetached("systemctl", {"poweroff"}); };
  if (!services_.playSound)
    services_.playSound = [](const QString& path) { PlayWaveAsync(path.toStdString()); };
  if (!services_.chooseFolder)
    services_.chooseFolder = [](QWidget* p, const QString& title, const QString& start) {
      return QFileDialog::getExistingDirectory(p, title, start);
    };

  // The logger exists before anything loads the media libraries (loading installs the bridge
  // that feeds it the libraries' own messages).
  mediaLogger_ = std::make_unique<TMediaLogger>();
  // Workers and the player reach this thread through the dispatcher; a window made without the
  // application's (tests, the command-line run) brings its own.
  if (!MainThreadDispatcher())
    ownDispatcher_ = std::make_unique<TQtDispatcher>();
  taskMgr_ = std::make_unique<TTaskManager>();
  ConnectTaskManager();
  previewPlayer_ = std::make_unique<TPreviewPlayer>();
  mediaLogger_->SetOnLog([this](const void* sender, uint32_t tid, TLogLevel level,
                                const std::string& msg) {
    MediaLoggerLog(sender, tid, level, QString::fromStdString(msg));
  });

  setWindowTitle("Varnosk");
  BuildMenus();
  BuildToolbar();

  // The file list spans the top; below it the output and preset panels on the left and the
  // preview panel at the lower right.
  auto* central = new QWidget(this);
  auto* rows = new QVBoxLayout(central);
  rows->setContentsMargins(6, 4, 6, 6);
  rows->setSpacing(4);
  rows->addWidget(BuildListPanel(), 1);
  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(6);
  auto* left = new QVBoxLayout;
  left->setSpacing(4);
  left->addWidget(BuildOutputPanel());
  left->addWidget(BuildPresetPanel());
  bottom->addLayout(left, 1);
  bottom->addWidget(BuildPreviewPanel(), 0, Qt::AlignBottom);
  rows->addLayout(bottom);
  setCentralWidget(central);

  setFixedSize(kClientWidth, kClientHeight);
  if (QScreen* screen = QApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }

  OpenDialog = new QFileDialog(this, "打开文件");
  OpenDialog->setFileMode(QFileDialog::ExistingFile);
  OpenMultiDialog = new QFileDialog(this, "打开文件");
  OpenMultiDialog->setFileMode(QFileDialog::ExistingFiles);

  BuildCatalogueLists();
  ConnectPreviewPlayer();
  workState_.Apply(wtCreated, false);
  ApplyEnabledState();
  FormCreate();
}

TForm1::~TForm1() {
  DetachPreviewHandlers();
  previewPlayer_.reset();  // stops and waits before the surface it draws on goes
  taskMgr_->SetOnCustomHook(nullptr);
  taskMgr_->SetOnProgress(nullptr);
  taskMgr_->SetOnTerminate(nullptr);
  taskMgr_.reset();  // stops and waits for a run still going
  mediaLogger_->SetOnLog(nullptr);
}

void TForm1::SetOptionsDialog(TForm5* dialog) {
  optionsDialog_ = dialog;
  if (dialog)
    dialog->SetPreviewAction([this](bool on) { taskMgr_->SetPreview(on); });
}

void TForm1::FormCreate() {
  InitRowRecords();
  LoadOutputFolder();
  SetOpenFilters();
  LoadSkinSetting();
  FillFormatList();
  FScreenControl = pnlScreen;
  bsSkinSlider1_down_UP = "UP";
}

void TForm1::BuildMenus() {
  auto add = [this](QMenu* menu, const QString& caption, void (TForm1::*slot)()) {
    QAction* a = menu->addAction(caption);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  QMenu* file = menuBar()->addMenu("文件");
  actAddOne = add(file, "添加一个文件", &TForm1::btnAddClick);
  actAddMany = add(file, "添加多个文件", &TForm1::AddMultipleFiles);
  actAddFolder = add(file, "添加整个目录", &TForm1::AddFolder);
  file->addSeparator();
  actExit = file->addAction("退出");
  connect(actExit, &QAction::triggered, this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu("编辑");
  actMoveUp = add(edit, "上移文件", &TForm1::MoveRowUp);
  actMoveDown = add(edit, "下移文件", &TForm1::MoveRowDown);
  edit->addSeparator();
  actRemove = add(edit, "删除选择", &TForm1::btnRemoveClick);
  actClear = add(edit, "清空文件", &TForm1::btnClearClick);
  edit->addSeparator();
  actRename = edit->addAction("重新命名");
  connect(actRename, &QAction::triggered, this, [this] { StartRename(); });

  QMenu* action = menuBar()->addMenu("动作");
  actStart = add(action, "开始转换", &TForm1::btnStartClick);
  actStop = add(action, "停止转换", &TForm1::btnStopClick);
  action->addSeparator();
  actPause = add(action, "暂停转换", &TForm1::btnPauseClick);
  actResume = add(action, "继续继续", &TForm1::btnResumeClick);
  action->addSeparator();
  actOptions = add(action, "选项设置", &TForm1::ShowOptions);

  QMenu* help = menuBar()->addMenu("帮助");
  actHelp = add(help, "帮助系统", &TForm1::OpenHelp);
  actHelp->setShortcut(QKeySequence(Qt::Key_F1));
  help->addSeparator();
  actWebsite = add(help, "官方网站", &TForm1::OpenWebsite);
  actMail = add(help, "联系邮箱", &TForm1::OpenMail);
  actAbout = add(help, "关于软件", &TForm1::ShowAbout);
}

void TForm1::BuildToolbar() {
  QToolBar* bar = addToolBar("toolbar");
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->toggleViewAction()->setEnabled(false);
  setContextMenuPolicy(Qt::NoContextMenu);

  btnAdd = ToolbarButton(bar, TIconKind::Add, "添加");
  auto* addMenu = new QMenu(btnAdd);
  addMenu->addAction(actAddOne);
  addMenu->addAction(actAddMany);
  addMenu->addAction(actAddFolder);
  btnAdd->setMenu(addMenu);
  btnAdd->setPopupMode(QToolButton::InstantPopup);
  bar->addWidget(btnAdd);

  auto button = [&](TIconKind icon, const QString& caption, void (TForm1::*slot)()) {
    QToolButton* b = ToolbarButton(bar, icon, caption);
    connect(b, &QToolButton::clicked, this, slot);
    return b;
  };
  btnRemove = button(TIconKind::Remove, "删除", &TForm1::btnRemoveClick);
  bar->addWidget(btnRemove);
  btnClear = button(TIconKind::Clear, "清空", &TForm1::btnClearClick);
  bar->addWidget(btnClear);
  bar->addSeparator();
  btnStart = button(TIconKind::Start, "开始", &TForm1::btnStartClick);
  bar->addWidget(btnStart);
  btnStop = button(TIconKind::Stop, "停止", &TForm1::btnStopClick);
  bar->addWidget(btnStop);
  btnPause = button(TIconKind::Pause, "暂停", &TForm1::btnPauseClick);
  tbPauseSlot = bar->addWidget(btnPause);
  btnResume = button(TIconKind::Resume, "继续", &TForm1::btnResumeClick);
  tbResumeSlot = bar->addWidget(btnResume);
  tbResumeSlot->setVisible(false);
  bar->addSeparator();
  btnOptions = button(TIconKind::Options, "选项", &TForm1::ShowOptions);
  bar->addWidget(btnOptions);
}

QWidget* TForm1::BuildListPanel() {
  auto* panel = new QWidget(this);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);

  auto* listHolder = new QWidget(panel);
  auto* stack = new QStackedLayout(listHolder);
  stack->setStackingMode(QStackedLayout::StackAll);
  lvFiles = new QTreeView(listHolder);
  lvFiles->setRootIsDecorated(false);
  lvFiles->setUniformRowHeights(true);
  lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvFiles->setAlternatingRowColors(true);
  filesModel = new TFileListModel(this);
  lvFiles->setModel(filesModel);
  lvFiles->setItemDelegateForColumn(fcProgress, new TProgressDelegate(lvFiles));
  connect(lvFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { lvFilesSelectItem(); });
  QHeaderView* header = lvFiles->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  for (int c = 0; c < fcColumnCount; ++c) {
    if (FileColumnInfo(c).Width == 0)
      header->setSectionHidden(c, true);  // hidden columns cannot be widened
    else
      header->resizeSection(c, FileColumnInfo(c).Width);
  }
  connect(lvFiles, &QTreeView::doubleClicked, this, [this] { StartRename(true); });
  lvFiles->viewport()->installEventFilter(this);
  lvFiles->setAcceptDrops(true);
  lvFiles->viewport()->setAcceptDrops(true);
  lvFiles->setDragDropMode(QAbstractItemView::DropOnly);
  edtRename = new QLineEdit(lvFiles->viewport());
  edtRename->hide();
  edtRename->installEventFilter(this);
  connect(edtRename, &QLineEdit::returnPressed, this, [this] { lvFiles->setFocus(); });

  pnlEmptyList = new QFrame(listHolder);
  pnlEmptyList->setAutoFillBackground(true);
  pnlEmptyList->setFrameShape(QFrame::StyledPanel);
  auto* hintLayout = new QVBoxLayout(pnlEmptyList);
  auto* hint = new QLabel(pnlEmptyList);
  hint->setPixmap(CommandIcon(TIconKind::Add).pixmap(64, 64));
  hint->setAlignment(Qt::AlignCenter);
  hintLayout->addWidget(hint);
  stack->addWidget(pnlEmptyList);
  stack->addWidget(lvFiles);
  pnlEmptyList->raise();
  // The picture panel covers the list while it is empty.
  auto coverWhenEmpty = [this] { pnlEmptyList->setVisible(filesModel->rowCount() == 0); };
  connect(filesModel, &QAbstractItemModel::rowsInserted, this, coverWhenEmpty);
  connect(filesModel, &QAbstractItemModel::rowsRemoved, this, coverWhenEmpty);
  connect(filesModel, &QAbstractItemModel::modelReset, this, coverWhenEmpty);
  row->addWidget(listHolder, 1);

  auto* side = new QVBoxLayout;
  side->setSpacing(2);
  btnMoveUp = PictureButton(panel, TIconKind::MoveUp, "上移");
  btnMoveDown = PictureButton(panel, TIconKind::MoveDown, "下移");
  btnRename = PictureButton(panel, TIconKind::Rename, "重命名");
  connect(btnMoveUp, &QToolButton::clicked, this, &TForm1::MoveRowUp);
  connect(btnMoveDown, &QToolButton::clicked, this, &TForm1::MoveRowDown);
  connect(btnRename, &QToolButton::clicked, this, [this] { StartRename(); });
  side->addWidget(btnMoveUp);
  side->addWidget(btnMoveDown);
  side->addWidget(btnRename);
  side->addStretch(1);
  row->addLayout(side);
  return panel;
}

QWidget* TForm1::BuildOutputPanel() {
  auto* panel = new QWidget(this);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(3);

  grid->addWidget(new QLabel("输出格式：", panel), 0, 0);
  bsSkinOfficeComboBox2 = new QComboBox(panel);
  bsSkinOfficeComboBox1 = new QComboBox(panel);
  grid->addWidget(bsSkinOfficeComboBox2, 0, 1);
  grid->addWidget(bsSkinOfficeComboBox1, 0, 2, 1, 3);

  grid->addWidget(new QLabel("输出目录：", panel), 1, 0);
  Video_OutPut_Folder_Edit = new QLineEdit(panel);
  Video_OutPut_Folder_Edit->setReadOnly(true);
  Video_OutPut_Folder_Edit->installEventFilter(this);
  grid->addWidget(Video_OutPut_Folder_Edit, 1, 1, 1, 2);
  btnBrowse = new QToolButton(panel);
  btnBrowse->setText("浏览...");
  btnOpenFolder = new QToolButton(panel);
  btnOpenFolder->setText("打开");
  connect(btnBrowse, &QToolButton::clicked, this, &TForm1::ChooseOutputFolder);
  connect(btnOpenFolder, &QToolButton::clicked, this, [this] {
    OpenOutputFolder();
    lvFiles->setFocus();
  });
  grid->addWidget(btnBrowse, 1, 3);
  grid->addWidget(btnOpenFolder, 1, 4);
  grid->setColumnStretch(2, 1);
  return panel;
}

QWidget* TForm1::BuildPresetPanel() {
  auto* box = new QGroupBox("预置选项", this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(3);
  struct TSlot {
    QComboBox** list;
    const char* label;
    int row, column;
  };
  const TSlot lists[] = {
      {&bsSkinComboBox1, "视频分辨率：", 0, 0}, {&bsSkinComboBox2, "视频比特率：", 1, 0},
      {&bsSkinComboBox9, "视频帧率：", 2, 0},   {&bsSkinComboBox3, "音频比特率：", 0, 2},
      {&bsSkinComboBox10, "音频采样率：", 1, 2}, {&bsSkinComboBox4, "视频缩放：", 2, 2},
  };
  for (const TSlot& s : lists) {
    *s.list = new QComboBox(box);
    (*s.list)->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    grid->addWidget(new QLabel(s.label, box), s.row, s.column);
    grid->addWidget(*s.list, s.row, s.column + 1);
  }
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  return box;
}

QWidget* TForm1::BuildPreviewPanel() {
  auto* box = new QGroupBox("视频预览", this);
  box->setFixedWidth(216);
  auto* col = new QVBoxLayout(box);
  col->setContentsMargins(6, 6, 6, 6);
  col->setSpacing(4);

  pnlScreen = new TScreenWidget(box);
  pnlScreen->setFixedSize(200, 124);
  col->addWidget(pnlScreen, 0, Qt::AlignHCenter);

  bsSkinSlider1 = new QSlider(Qt::Horizontal, box);
  bsSkinSlider1->setFixedWidth(202);
  bsSkinSlider1->setRange(0, 202);
  col->addWidget(bsSkinSlider1, 0, Qt::AlignHCenter);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(0);
  btnPlay = PictureButton(box, TIconKind::Play, "播放");
  btnPreviewPause = PictureButton(box, TIconKind::PreviewPause, "暂停");
  btnPreviewStop = PictureButton(box, TIconKind::PreviewStop, "停止");
  btnMuteOn = PictureButton(box, TIconKind::MuteOn, "静音");
  btnMuteOff = PictureButton(box, TIconKind::MuteOff, "静音");
  btnMuteOff->hide();
  btnSnapshot = PictureButton(box, TIconKind::Snapshot, "快照");
  btnSnapshotSettings = PictureButton(box, TIconKind::Settings, "设置");
  mnuSnapshot = new QMenu(btnSnapshotSettings);
  connect(mnuSnapshot->addAction("打开快照目录"), &QAction::triggered, this, &TForm1::OpenSnapshotFolder);
  connect(mnuSnapshot->addAction("设置快照目录"), &QAction::triggered, this, &TForm1::ChooseSnapshotFolder);
  mnuSnapshot->addSeparator();
  QMenu* types = mnuSnapshot->addMenu("快照保存类型");
  auto* typeGroup = new QActionGroup(types);
  for (const auto& info : kSnapshotTypes) {
    QAction* a = types->addAction(QString::fromUtf8(info.MenuText.data(), info.MenuText.size()));
    a->setCheckable(true);
    typeGroup->addAction(a);
    snapshotTypeActions_.append(a);
    const TSnapshotType type = info.Type;
    connect(a, &QAction::triggered, this, [this, type] { ChooseSnapshotType(type); });
  }
  snapshotTypeActions_.first()->setChecked(true);
  // The menu's check mark follows the settings file each time the menu opens.
  connect(mnuSnapshot, &QMenu::aboutToShow, this, [this] { ReadSnapshotType(); });
  btnSnapshotSettings->setMenu(mnuSnapshot);
  btnSnapshotSettings->setPopupMode(QToolButton::InstantPopup);
  for (QToolButton* b : {btnPlay, btnPreviewPause, btnPreviewStop, btnMuteOn, btnMuteOff,
                         btnSnapshot, btnSnapshotSettings})
    buttons->addWidget(b);
  connect(btnPlay, &QToolButton::clicked, this, &TForm1::PreviewPlayClick);
  connect(btnPreviewPause, &QToolButton::clicked, this, &TForm1::PreviewPauseClick);
  connect(btnPreviewStop, &QToolButton::clicked, this, &TForm1::PreviewStopClick);
  connect(btnMuteOn, &QToolButton::clicked, this, [this] { SetPreviewMute(true); });
  connect(btnMuteOff, &QToolButton::clicked, this, [this] { SetPreviewMute(false); });
  connect(btnSnapshot, &QToolButton::clicked, this, [this] { TakeSnapshot(); });
  connect(bsSkinSlider1, &QSlider::sliderPressed, this, &TForm1::SliderMouseDown);
  connect(bsSkinSlider1, &QSlider::sliderReleased, this, &TForm1::SliderMouseUp);
  col->addLayout(buttons);
  return box;
}

// ---- diagnostic log ---------------------------------------------------------------------

void TForm1::AppendLog(const QString& line) { mmoLog_.append(line); }

void TForm1::MediaLoggerLog(const void*, uint32_t AThreadID, TLogLevel ALogLevel,
                            const QString& ALogMsg) {
  AppendLog(QString("#%1.%2: %3").arg(AThreadID).arg(static_cast<int>(ALogLevel)).arg(ALogMsg));
}

// ---- work state -------------------------------------------------------------------------

void TForm1::ApplyWorkTransition(TWorkTransition transition) {
  workState_.Apply(transition, filesModel->rowCount() > 0);
  if (transition == wtPaused || transition == wtResumed) {
    tbPauseSlot->setVisible(transition == wtResumed);
    tbResumeSlot->setVisible(transition == wtPaused);
  }
  ApplyEnabledState();
}

bool TForm1::ShowsPause() const { return tbPauseSlot->isVisible(); }

void TForm1::ApplyEnabledState() {
  const TWorkState& s = workState_;
  auto set = [](bool on, std::initializer_list<QObject*> targets) {
    for (QObject* t : targets) {
      if (auto* w = qobject_cast<QWidget*>(t))
        w->setEnabled(on);
      else if (auto* a = qobject_cast<QAction*>(t))
        a->setEnabled(on);
    }
  };
  set(s.Enabled(wgAdd), {btnAdd, actAddOne, actAddMany, actAddFolder});
  set(s.Enabled(wgRemoveRename), {btnRemove, actRemove, btnRename, actRename});
  set(s.Enabled(wgClear), {btnClear, actClear});
  set(s.Enabled(wgStartButton), {btnStart});
  set(s.Enabled(wgStartMenu), {actStart});
  set(s.Enabled(wgStop), {btnStop, actStop});
  set(s.Enabled(wgPause), {btnPause, actPause});
  set(s.Enabled(wgResume), {btnResume, actResume});
  // Locking and unlocking touch the option lists only when the state changes, so the lists an
  // audio format disabled stay disabled through transitions that keep the output choices.
  if (s.Enabled(wgOutput) != outputUnlocked_) {
    outputUnlocked_ = s.Enabled(wgOutput);
    if (outputUnlocked_)
      UnlockPresetControls();
    else
      LockPresetControls();
  }
}

QList<QWidget*> TForm1::PresetControls() const {
  return {bsSkinComboBox1, bsSkinComboBox2, bsSkinComboBox3,       bsSkinComboBox4,       bsSkinComboBox9,
          bsSkinComboBox10, bsSkinOfficeComboBox2, bsSkinOfficeComboBox1, btnBrowse};
}

void TForm1::LockPresetControls() {
  for (QWidget* w : PresetControls())
    w->setEnabled(false);
  bsSkinOfficeComboBox2->update();
}

void TForm1::UnlockPresetControls() {
  for (QWidget* w : PresetControls())
    w->setEnabled(true);
  bsSkinOfficeComboBox2->update();
}

// ---- settings-backed state --------------------------------------------------------------

void TForm1::LoadOutputFolder() {
  fileOutPutPath_ = QString::fromStdString(::LoadOutputFolder());
  Video_OutPut_Folder_Edit->setText(fileOutPutPath_);
}

void TForm1::SaveOutputFolder() { ::SaveOutputFolder(fileOutPutPath_.toStdString()); }

void TForm1::LoadSkinSetting() {
  if (std::optional<int> index = LoadSkinIndex())
    ApplySkin(*index);
}

void TForm1::SetOpenFilters() {
  const QStringList filters = OpenNameFilters();
  for (QFileDialog* d : {OpenDialog, OpenMultiDialog}) {
    d->setNameFilters(filters);
    d->selectNameFilter(filters.first());
  }
}

// ---- output folder ----------------------------------------------------------------------

void TForm1::ChooseOutputFolder() {
  QString folder = services_.chooseFolder(this, "选择输出目录", fileOutPutPath_);
  if (!folder.isEmpty() && QDir(folder).exists()) {
    Video_OutPut_Folder_Edit->setText(folder);
    fileOutPutPath_ = folder;
    SaveOutputFolder();
  }
  lvFiles->setFocus();
}

void TForm1::OpenOutputFolder() { services_.shell->Open(Video_OutPut_Folder_Edit->text()); }

// ---- help -------------------------------------------------------------------------------

void TForm1::OpenHelp() { services_.shell->Open(kMakerWebAddress); }
void TForm1::OpenWebsite() { services_.shell->Open(kMakerWebAddress); }
void TForm1::OpenMail() { services_.shell->Open(QString("mailto:") + kSupportMailAddress); }

void TForm1::ShowAbout() {
  if (services_.showAbout)
    services_.showAbout(this);
}

// ---- options dialog ---------------------------------------------------------------------

void TForm1::ShowOptions() {
  if (optionsDialog_)
    optionsDialog_->exec();
}

// ---- window events ----------------------------------------------------------------------

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // The output folder box is read-only; a click on it hands the focus to the file list.
  if (watched == Video_OutPut_Folder_Edit && event->type() == QEvent::MouseButtonPress) {
    lvFiles->setFocus();
    return true;
  }
  if (watched == edtRename && event->type() == QEvent::FocusOut)
    FinishRename();
  if (watched == lvFiles->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonRelease:
        QTimer::singleShot(0, this, [this] { lvFilesClick(); });
        break;
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (drag->mimeData()->hasUrls() && workState_.Enabled(wgAdd)) {
          drag->acceptProposedAction();
          return true;
        }
        break;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls())
          if (url.isLocalFile())
            paths << url.toLocalFile();
        drop->acceptProposedAction();
        AddDropped(paths);
        return true;
      }
      default:
        break;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // The preview player's handlers are detached first, then the task manager's, so a run
  // stopped here performs no completion action; the stop services the main thread while it
  // waits, so handlers still being delivered cannot block it.
  DetachPreviewHandlers();
  taskMgr_->SetOnCustomHook(nullptr);
  taskMgr_->SetOnProgress(nullptr);
  taskMgr_->SetOnTerminate(nullptr);
  taskMgr_->Stop(true);
  mediaLogger_->SetOnLog(nullptr);
  event->accept();
}



void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  UpdateScreenPosition();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  UpdateScreenPosition();
}

void TForm1::UpdateScreenPosition() {
  if (previewPlayer_)
    previewPlayer_->UpdateScreenPosition();
}
