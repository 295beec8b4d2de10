// The preview player: plays one media file with sound into a render target. TCustomPlayer holds
// all the logic; TPreviewPlayer is the component the application uses.
//
// Threads per open file: the play thread (display events, picture timing and all drawing), the
// event thread (OnPosition / OnState delivery), and the playback core's reader, video decoder,
// subtitle decoder and refresh threads, plus SDL's sound thread. Every operation below is
// called from the main thread unless said otherwise; waits there keep servicing the
// dispatcher (media/dispatcher.h), so handlers delivered in the main thread run meanwhile.
//
// Sound goes to SDL2 audio; a missing or failing sound device leaves the file playing without
// sound. Pictures go to a TRenderTarget.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "media/bitmap.h"
#include "media/ffmpeg_loader.h"
#include "media/ffutils.h"
#include "media/media_probe.h"
#include "media/player_sync.h"
#include "media/render_target.h"
#include "media/rgb_convert.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFormatContext;
struct AVInputFormat;

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
enum TRepeatType { rtNone, rtStop, rtLoop };
enum TShowAudio { saNone, saWave, saRDFT };
// Sound drivers: the system's choice (SDL_AUDIODRIVER when set), the sound server, the device.
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };
using TAudioVolume = int;  // 0..128, 128 is full volume
enum Tav_sync_type { AV_SYNC_AUDIO_MASTER, AV_SYNC_VIDEO_MASTER, AV_SYNC_EXTERNAL_CLOCK };

// SDL's name of a sound driver; empty for adDefault.
const char* AudioDriverName(TAudioDriver ADriver);

class TCustomPlayer;
class TVideoState;
struct TPlaySession;

