// The component's threads and the parts of it the core calls: the play thread with the display
// event loop, the event thread, play states, position and end handling, the hook, the core's
// pause/stop/seek steps and the shutdown of playback.
#include "media/player_core.h"

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
}

void TCustomPlayer::SetPlayState(TPlayState AState, TPlaySession* ASession) {
  FPlayState = AState;
  bool has_handler;
  {
    std::lock_guard lock(FHandlerLock);
    has_handler = static_cast<bool>(FOnState);
  }
  if (!ASession)
    return;
  if (has_handler)
    ASession->play_events.Push(pkState, AState);
  else if (AState == psStop)
    ASession->play_events.Push(pkEndOfDelivery, 0);
}

void TCustomPlayer::PlayThread(TPlaySession* ASession) {
  MarkPlayerThread(this);
  SetPlayState(psPlay, ASession);
  try {
    for (bool running = true; running;) {
      TDisplayEvent event;
      const bool got = ASession->display_events.WaitPop(event, 100);
      std::lock_guard data(FDataLock);
      TVideoState* is = FVideoState;
      if (!is || ASession->core_gone)
        break;  // shut down by Stop's caller
      if (!got)
        continue;
      switch (event.Kind) {
        case deQuit:
          ShutdownPlayback();
          running = false;
          break;
        case deResize:
          is->Resize(event.Width, event.Height);
          break;
        case deExpose:
          is->Display();
          break;
        case deAllocPicture:
          is->AllocPicture();
          break;
        case deRefresh:
          is->VideoRefresh(true);
          is->refresh = false;
          break;
        case deRedisplay:
          is->OpenDisplay(true);
          is->Display();
          break;
        case deClear:
          is->ClearDisplay();
          break;
      }
    }
  } catch (const std::exception& e) {
    LoggerInstance().Log(this, llFatal, std::string("PlayThread Exception: ") + e.what());
    std::lock_guard data(FDataLock);
    ShutdownPlayback();
  }
  SetPlayState(psStop, ASession);
  FStopEvent.Set();
  ASession->play_done = true;
}

// Raises the event's handler as it is when the call runs (a handler cleared meanwhile, for
// instance by a window that is closing, is not called).
void TCustomPlayer::Deliver(TPlaySession* ASession, const TPlayEventSlot& AEvent) {
  auto call = [&] {
    TPositionEvent on_position;
    TPlayStateEvent on_state;
    {
      std::lock_guard lock(FHandlerLock);
      if (AEvent.Kind == pkPosition)
        on_position = FOnPosition;
      else
        on_state = FOnState;
    }
    ++ASession->handler_depth;
    try {
      if (on_position)
        on_position(this, AEvent.Value);
      else if (on_state)
        on_state(this, static_cast<TPlayState>(AEvent.Value));
    } catch (const std::exception& e) {
      LoggerInstance().Log(this, llError, std::string("Error occurs in event handler: ") + e.what());
    }
    --ASession->handler_depth;
  };
  if (FTriggerEventInMainThread)
    RunInMainThread(call);
  else
    call();
}

void TCustomPlayer::EventThread(TPlaySession* ASession) {
  for (;;) {
    const TPlayEventSlot event = ASession->play_events.Take();
    if (event.Kind == pkNone) {
      ASession->play_events.WaitFor(100);
      continue;
    }
    if (event.Kind == pkEndOfDelivery)
      break;
    Deliver(ASession, event);
    if (event.Kind == pkState && event.Value == psStop)
      break;
  }
  ASession->event_done = true;
}

void TCustomPlayer::HandlePositionAndEnd(TVideoState* AState) {
  TVideoState* is = AState;
  if (is->IsImage2)
    return;
  std::lock_guard lock(FPositionLock);
  int64_t p;
  if (is->video_st) {
    p = std::llround(is->GetVideoClock() * 1000000) - is->StartTime;
  } else if (is->audio_st) {
    p = std::llround(is->GetAudioClock() * 1000000) - is->StartTime;
    const int64_t audio_duration = is->AudioDuration;
    if (audio_duration >= 0 && p >= audio_duration && p < is->Duration)
      p = is->Duration;
  } else {
    return;
  }
  FCurrentPTS = p;
  if (is->Duration > 0 && p >= is->Duration) {
    p = is->Duration;
    if (FLastPosition != is->Duration)
      FPositionReported = false;  // report the final position
  }
  if (!FPositionReported || std::llabs(p - FLastPosition) > 10000) {
    FLastPosition = p;
    FPositionReported = true;
    bool has_handler;
    {
      std::lock_guard handlers(FHandlerLock);
      has_handler = static_cast<bool>(FOnPosition);
    }
    if (has_handler)
      is->Session->play_events.Push(pkPosition, p);
  }
  if (!is->IsDevice && !is->EventEOF && is->EndOfInput()) {
    if (is->video_st)
      is->EventEOF = true;
    SetPlayState(psEnd, is->Session);
  }
  const int64_t play_time = FPlayTime;
  if (play_time != NoTimeStamp) {
    const int64_t start = start_time;
    if (p >= (start != NoTimeStamp ? start : 0) + play_time) {
      switch (FRepeatType.load()) {
        case rtStop:
          StopCore(is);
          break;
        case rtLoop:
          if (start != NoTimeStamp)
            SeekCore(is, start, 0);
          else
            SeekCore(is, 0, sfAny);
          break;
        case rtNone:
          break;
      }
    }
  }
}

