// TCustomPlayer: creation, pausing, seeking, snapshots, stream switching and the properties
// that act at once. Opening and stopping: player_open.cpp.
#include "media/player_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {
// SDL's sound driver per TAudioDriver member: the system's choice, the sound server, the
// sound device.
const char* const kAudioDriverNames[] = {"", "pulseaudio", "alsa"};
}  // namespace

const char* AudioDriverName(TAudioDriver ADriver) { return kAudioDriverNames[ADriver]; }

TCustomPlayer::TCustomPlayer() : FMediaProbe(std::make_unique<TMediaProbe>()) {
  ResetPlaySettings();
}

TCustomPlayer::~TCustomPlayer() {
  {
    std::lock_guard lock(FHandlerLock);
    FOnHook = nullptr;
    FOnPosition = nullptr;
    FOnState = nullptr;
  }
  Stop(true);
  for (;;) {  // sessions whose event thread was busy in a handler during Stop
    std::shared_ptr<TPlaySession> session;
    {
      std::lock_guard lock(FSessionsLock);
      if (FSessions.empty())
        break;
      session = FSessions.front();
      FSessions.pop_front();
    }
    WaitPumping([&] { return session->event_done && session->play_done; }, 5);
    if (session->play_thread.joinable())
      session->play_thread.join();
    if (session->event_thread.joinable())
      session->event_thread.join();
  }
  ReleaseClosedContext();
}

bool TCustomPlayer::AVLibLoaded() const { return AVLibSetLoaded(PlayerLibraries); }

bool TCustomPlayer::LoadAVLib(const std::string& APath) {
  std::string error;
  bool ok = LoadAVLibSet(PlayerLibraries, APath, error);
  if (!ok)
    SetLastErrMsg(error);
  return ok;
}

void TCustomPlayer::UnloadAVLib() { UnloadAVLibSet(PlayerLibraries); }

void TCustomPlayer::Log(int ALibraryLevel, const std::string& AMsg) {
  LoggerInstance().Log(this, LogLevelOf(ALibraryLevel), AMsg);
}

void TCustomPlayer::Error(const std::string& AMsg) {
  SetLastErrMsg(AMsg);
  Log(AV_LOG_ERROR, AMsg);
}

void TCustomPlayer::SetLastErrMsg(const std::string& AMsg) {
  std::lock_guard lock(FTextLock);
  FLastErrMsg = AMsg;
}

std::string TCustomPlayer::LastErrMsg() const {
  std::lock_guard lock(FTextLock);
  return FLastErrMsg;
}

std::string TCustomPlayer::FileName() const {
  std::lock_guard lock(FTextLock);
  return FFileName;
}

std::string TCustomPlayer::VideoFilters() const {
  std::lock_guard lock(FTextLock);
  return FVideoFilters;
}

void TCustomPlayer::SetVideoFilters(const std::string& AValue) {
  std::lock_guard lock(FTextLock);
  FVideoFilters = AValue;
}

bool TCustomPlayer::OnPlayerThread() const { return PlayerOfThread() == this; }

// ---- pause ----

bool TCustomPlayer::Paused() const {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  return !is || is->paused;
}

void TCustomPlayer::Pause() {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  if (!is || is->paused)
    return;
  TogglePauseCore(is);
  FStepping = false;
  SetPlayState(psPause, is->Session);
}

void TCustomPlayer::Resume() {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  if (!is || !is->paused)
    return;
  TogglePauseCore(is);
  FStepping = false;
  SetPlayState(psResume, is->Session);
}

void TCustomPlayer::TogglePause() {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  if (!is)
    return;
  TogglePauseCore(is);
  FStepping = false;
  SetPlayState(is->paused ? psPause : psResume, is->Session);
}

void TCustomPlayer::StepToNextFrame() {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  if (!is)
    return;
  if (is->paused)
    TogglePauseCore(is);
  if (!FStepping.exchange(true))
    SetPlayState(psStep, is->Session);
}

// ---- seek ----

void TCustomPlayer::WaitForSeekEnd(bool AHasVideo) {
  // Also ends when playback or the video decoder ends meanwhile.
  auto ended = [this] {
    std::lock_guard lock(FCoreLock);
    TVideoState* is = FVideoState;
    return !is || (is->video_st && is->video_done);
  };
  WaitPumping([&] { return FSeekEvent.IsSet() || ended(); }, 5);
  if (AHasVideo)
    WaitPumping([&] { return FPictEvent.IsSet() || ended(); }, 5);
}

void TCustomPlayer::SeekTo(int64_t APTS, TSeekFlags ASeekFlags, bool AWaitForSeekEnd) {
  bool has_video;
  {
    std::lock_guard lock(FCoreLock);
    TVideoState* is = FVideoState;
    if (!is)
      return;
    has_video = is->video_st != nullptr;
    SeekCore(is, APTS, ASeekFlags);
  }
  if (AWaitForSeekEnd)
    WaitForSeekEnd(has_video);
}

void TCustomPlayer::Seek(double ADelta, TSeekFlags ASeekFlags, bool AWaitForSeekEnd) {
  bool has_video;
  {
    std::lock_guard lock(FCoreLock);
    TVideoState* is = FVideoState;
    if (!is)
      return;
    has_video = is->video_st != nullptr;
    int64_t target, rel;
    if (ASeekFlags & sfByte) {
      const int64_t bit_rate = is->ic->bit_rate;
      const double delta = bit_rate ? ADelta * bit_rate / 8.0 : ADelta * 180000.0;
      const int64_t position = is->ic->pb ? avio_tell(is->ic->pb) : 0;
      target = position + static_cast<int64_t>(delta);
      rel = static_cast<int64_t>(delta);
    } else {
      target = std::llround((is->GetMasterClock() + ADelta) * 1000000);
      rel = std::llround(ADelta * 1000000);
    }
    is->RequestSeek(target, rel, static_cast<int>(ASeekFlags));
  }
  if (AWaitForSeekEnd)
    WaitForSeekEnd(has_video);
}

