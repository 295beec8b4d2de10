// TVideoState: life cycle, decoder components, stream switching, seek and pause requests.
#include "media/player_core.h"

#include <cmath>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {
thread_local const TCustomPlayer* t_player = nullptr;

// Old error-recognition levels (careful, compliant, aggressive) as the library's flags.
const int kErrorRecognitionFlags[] = {
    0,
    AV_EF_CAREFUL,
    AV_EF_CAREFUL | AV_EF_COMPLIANT,
    AV_EF_CAREFUL | AV_EF_COMPLIANT | AV_EF_AGGRESSIVE,
};
}  // namespace

void MarkPlayerThread(const TCustomPlayer* APlayer) { t_player = APlayer; }
const TCustomPlayer* PlayerOfThread() { return t_player; }

double NowSeconds() { return av_gettime_relative() / 1000000.0; }

void JoinPumping(std::thread& AThread, const std::atomic<bool>& ADone) {
  if (!AThread.joinable())
    return;
  if (IsMainThread() && MainThreadDispatcher())
    WaitPumping([&] { return ADone.load(); }, 5);
  AThread.join();
}

TVideoState::TVideoState(TCustomPlayer* AOwner, TPlaySession* ASession)
    : Owner(AOwner), Session(ASession) {
  audio_buf = audio_buf1;
}

TVideoState::~TVideoState() {
  for (TVideoPicture& vp : pictq)
    av_frame_free(&vp.bmp);
  for (TSubPicture& sp : subpq)
    FreeSubPicture(sp);
  av_frame_free(&shown);
  av_frame_free(&audio_frame);
  av_freep(&scale_buf);
  sws_freeContext(display_sws);
  av_tx_uninit(&rdft);
  av_freep(&rdft_data);
  av_freep(&rdft_out);
  swr_free(&reformat_ctx);
  av_channel_layout_uninit(&audio_src_layout);
  avfilter_graph_free(&graph);
}

