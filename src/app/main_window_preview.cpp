// The preview panel: the player on the selected file, its position slider and buttons, and
// snapshots of the picture on display.
#include <QDir>
#include <QFileInfo>
#include <QSlider>
#include <QToolButton>
#include <QTreeView>

#include "app/main_window.h"
#include "app/screen_widget.h"
#include "app/shell.h"
#include "app/snapshot.h"
#include "media/ffutils.h"
#include "media/player.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const char* const kStateNames[] = {"Play", "Pause", "Resume", "Step", "Stop", "End"};

}  // namespace

void TForm1::ConnectPreviewPlayer() {
  TPreviewPlayer& player = *previewPlayer_;
  player.SetOnFileOpen([this](TCustomPlayer*, int64_t duration, int fw, int fh, int& sw, int& sh) {
    PreviewPlayerFileOpen(duration, fw, fh, sw, sh);
  });
  player.SetOnPosition([this](TCustomPlayer*, int64_t pts) { PreviewPlayerPosition(pts); });
  player.SetOnState([this](TCustomPlayer*, TPlayState state) { PreviewPlayerState(state); });
  pnlScreen->OnResized = [this](int w, int h) { previewPlayer_->ScreenResized(w, h); };
  pnlScreen->OnExposed = [this] { previewPlayer_->ScreenExposed(); };
}

void TForm1::DetachPreviewHandlers() {
  if (!previewPlayer_)
    return;
  pnlScreen->OnResized = nullptr;
  pnlScreen->OnExposed = nullptr;
  previewPlayer_->SetOnPosition(nullptr);
  previewPlayer_->SetOnState(nullptr);
}

void TForm1::OpenPreview() {
  TPreviewPlayer& player = *previewPlayer_;
  if (!player.AVLibLoaded() && !player.LoadAVLib(ExeFolder() + "LibAV")) {
    AppendLog(Q(player.LastErrMsg()));
    return;
  }
  player.SetVideoDriver(vdDefault);
  player.SetAudioDriver(adDefault);
  if (!player.Open(T_Movie_PLayer_FileName.toStdString(), pnlScreen, true))
    AppendLog(Q(player.LastErrMsg()));
}

void TForm1::StopPreview() { previewPlayer_->Stop(true); }

void TForm1::PreviewPlayerFileOpen(int64_t ADuration, int AFrameWidth, int AFrameHeight,
                                   int& AScreenWidth, int& AScreenHeight) {
  AppendLog(Q(previewPlayer_->MediaProbe().FileInfoText()));
  AppendLog(QString::asprintf("duration: %.2f, frame size: %dx%d", ADuration / 1000000.0,
                              AFrameWidth, AFrameHeight));
  AScreenWidth = FScreenControl->width();
  AScreenHeight = FScreenControl->height();
  FDuration = ADuration;
  bsSkinSlider1->setSingleStep(5);
  bsSkinSlider1->setMaximum(bsSkinSlider1->width());
  bsSkinSlider1->setValue(0);
}

void TForm1::PreviewPlayerPosition(int64_t APTS) {
  if (bsSkinSlider1_down_UP != "UP" || APTS < 0 || FDuration <= 0)
    return;
  bsSkinSlider1->setValue(static_cast<int>(static_cast<int64_t>(bsSkinSlider1->maximum()) * APTS / FDuration));
}

void TForm1::PreviewPlayerState(int AState) {
  if (AState >= psPlay && AState <= psEnd)
    AppendLog(kStateNames[AState]);
  if (AState == psStop) {
    pnlScreen->CloseDisplay();
  } else if (AState == psEnd) {
    previewPlayer_->Seek(int64_t(0), sfAny, false);
    previewPlayer_->Pause();
  }
}

void TForm1::PreviewPlayClick() {
  previewPlayer_->Resume();
  lvFiles->setFocus();
}

void TForm1::PreviewPauseClick() {
  previewPlayer_->Pause();
  lvFiles->setFocus();
}

void TForm1::PreviewStopClick() {
  if (SelectedRow() < 0)
    return;
  TPreviewPlayer& player = *previewPlayer_;
  player.Stop(true);
  if (!player.Open(T_Movie_PLayer_FileName.toStdString(), pnlScreen, true)) {
    AppendLog(Q(player.LastErrMsg()));
    player.Stop(true);
  }
  lvFiles->setFocus();
}

void TForm1::SetPreviewMute(bool AMute) {
  previewPlayer_->SetMute(AMute);
  btnMuteOn->setVisible(!AMute);
  btnMuteOff->setVisible(AMute);
}

void TForm1::SliderMouseDown() {
  bsSkinSlider1_down_UP = "Down";
  previewPlayer_->Pause();
}

int64_t TForm1::SliderTarget() const {
  const int maximum = bsSkinSlider1->maximum();
  return maximum > 0 ? FDuration * bsSkinSlider1->value() / maximum : 0;
}

void TForm1::SliderMouseUp() {
  TPreviewPlayer& player = *previewPlayer_;
  player.Pause();
  player.Seek(SliderTarget(), 0, false);
  player.Resume();
  bsSkinSlider1_down_UP = "UP";
}

QString TForm1::ReadSnapshotFolder() { return Q(::ReadSnapshotFolder()); }

TSnapshotType TForm1::ReadSnapshotType() {
  const TSnapshotType type = ::ReadSnapshotType();
  for (qsizetype i = 0; i < snapshotTypeActions_.size(); ++i)
    snapshotTypeActions_[i]->setChecked(kSnapshotTypes[i].Type == type);
  return type;
}

QString TForm1::TakeSnapshot() {
  const QImage picture = ToImage(previewPlayer_->CurrentFrame());
  const QString folder = ReadSnapshotFolder();
  const TSnapshotType type = ReadSnapshotType();
  if (picture.isNull())
    return {};
  QString error;
  const QString path = SaveSnapshotPicture(picture, folder,
                                           QFileInfo(T_Movie_PLayer_FileName).completeBaseName(),
                                           type, &error);
  if (path.isEmpty())
    AppendLog(error);
  return path;
}

void TForm1::OpenSnapshotFolder() { services_.shell->Open(ReadSnapshotFolder()); }

void TForm1::ChooseSnapshotFolder() {
  const QString folder = services_.chooseFolder(this, "选择输出目录", ReadSnapshotFolder());
  if (!folder.isEmpty() && QDir(folder).exists())
    SaveSnapshotFolder(folder.toStdString());
}

void TForm1::ChooseSnapshotType(TSnapshotType AType) {
  SaveSnapshotType(AType);
  ReadSnapshotType();
}