// ADuration: microseconds, -1 when unknown, 0 for a still-image sequence. AFrameWidth /
// AFrameHeight: -1 without video. The handler may set the display size.
using TFileOpenEvent = std::function<void(TCustomPlayer* Sender, int64_t ADuration, int AFrameWidth,
                                          int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
// On the video decoder thread, with the bitmap's canvas locked; APTS in microseconds from the
// file's start time. Whatever the handler draws on ABitmap is shown.
using THookEvent = std::function<void(TCustomPlayer* Sender, TBitmap24& ABitmap, int64_t APTS)>;
// APTS: microseconds from the file's start time.
using TPositionEvent = std::function<void(TCustomPlayer* Sender, int64_t APTS)>;
using TPlayStateEvent = std::function<void(TCustomPlayer* Sender, TPlayState AState)>;

class TCustomPlayer {
public:
  TCustomPlayer();
  // Clears OnHook, OnPosition and OnState and stops with waiting. Never destroy the player
  // from inside one of its own handlers.
  virtual ~TCustomPlayer();
  TCustomPlayer(const TCustomPlayer&) = delete;
  TCustomPlayer& operator=(const TCustomPlayer&) = delete;

  bool AVLibLoaded() const;
  bool LoadAVLib(const std::string& APath);
  void UnloadAVLib();

  // Stops a playing file, opens AFileName and starts playing it (paused when APaused: the
  // first two pictures are still shown, then psPause) into ARenderTarget (nullptr: an internal
  // in-memory target). False with LastErrMsg when the file cannot be played.
  bool Open(const std::string& AFileName, TRenderTarget* ARenderTarget, bool APaused);
  // Ends playback. With AWaitForStop returns when every thread of the file has ended (psStop
  // has been delivered, unless called from inside a handler of that file).
  void Stop(bool AWaitForStop);
  void Pause();
  void Resume();
  void TogglePause();
  void StepToNextFrame();
  // Absolute seek: APTS microseconds from the file's start time (a byte position with sfByte).
  template <typename T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
  void Seek(T APTS, TSeekFlags ASeekFlags = 0, bool AWaitForSeekEnd = false) {
    SeekTo(static_cast<int64_t>(APTS), ASeekFlags, AWaitForSeekEnd);
  }
  // Relative seek by ADelta seconds (or the byte equivalent with sfByte).
  void Seek(double ADelta, TSeekFlags ASeekFlags = 0, bool AWaitForSeekEnd = false);
  void SeekTo(int64_t APTS, TSeekFlags ASeekFlags, bool AWaitForSeekEnd);

  // The picture on display as a bitmap owned by the player (valid until the next call or the
  // player's end); black without a picture yet, 0 x 0 without video. APTS: its time in
  // microseconds from the start time, -1 without one.
  TBitmap24& CurrentFrame();
  TBitmap24& CurrentFrame(int64_t& APTS);

  // Cycles the visualisation none -> waveform -> spectrum -> none while playing.
  void ToggleAudioDisplay();
  // The visualisation in use (the ShowAudio setting when not playing).
  TShowAudio CurrentAudioDisplay() const;
  // The widget moved: tells the render target (while playing, with vdDirectDraw).
  void UpdateScreenPosition();
  // The widget was resized / needs its picture again: the render target's owner calls these.
  void ScreenResized(int AWidth, int AHeight);
  void ScreenExposed();

  // ---- properties ----
  std::string About() const { return "Varnosk preview player"; }
  std::string Version() const { return "2.3"; }
  float AspectRatio() const { return FAspectRatio; }
  void SetAspectRatio(float AValue);
  TAudioDriver AudioDriver() const { return FAudioDriver; }
  void SetAudioDriver(TAudioDriver AValue) { FAudioDriver = AValue; }
  TAudioVolume AudioVolume() const { return FAudioVolume; }
  void SetAudioVolume(TAudioVolume AValue);
  bool Mute() const { return FMute; }
  void SetMute(bool AValue) { FMute = AValue; }
  bool DisableAudio() const { return audio_disable; }
  void SetDisableAudio(bool AValue) { audio_disable = AValue; }
  bool DisableVideo() const { return video_disable; }
  void SetDisableVideo(bool AValue) { video_disable = AValue; }
  bool DisableDisplay() const { return display_disable; }
  void SetDisableDisplay(bool AValue) { display_disable = AValue; }
  int FrameWidth() const { return frame_width; }
  void SetFrameWidth(int AValue) { frame_width = AValue; }
  int FrameHeight() const { return frame_height; }
  void SetFrameHeight(int AValue) { frame_height = AValue; }
  int ScreenWidth() const { return FScreenWidth; }
  void SetScreenWidth(int AValue) { FScreenWidth = AValue; }
  int ScreenHeight() const { return FScreenHeight; }
  void SetScreenHeight(int AValue) { FScreenHeight = AValue; }
  bool Hook() const { return FHook; }
  void SetHook(bool AValue) { FHook = AValue; }
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }
  TVideoDriver VideoDriver() const { return FVideoDriver; }
  void SetVideoDriver(TVideoDriver AValue) { FVideoDriver = AValue; }
  std::string Format() const { return FFormat; }
  // Needs the libraries (else LastErrMsg "libav or libsdl not loaded."); an unknown name
  // throws std::runtime_error "Unknown input format: <name>".
  void SetFormat(const std::string& AValue);
  std::string FileName() const;
  std::string LastErrMsg() const;
  TRenderTarget* ScreenHandle() const { return FScreenHandle; }
  bool FullScreen() const { return is_full_screen; }
  void SetFullScreen(bool AValue) { is_full_screen = AValue; }
  // -1 when not playing; writing switches streams while playing.
  int AudioStreamIndex() const;
  void SetAudioStreamIndex(int AValue);
  int VideoStreamIndex() const;
  void SetVideoStreamIndex(int AValue);
  int SubtitleStreamIndex() const;
  void SetSubtitleStreamIndex(int AValue);
  // Describes the playing file between OnFileOpen and the next Open / Stop with waiting.
  TMediaProbe& MediaProbe() { return *FMediaProbe; }
  int64_t CurrentPTS() const { return FCurrentPTS; }
  bool Paused() const;
  TPlayState PlayState() const { return FPlayState; }
  int64_t PlayTime() const { return FPlayTime; }
  void SetPlayTime(int64_t AValue) { FPlayTime = AValue; }
  TRepeatType RepeatType() const { return FRepeatType; }
  void SetRepeatType(TRepeatType AValue) { FRepeatType = AValue; }
  bool Seeking() const { return FSeeking; }
  TShowAudio ShowAudio() const { return FShowAudio; }
  void SetShowAudio(TShowAudio AValue);
  bool VerticalFlip() const { return FVerticalFlip; }
  void SetVerticalFlip(bool AValue) { FVerticalFlip = AValue; }
  std::string VideoFilters() const;
  void SetVideoFilters(const std::string& AValue);

  // Handlers; set them from the main thread.
  void SetOnFileOpen(TFileOpenEvent AHandler);
  void SetOnHook(THookEvent AHandler);
  void SetOnPosition(TPositionEvent AHandler);
  void SetOnState(TPlayStateEvent AHandler);

  // ---- playback-core options (read when a file opens) ----
  std::atomic<bool> is_full_screen{false};
  std::atomic<int> wanted_audio_stream{-1};     // n-th audio stream, -1: the best one
  std::atomic<int> wanted_video_stream{-1};
  std::atomic<int> wanted_subtitle_stream{-1};
  std::atomic<int> seek_by_bytes{-1};           // -1: decided by the format
  std::atomic<int64_t> start_time{NoTimeStamp};  // microseconds to start at
  std::atomic<int> workaround_bugs{1};
  std::atomic<int> debug_mv{0};  // kept for callers; the current decoders ignore it
  std::atomic<int> debug{0};
  std::atomic<bool> fast{false};
  std::atomic<bool> genpts{false};
  std::atomic<int> decoder_reorder_pts{-1};
  std::atomic<int> framedrop{1};
  std::atomic<int> rdftspeed{20};  // milliseconds between visualisation updates
  std::atomic<int> lowres{0};
  std::atomic<int> idct_algo{0};
  std::atomic<int> skip_frame{0};        // the library's AVDiscard values
  std::atomic<int> skip_idct{0};
  std::atomic<int> skip_loop_filter{0};
  std::atomic<int> error_recognition{1};
  std::atomic<int> error_concealment{3};
  std::atomic<int> sws_flags{4};  // bicubic
  std::atomic<AVPixelFormat> frame_pix_fmt{AV_PIX_FMT_NONE};
  std::atomic<int> frame_width{0};
  std::atomic<int> frame_height{0};
  std::atomic<bool> audio_disable{false};
  std::atomic<bool> video_disable{false};
  std::atomic<bool> display_disable{false};
  std::atomic<int> fs_screen_width{0};  // full-screen size, 0 when unknown
  std::atomic<int> fs_screen_height{0};
  std::atomic<Tav_sync_type> av_sync_type{AV_SYNC_AUDIO_MASTER};

protected:
  friend class TVideoState;

  // Log at a library level with the player as sender; Error also stores LastErrMsg.
  void Log(int ALibraryLevel, const std::string& AMsg);
  void Error(const std::string& AMsg);
  void SetLastErrMsg(const std::string& AMsg);

private:
  // The parts of the component run by the core's threads.
  void SetPlayState(TPlayState AState, TPlaySession* ASession);
  void HandlePositionAndEnd(TVideoState* AState);
  void StopCore(TVideoState* AState);
  void SeekCore(TVideoState* AState, int64_t APTS, TSeekFlags ASeekFlags);
  void TogglePauseCore(TVideoState* AState);
  void RunHook(TVideoState* AState, TPicture& APicture, int AWidth, int AHeight, double APts);
  void ResetPlaySettings();
  void ShutdownPlayback();
  void TakeClosedContext(AVFormatContext* AContext);
  void ReleaseClosedContext();
  bool InitSDLAudio(TRenderTarget* ATarget);
  void QuitSDLAudio();

  TVideoState* StreamOpen(const std::string& AFileName, bool APaused, TPlaySession* ASession);
  void PlayThread(TPlaySession* ASession);
  void EventThread(TPlaySession* ASession);
  void Deliver(TPlaySession* ASession, const TPlayEventSlot& AEvent);
  void RaiseFileOpen(TVideoState* AState);
  void WaitForStop(TPlaySession* ASession);
  void JoinEndedSessions();
  void WaitForSeekEnd(bool AHasVideo);
  bool OnPlayerThread() const;  // the caller is one of this player's threads
  void SelectStream(int AKind, int AIndex);

  std::unique_ptr<TMediaProbe> FMediaProbe;
  std::unique_ptr<TRGBConvertContext> FRGBContext;   // snapshots, main thread
  std::unique_ptr<TRGBConvertContext> FHookContext;  // hook, video decoder thread
  TMemoryRenderTarget FOwnTarget;  // used when Open is given no target

  // The core of the open file. Written under FCoreLock by Open and by the shutdown (which the
  // play thread runs, or Stop's caller while it holds FDataLock); the play thread reads it
  // under FDataLock, the operations under FCoreLock.
  std::atomic<TVideoState*> FVideoState{nullptr};
  mutable std::mutex FCoreLock;
  std::timed_mutex FDataLock;  // held by the play thread per display event, by Stop meanwhile
  TManualEvent FSeekEvent{true};  // set while no seek is pending
  TManualEvent FPictEvent{true};  // set when a picture was queued, on read errors and at end
  TManualEvent FStopEvent{true};  // set when the play thread has ended

  // Sessions (one per opened file: its play and event threads and queues) not joined yet;
  // the last one opened is FSession. Touched by the threads calling operations.
  std::mutex FSessionsLock;  // protects FSessions and FSession
  std::list<std::shared_ptr<TPlaySession>> FSessions;
  std::shared_ptr<TPlaySession> FSession;

  std::mutex FProbeLock;  // protects FClosedContext
  AVFormatContext* FClosedContext = nullptr;  // the ended file's context, still in the probe

  mutable std::mutex FHandlerLock;  // protects the four handlers
  TFileOpenEvent FOnFileOpen;
  THookEvent FOnHook;
  TPositionEvent FOnPosition;
  TPlayStateEvent FOnState;

  mutable std::mutex FTextLock;  // protects FLastErrMsg, FFileName, FVideoFilters
  std::string FLastErrMsg;
  std::string FFileName;
  std::string FVideoFilters;
  std::string FFormat;  // main thread
  const AVInputFormat* FInputFormat = nullptr;
  TRenderTarget* FScreenHandle = nullptr;
  TRenderTarget* FRenderTarget = nullptr;  // FScreenHandle or FOwnTarget
  std::atomic<bool> FSDLAudioInited{false};  // this player holds SDL's sound subsystem
  bool FAudioAvailable = false;  // SDL's sound started for this file

  std::atomic<float> FAspectRatio{0};
  std::atomic<TAudioDriver> FAudioDriver{adDefault};
  std::atomic<TVideoDriver> FVideoDriver{vdDefault};
  std::atomic<int> FAudioVolume{128};
  std::atomic<bool> FMute{false};
  std::atomic<int> FScreenWidth{0};
  std::atomic<int> FScreenHeight{0};
  std::atomic<bool> FHook{false};
  std::atomic<bool> FTriggerEventInMainThread{true};
  std::atomic<int64_t> FCurrentPTS{-1};
  std::atomic<TPlayState> FPlayState{psStop};
  std::atomic<int64_t> FPlayTime{NoTimeStamp};
  std::atomic<TRepeatType> FRepeatType{rtStop};
  std::atomic<bool> FSeeking{false};
  std::atomic<TShowAudio> FShowAudio{saWave};
  std::atomic<bool> FVerticalFlip{false};
  std::atomic<bool> FStepping{false};
  std::atomic<int64_t> FAudioCallbackTime{0};  // microseconds, of the last sound callback

  std::mutex FPositionLock;  // protects the position and end handling
  bool FPositionReported = false;
  int64_t FLastPosition = 0;
};

class TPreviewPlayer : public TCustomPlayer {
public:
  TPreviewPlayer() = default;
};