bool TVideoState::StartReader() {
  try {
    parse_tid = std::thread([this] {
      MarkPlayerThread(Owner);
      ReadThread();
      parse_done = true;
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void TVideoState::StartRefresh() {
  refresh_tid = std::thread([this] {
    MarkPlayerThread(Owner);
    RefreshThread();
    refresh_done = true;
  });
}

void TVideoState::Close() {
  abort_request = true;
  JoinPumping(parse_tid, parse_done);
  JoinPumping(refresh_tid, refresh_done);
  std::lock_guard lock(pictq_mutex);
  for (TVideoPicture& vp : pictq) {
    av_frame_free(&vp.bmp);
    vp.allocated = false;
  }
}

void TVideoState::ApplyDecoderOptions(AVCodecContext* ACtx, const AVCodec* ACodec) {
  ACtx->debug = Owner->debug;
  ACtx->workaround_bugs = Owner->workaround_bugs;
  int lowres = Owner->lowres;
  if (ACodec && lowres > ACodec->max_lowres)
    lowres = ACodec->max_lowres;
  ACtx->lowres = lowres > 0 ? lowres : 0;
  ACtx->idct_algo = Owner->idct_algo;
  if (Owner->fast)
    ACtx->flags2 |= AV_CODEC_FLAG2_FAST;
  ACtx->skip_frame = static_cast<AVDiscard>(Owner->skip_frame.load());
  ACtx->skip_idct = static_cast<AVDiscard>(Owner->skip_idct.load());
  ACtx->skip_loop_filter = static_cast<AVDiscard>(Owner->skip_loop_filter.load());
  int level = std::clamp(Owner->error_recognition.load(), 0, 3);
  ACtx->err_recognition = kErrorRecognitionFlags[level];
  ACtx->error_concealment = Owner->error_concealment;
  ACtx->thread_count = 1;
}

bool TVideoState::StreamComponentOpen(int AStreamIndex) {
  if (AStreamIndex < 0 || AStreamIndex >= static_cast<int>(ic->nb_streams))
    return false;
  AVStream* st = ic->streams[AStreamIndex];
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  int r = ctx ? avcodec_parameters_to_context(ctx, st->codecpar) : AVERROR(ENOMEM);
  if (r >= 0) {
    ctx->pkt_timebase = st->time_base;
    ApplyDecoderOptions(ctx, codec);
    std::lock_guard lock(CodecLock());
    r = codec ? avcodec_open2(ctx, codec, nullptr) : AVERROR_DECODER_NOT_FOUND;
  }
  auto release = [&ctx] {
    std::lock_guard lock(CodecLock());
    avcodec_free_context(&ctx);
  };
  if (r < 0) {
    Owner->Log(AV_LOG_ERROR, "avcodec_open() failed.");
    release();
    return false;
  }

  if (ctx->codec_type == AVMEDIA_TYPE_AUDIO) {
    // Output is signed 16-bit; more than two channels are mixed down to two.
    int channels = ctx->ch_layout.nb_channels;
    if (channels < 1 || channels > 2)
      channels = 2;
    if (!Owner->FAudioAvailable) {
      Owner->Log(AV_LOG_ERROR, std::string("SDL_OpenAudio() failed: ") + "no sound device");
      release();
      return false;
    }
    SDL_AudioSpec wanted{}, spec{};
    wanted.freq = ctx->sample_rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.silence = 0;
    wanted.samples = SDL_AUDIO_BUFFER_SIZE;
    wanted.callback = AudioCallback;
    wanted.userdata = this;
    audio_dev = ctx->sample_rate > 0 ? SDL_OpenAudioDevice(nullptr, 0, &wanted, &spec, 0) : 0;
    if (!audio_dev) {
      Owner->Log(AV_LOG_ERROR, std::string("SDL_OpenAudio() failed: ") +
                                   (ctx->sample_rate > 0 ? SDL_GetError() : "no sample rate"));
      release();
      return false;
    }
    audio_hw_buf_size = static_cast<int>(spec.size);
    audio_src_fmt = AV_SAMPLE_FMT_S16;
    audio_channels = channels;
    audio_freq = ctx->sample_rate;
  }

  st->discard = AVDISCARD_DEFAULT;
  switch (ctx->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      audio_st = st;
      audio_ctx = ctx;
      AudioDuration = st->duration != AV_NOPTS_VALUE
                          ? av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q)
                          : -1;
      audio_buf_size = 0;
      audio_buf_index = 0;
      audio_diff_avg_coef = std::exp(std::log10(0.01) / AUDIO_DIFF_AVG_NB);
      audio_diff_avg_count = 0;
      audio_diff_cum = 0;
      audio_diff_threshold = 2.0 * SDL_AUDIO_BUFFER_SIZE / ctx->sample_rate;
      audio_pkt_pending = false;
      audioq.Init();
      audioq.PutFlush();
      {
        std::lock_guard lock(streams_mutex);
        audio_stream = AStreamIndex;
      }
      SDL_PauseAudioDevice(audio_dev, 0);
      break;
    case AVMEDIA_TYPE_VIDEO:
      video_st = st;
      video_ctx = ctx;
      videoq.Init();
      videoq.PutFlush();
      {
        std::lock_guard lock(streams_mutex);
        video_stream = AStreamIndex;
      }
      video_done = false;
      video_tid = std::thread([this] {
        MarkPlayerThread(Owner);
        VideoThread();
        video_done = true;
      });
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      subtitle_st = st;
      subtitle_ctx = ctx;
      subtitleq.Init();
      subtitleq.PutFlush();
      {
        std::lock_guard lock(streams_mutex);
        subtitle_stream = AStreamIndex;
      }
      subtitle_done = false;
      subtitle_tid = std::thread([this] {
        MarkPlayerThread(Owner);
        SubtitleThread();
        subtitle_done = true;
      });
      break;
    default:
      st->discard = AVDISCARD_ALL;
      release();
      return false;
  }
  return true;
}

void TVideoState::StreamComponentClose(int AStreamIndex) {
  if (AStreamIndex < 0 || AStreamIndex >= static_cast<int>(ic->nb_streams))
    return;
  AVStream* st = ic->streams[AStreamIndex];
  AVCodecContext** ctx = nullptr;
  switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (AStreamIndex != audio_stream)
        return;
      {
        std::lock_guard lock(streams_mutex);
        audio_stream = -1;
      }
      audioq.Abort();
      SDL_CloseAudioDevice(audio_dev);  // returns after the last callback
      audio_dev = 0;
      audioq.End();
      swr_free(&reformat_ctx);
      av_frame_free(&audio_frame);
      audio_st = nullptr;
      AudioDuration = -1;
      ctx = &audio_ctx;
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (AStreamIndex != video_stream)
        return;
      {
        std::lock_guard lock(streams_mutex);
        video_stream = -1;
      }
      videoq.Abort();
      {
        std::lock_guard lock(pictq_mutex);
        pictq_cond.notify_all();
      }
      JoinPumping(video_tid, video_done);
      videoq.End();
      video_st = nullptr;
      ctx = &video_ctx;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      if (AStreamIndex != subtitle_stream)
        return;
      {
        std::lock_guard lock(streams_mutex);
        subtitle_stream = -1;
      }
      subtitleq.Abort();
      {
        std::lock_guard lock(subpq_mutex);
        subtitle_stream_changed = true;
        subpq_cond.notify_all();
      }
      JoinPumping(subtitle_tid, subtitle_done);
      subtitleq.End();
      subtitle_st = nullptr;
      ctx = &subtitle_ctx;
      break;
    default:
      return;
  }
  st->discard = AVDISCARD_ALL;
  std::lock_guard lock(CodecLock());
  avcodec_free_context(ctx);
}

void TVideoState::StreamCycle(int AKind, int AIndex) {
  auto fail = [this](const char* AText) { Owner->Log(AV_LOG_ERROR, AText); };
  const int count = static_cast<int>(ic->nb_streams);
  int current;
  switch (AKind) {
    case AVMEDIA_TYPE_AUDIO: current = audio_stream; break;
    case AVMEDIA_TYPE_VIDEO: current = video_stream; break;
    case AVMEDIA_TYPE_SUBTITLE: current = subtitle_stream; break;
    default: return fail("the stream type is invalid.");
  }
  const bool subtitle = AKind == AVMEDIA_TYPE_SUBTITLE;
  if ((current < 0 && !subtitle) || current >= count)
    return fail("the current stream is not valid.");
  if ((AIndex < 0 && !(subtitle && AIndex == -1)) || AIndex >= count)
    return fail("the stream index is not valid.");
  if (AIndex == current)
    return;
  if (AIndex >= 0) {
    const AVCodecParameters* par = ic->streams[AIndex]->codecpar;
    if (par->codec_type != AKind)
      return fail("the stream type is not matched.");
    if (AKind == AVMEDIA_TYPE_AUDIO && (par->sample_rate == 0 || par->ch_layout.nb_channels == 0))
      return fail("the audio stream is not invalid.");
  }
  StreamComponentClose(current);
  StreamComponentOpen(AIndex);
}

void TVideoState::RequestSeek(int64_t APos, int64_t ARel, int AFlags) {
  std::lock_guard lock(seek_mutex);
  if (seek_req)
    return;
  Owner->FSeeking = true;
  seek_paused = paused.load();
  seek_pos = APos;
  seek_rel = ARel;
  seek_flags = AFlags & (AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE | AVSEEK_FLAG_ANY | AVSEEK_FLAG_FRAME);
  Owner->FSeekEvent.Reset();
  seek_req = true;
}

void TVideoState::TogglePause() {
  if (paused) {
    const double now = NowSeconds();
    {
      std::lock_guard lock(pictq_mutex);
      frame_timer += now + video_current_pts_drift - video_current_pts;
    }
    if (read_pause_return != AVERROR(ENOSYS))
      video_current_pts = video_current_pts_drift + now;
    video_current_pts_drift = video_current_pts - now;
    paused = false;
  } else {
    if (video_st) {
      if (!Owner->FPictEvent.WaitFor(250))
        Owner->FPictEvent.Set();
      // A seek whose first picture has not come yet still gets it: the decoder goes on until
      // that picture, as for a seek requested while paused.
      std::lock_guard lock(seek_mutex);
      if (seek_req || seek_done)
        seek_paused = true;
    }
    paused = true;
  }
}
