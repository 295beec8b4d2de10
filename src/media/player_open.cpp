// TCustomPlayer: opening a file (SDL's sound, the core, the file-open event, the threads) and
// stopping it (waiting for the threads, the forced shutdown, joining ended sessions).
#include "media/player_core.h"

#include <cstdio>
#include <stdexcept>

// ---- SDL sound ----

bool TCustomPlayer::InitSDLAudio(TRenderTarget* ATarget) {
  const char* driver = AudioDriverName(FAudioDriver);
  if (*driver)
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
  else
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);  // SDL_AUDIODRIVER from the environment decides
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    // Without sound the file still plays; the failure only goes to the log.
    char text[512];
    std::snprintf(text, sizeof text, "Could not initialize SDL with ScreenHandle(%u): %s",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(ATarget)), SDL_GetError());
    Log(AV_LOG_WARNING, text);
    return false;
  }
  FSDLAudioInited = true;
  if (const char* name = SDL_GetCurrentAudioDriver())
    Log(AV_LOG_DEBUG, std::string("using audio driver: ") + name + "\n");
  return true;
}

void TCustomPlayer::QuitSDLAudio() {
  if (FSDLAudioInited.exchange(false))
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// ---- open ----

TVideoState* TCustomPlayer::StreamOpen(const std::string& AFileName, bool APaused,
                                       TPlaySession* ASession) {
  auto* is = new (std::nothrow) TVideoState(this, ASession);
  if (!is) {
    Error("av_mallocz() failed.");
    return nullptr;
  }
  if (APaused) {
    is->paused = true;
    is->open_paused = 1;
    FStepping = false;
  }
  is->filename = AFileName;
  is->iformat = FInputFormat;
  is->av_sync_type = av_sync_type;
  if (!is->StartReader()) {
    Error("SDL_CreateThread() failed.");
    delete is;
    return nullptr;
  }
  WaitPumping([is] { return is->OpenedEvent.IsSet(); }, 10);
  if (is->Opened == 1) {
    {
      std::lock_guard lock(FCoreLock);
      FVideoState = is;
    }
    if (!is->video_st && !display_disable)
      is->show_audio = FShowAudio.load();
    is->StartRefresh();
    return is;
  }
  JoinPumping(is->parse_tid, is->parse_done);
  delete is;
  ResetPlaySettings();
  return nullptr;
}

void TCustomPlayer::RaiseFileOpen(TVideoState* AState) {
  if (FRGBContext)
    FRGBContext->Reset();
  if (FHookContext)
    FHookContext->Reset();
  const int64_t duration = AState->IsImage2 ? 0 : AState->Duration;
  int frame_width = -1, frame_height = -1;
  if (AState->video_ctx && AState->video_ctx->width > 0) {
    frame_width = AState->video_ctx->width;
    frame_height = AState->video_ctx->height;
  }
  TFileOpenEvent handler;
  {
    std::lock_guard lock(FHandlerLock);
    handler = FOnFileOpen;
  }
  if (handler) {
    auto call = [&] {
      int w = FScreenWidth, h = FScreenHeight;
      try {
        handler(this, duration, frame_width, frame_height, w, h);
      } catch (const std::exception& e) {
        Log(AV_LOG_ERROR, std::string("Error occurs in event handler: ") + e.what());
      }
      FScreenWidth = w;
      FScreenHeight = h;
    };
    if (FTriggerEventInMainThread)
      RunInMainThread(call);
    else
      call();
  }
  if (FScreenHandle && (FScreenWidth == 0 || FScreenHeight == 0)) {
    FScreenWidth = FScreenHandle->Width();
    FScreenHeight = FScreenHandle->Height();
  }
}

bool TCustomPlayer::Open(const std::string& AFileName, TRenderTarget* ARenderTarget, bool APaused) {
  if (OnPlayerThread())
    throw std::logic_error("Cannot Open from a thread of the player.");
  if (!AVLibLoaded()) {
    Error("libav or libsdl not loaded.");
    return false;
  }
  Stop(true);
  FAudioAvailable = InitSDLAudio(ARenderTarget);
  if (display_disable)
    video_disable = true;

  auto session = std::make_shared<TPlaySession>();
  FRenderTarget = ARenderTarget ? ARenderTarget : &FOwnTarget;
  FScreenHandle = ARenderTarget;
  FSeekEvent.Set();
  FPictEvent.Set();
  TVideoState* is = StreamOpen(AFileName, APaused, session.get());
  if (!is) {
    QuitSDLAudio();
    return false;
  }
  {
    std::lock_guard lock(FTextLock);
    FFileName = AFileName;
  }
  {
    std::lock_guard lock(FProbeLock);
    FMediaProbe->SetFileHandle(is->ic);
  }
  RaiseFileOpen(is);

  FStopEvent.Reset();
  {
    std::lock_guard lock(FSessionsLock);
    FSessions.push_back(session);
    FSession = session;
  }
  TPlaySession* s = session.get();
  try {
    // Not marked as a player thread: a handler delivered here may stop the file or open the
    // next one (it only cannot wait for this thread itself).
    s->event_thread = std::thread([this, s] { EventThread(s); });
    s->play_thread = std::thread([this, s] { PlayThread(s); });
  } catch (const std::system_error&) {
    // Without a play thread the file is shut down here; psStop ends the event thread.
    {
      std::lock_guard data(FDataLock);
      ShutdownPlayback();
    }
    SetPlayState(psStop, s);
    FStopEvent.Set();
    s->play_done = true;
    if (!s->event_thread.joinable())
      s->event_done = true;
    Error("SDL_CreateThread() failed.");
    Stop(true);
    return false;
  }
  return true;
}

// ---- stop ----

void TCustomPlayer::WaitForStop(TPlaySession* ASession) {
  int rounds = 0;
  for (;;) {
    if (FStopEvent.WaitFor(100) || ASession->play_done)
      break;
    ProcessPendingMessages();
    if (ASession->core_gone || !FVideoState)
      break;
    if (!FDataLock.try_lock_for(std::chrono::milliseconds(100)))
      continue;
    ++rounds;
    TVideoState* is = FVideoState;
    if (is && (rounds <= 10 || (rounds <= 20 && !is->Reading)))
      ASession->display_events.Push(deQuit);
    else if (is)
      ShutdownPlayback();  // the play thread does not answer: shut down from here
    FDataLock.unlock();
  }
  // The play thread ends within its event wait once the core is gone.
  WaitPumping([ASession] { return ASession->play_done.load(); }, 5);
}

void TCustomPlayer::JoinEndedSessions() {
  std::list<std::shared_ptr<TPlaySession>> sessions;
  {
    std::lock_guard lock(FSessionsLock);
    sessions = FSessions;
  }
  for (const auto& session : sessions) {
    if (!session->play_done || session->handler_depth > 0)
      continue;  // still playing, or we are inside one of its handlers
    WaitPumping([&] { return session->event_done || session->handler_depth > 0; }, 5);
    if (!session->event_done)
      continue;  // a handler of it called us while we waited
    {
      std::lock_guard lock(FSessionsLock);
      if (session->play_thread.joinable())
        session->play_thread.join();
      if (session->event_thread.joinable())
        session->event_thread.join();
      FSessions.remove(session);
      if (FSession == session)
        FSession.reset();
    }
  }
}

void TCustomPlayer::Stop(bool AWaitForStop) {
  std::shared_ptr<TPlaySession> session;
  {
    std::lock_guard lock(FSessionsLock);
    session = FSession;
  }
  {
    std::lock_guard lock(FCoreLock);
    if (TVideoState* is = FVideoState)
      StopCore(is);
  }
  // Threads of the player cannot wait for themselves; the quit event is on its way.
  if (!AWaitForStop || OnPlayerThread())
    return;
  if (session)
    WaitForStop(session.get());
  JoinEndedSessions();
  ReleaseClosedContext();
  QuitSDLAudio();
}