void TCustomPlayer::TogglePauseCore(TVideoState* AState) {
  if (!FSeekEvent.WaitFor(250))
    FSeekEvent.Set();
  if (AState)
    AState->TogglePause();
}

void TCustomPlayer::StopCore(TVideoState* AState) {
  if (AState->paused) {
    TogglePauseCore(AState);
    FStepping = false;
  }
  AState->Session->display_events.Push(deQuit);
}

void TCustomPlayer::SeekCore(TVideoState* AState, int64_t APTS, TSeekFlags ASeekFlags) {
  int64_t target, rel;
  if (ASeekFlags & sfByte) {
    target = APTS;
    rel = 0;
  } else {
    // The limit needs a known duration; without one the target stands as given.
    target = AState->Duration >= 0 ? std::min(APTS, AState->Duration) : APTS;
    target += AState->StartTime;
    rel = APTS <= 0 ? 1 : 0;
  }
  AState->RequestSeek(target, rel, static_cast<int>(ASeekFlags));
}

void TCustomPlayer::RunHook(TVideoState* AState, TPicture& APicture, int AWidth, int AHeight,
                            double APts) {
  THookEvent handler;
  {
    std::lock_guard lock(FHandlerLock);
    handler = FOnHook;
  }
  if (!handler)
    return;
  if (!FHookContext)
    FHookContext = std::make_unique<TRGBConvertContext>();
  if (!FHookContext->PictureToBitmap(APicture, AV_PIX_FMT_YUV420P, AWidth, AHeight)) {
    Log(AV_LOG_ERROR, "Cannot initialize the toRGB conversion context");
    return;
  }
  TBitmap24& bitmap = *FHookContext->Bitmap;
  try {
    std::lock_guard canvas(bitmap.Canvas());
    handler(this, bitmap, std::llround(APts * 1000000) - AState->StartTime);
  } catch (const std::exception& e) {
    Log(AV_LOG_ERROR, std::string("Error occurs OnHook: ") + e.what());
    return;
  }
  if (!FHookContext->BitmapToPicture(APicture, AV_PIX_FMT_YUV420P, AWidth, AHeight))
    Log(AV_LOG_ERROR, "Cannot initialize the fromRGB conversion context");
}

void TCustomPlayer::ResetPlaySettings() {
  FCurrentPTS = -1;
  {
    std::lock_guard lock(FPositionLock);
    FPositionReported = false;
    FLastPosition = 0;
  }
  FStepping = false;
  wanted_audio_stream = -1;
  wanted_video_stream = -1;
  wanted_subtitle_stream = -1;
  seek_by_bytes = -1;
  start_time = NoTimeStamp;
  FPlayTime = NoTimeStamp;
  FRepeatType = rtStop;
  FVerticalFlip = false;
  FSeeking = false;
  FSeekEvent.Set();
}

// Runs on the play thread, or on Stop's caller while it holds FDataLock.
void TCustomPlayer::ShutdownPlayback() {
  TVideoState* is;
  {
    std::lock_guard lock(FCoreLock);
    is = FVideoState.exchange(nullptr);
  }
  if (is) {
    is->Session->core_gone = true;
    is->Close();
    delete is;
  }
  ResetPlaySettings();
  FPictEvent.Set();  // waiting seeks end
}

void TCustomPlayer::TakeClosedContext(AVFormatContext* AContext) {
  std::lock_guard lock(FProbeLock);
  if (FClosedContext) {  // never expected: the main thread releases each before the next open
    FMediaProbe->SetFileHandle(nullptr);
    avformat_close_input(&FClosedContext);
  }
  FClosedContext = AContext;
}

void TCustomPlayer::ReleaseClosedContext() {
  std::lock_guard lock(FProbeLock);
  if (!FClosedContext)
    return;
  if (FMediaProbe->FileHandle() == FClosedContext)
    FMediaProbe->SetFileHandle(nullptr);
  avformat_close_input(&FClosedContext);
}