// ---- snapshot ----

TBitmap24& TCustomPlayer::CurrentFrame() {
  int64_t pts;
  return CurrentFrame(pts);
}

TBitmap24& TCustomPlayer::CurrentFrame(int64_t& APTS) {
  if (!FRGBContext)
    FRGBContext = std::make_unique<TRGBConvertContext>();
  TBitmap24& bitmap = FRGBContext->EnsureBitmap();
  APTS = -1;
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  if (!is || !is->video_st || !is->video_ctx) {
    bitmap.SetSize(0, 0);
    return bitmap;
  }
  bitmap.SetSize(is->video_ctx->width, is->video_ctx->height);
  double pts = 0;
  bool converted = false;
  if (is->ShownPicture(*FRGBContext, pts, converted)) {
    APTS = std::llround(pts * 1000000) - is->StartTime;
    if (!converted)
      FRGBContext->Bitmap->SetSize(0, 0);
  }
  return *FRGBContext->Bitmap;
}

// ---- display settings ----

void TCustomPlayer::SetAspectRatio(float AValue) {
  if (FAspectRatio.exchange(AValue) == AValue)
    return;
  std::lock_guard lock(FCoreLock);
  if (TVideoState* is = FVideoState)
    is->Session->display_events.Push(deRedisplay);
}

void TCustomPlayer::SetAudioVolume(TAudioVolume AValue) {
  FAudioVolume = std::clamp(AValue, 0, SDL_MIX_MAXVOLUME);
}

void TCustomPlayer::SetShowAudio(TShowAudio AValue) {
  FShowAudio = AValue;
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  if (is && is->audio_st && !display_disable)
    is->show_audio = AValue;
}

void TCustomPlayer::ToggleAudioDisplay() {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  if (!is)
    return;
  is->show_audio = (is->show_audio + 1) % 3;
  is->Session->display_events.Push(deClear);
}

TShowAudio TCustomPlayer::CurrentAudioDisplay() const {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  return is ? static_cast<TShowAudio>(is->show_audio.load()) : FShowAudio.load();
}

void TCustomPlayer::UpdateScreenPosition() {
  std::lock_guard lock(FCoreLock);
  if (FVideoState && FScreenHandle && FVideoDriver == vdDirectDraw)
    FScreenHandle->PositionChanged();
}

void TCustomPlayer::ScreenResized(int AWidth, int AHeight) {
  std::lock_guard lock(FCoreLock);
  if (TVideoState* is = FVideoState)
    is->Session->display_events.Push(TDisplayEvent{deResize, AWidth, AHeight});
}

void TCustomPlayer::ScreenExposed() {
  std::lock_guard lock(FCoreLock);
  if (TVideoState* is = FVideoState)
    is->Session->display_events.Push(deExpose);
}

void TCustomPlayer::SetFormat(const std::string& AValue) {
  if (!AVLibLoaded()) {
    Error("libav or libsdl not loaded.");
    return;
  }
  const AVInputFormat* format = nullptr;
  if (!AValue.empty()) {
    format = av_find_input_format(AValue.c_str());
    if (!format)
      throw std::runtime_error("Unknown input format: " + AValue);
  }
  FFormat = AValue;
  FInputFormat = format;
}

// ---- streams ----

int TCustomPlayer::AudioStreamIndex() const {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  return is ? is->audio_stream.load() : -1;
}

int TCustomPlayer::VideoStreamIndex() const {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  return is ? is->video_stream.load() : -1;
}

int TCustomPlayer::SubtitleStreamIndex() const {
  std::lock_guard lock(FCoreLock);
  TVideoState* is = FVideoState;
  return is ? is->subtitle_stream.load() : -1;
}

void TCustomPlayer::SelectStream(int AKind, int AIndex) {
  // The play thread must not draw from a stream being closed: hold its data lock.
  std::lock_guard data(FDataLock);
  std::lock_guard lock(FCoreLock);
  if (TVideoState* is = FVideoState)
    is->StreamCycle(AKind, AIndex);
}

void TCustomPlayer::SetAudioStreamIndex(int AValue) { SelectStream(AVMEDIA_TYPE_AUDIO, AValue); }
void TCustomPlayer::SetVideoStreamIndex(int AValue) { SelectStream(AVMEDIA_TYPE_VIDEO, AValue); }
void TCustomPlayer::SetSubtitleStreamIndex(int AValue) {
  SelectStream(AVMEDIA_TYPE_SUBTITLE, AValue);
}

// ---- handlers ----

void TCustomPlayer::SetOnFileOpen(TFileOpenEvent AHandler) {
  std::lock_guard lock(FHandlerLock);
  FOnFileOpen = std::move(AHandler);
}

void TCustomPlayer::SetOnHook(THookEvent AHandler) {
  std::lock_guard lock(FHandlerLock);
  FOnHook = std::move(AHandler);
}

void TCustomPlayer::SetOnPosition(TPositionEvent AHandler) {
  std::lock_guard lock(FHandlerLock);
  FOnPosition = std::move(AHandler);
}

void TCustomPlayer::SetOnState(TPlayStateEvent AHandler) {
  std::lock_guard lock(FHandlerLock);
  FOnState = std::move(AHandler);
}
