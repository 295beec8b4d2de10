// The refresh thread and the video refresh it triggers on the play thread, the clocks, and the
// subtitle decoder thread.
#include "media/player_core.h"

#include <chrono>
#include <thread>

extern "C" {
#include <libavutil/time.h>
}

namespace {
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

// ---- clocks (seconds) ----

double TVideoState::GetAudioClock() const {
  double pts = audio_clock;
  const int hw_buf_size = audio_buf_size - audio_buf_index;
  const int bytes_per_sec = audio_freq * 2 * audio_channels;
  if (bytes_per_sec)
    pts -= static_cast<double>(hw_buf_size) / bytes_per_sec;
  return pts;
}

double TVideoState::GetVideoClock() const {
  if (paused)
    return video_current_pts;
  const double drift = video_current_pts_drift;
  if (drift == 0)
    return StartTime / 1000000.0;
  return drift + NowSeconds();
}

double TVideoState::GetExternalClock() const {
  return external_clock + (av_gettime_relative() - external_clock_time) * 0.000001;
}

double TVideoState::GetMasterClock() const {
  switch (av_sync_type) {
    case AV_SYNC_VIDEO_MASTER:
      return video_st ? GetVideoClock() : GetAudioClock();
    case AV_SYNC_AUDIO_MASTER:
      return audio_st ? GetAudioClock() : GetVideoClock();
    default:
      return GetExternalClock();
  }
}

// ---- refresh ----

void TVideoState::RefreshThread() {
  while (!abort_request) {
    if (!refresh.exchange(true))
      Session->display_events.Push(deRefresh);
    int ms = audio_st && show_audio ? std::max(1, Owner->rdftspeed.load()) : 5;
    for (; ms > 0 && !abort_request; ms -= 10)
      SleepMs(std::min(ms, 10));
  }
}

void TVideoState::VideoRefresh(bool AAdvance) {
  FlushAudioLog();
  bool dropped = false;
  if (video_st) {
    for (;;) {
      TVideoPicture* vp = nullptr;
      int size;
      double target = 0, next_target = 0;
      {
        std::lock_guard lock(pictq_mutex);
        size = pictq_size;
        if (size > 0) {
          vp = &pictq[pictq_rindex];
          target = vp->target_clock;
          if (size > 1)
            next_target = pictq[(pictq_rindex + 1) % VIDEO_PICTURE_QUEUE_SIZE].target_clock;
          else
            next_target = target + video_clock - vp->pts;
        }
      }
      if (size == 0) {
        if (!AAdvance)
          Display();
        break;
      }
      const double now = NowSeconds();
      if (now < target)
        return;
      video_current_pts = vp->pts;
      video_current_pts_drift = vp->pts - now;
      video_current_pos = vp->pos;
      if (seek_done || (Owner->framedrop && now > next_target && !IsDevice)) {
        skip_frames = skip_frames * (1.0 + FRAME_SKIP_FACTOR);
        if (size > 1 || now > next_target + 0.5 || seek_done) {
          std::lock_guard lock(pictq_mutex);
          pictq_rindex = (pictq_rindex + 1) % VIDEO_PICTURE_QUEUE_SIZE;
          --pictq_size;
          pictq_cond.notify_all();
          dropped = true;
          continue;
        }
      }

      if (subtitle_stream_changed) {
        std::lock_guard lock(subpq_mutex);
        while (subpq_size > 0) {
          FreeSubPicture(subpq[subpq_rindex]);
          subpq_rindex = (subpq_rindex + 1) % SUBPICTURE_QUEUE_SIZE;
          --subpq_size;
        }
        subtitle_stream_changed = false;
        subpq_cond.notify_all();
      } else if (subtitle_st) {
        std::lock_guard lock(subpq_mutex);
        if (subpq_size > 0) {
          TSubPicture* sp = &subpq[subpq_rindex];
          TSubPicture* sp2 =
              subpq_size > 1 ? &subpq[(subpq_rindex + 1) % SUBPICTURE_QUEUE_SIZE] : nullptr;
          const double pts = video_current_pts;
          if (pts > sp->pts + sp->sub.end_display_time / 1000.0 ||
              (sp2 && pts > sp2->pts + sp2->sub.start_display_time / 1000.0)) {
            FreeSubPicture(*sp);
            subpq_rindex = (subpq_rindex + 1) % SUBPICTURE_QUEUE_SIZE;
            --subpq_size;
            subpq_cond.notify_all();
          }
        }
      }

      Display(vp);
      if (AAdvance) {
        std::lock_guard lock(pictq_mutex);
        pictq_rindex = (pictq_rindex + 1) % VIDEO_PICTURE_QUEUE_SIZE;
        --pictq_size;
        pictq_cond.notify_all();
      }
      break;
    }
  } else if (audio_st) {
    Display();
  }
  if (!dropped)
    Owner->HandlePositionAndEnd(this);
}

// ---- subtitles ----

void TVideoState::FreeSubPicture(TSubPicture& ASub) { avsubtitle_free(&ASub.sub); }

void TVideoState::SubtitleThread() {
  for (;;) {
    while (paused && !subtitleq.abort_request() && !seek_paused)
      SleepMs(10);
    TQueuedPacket qp;
    if (subtitleq.Get(qp, true) < 0)
      break;
    if (qp.flush) {
      avcodec_flush_buffers(subtitle_ctx);
      TPacketQueue::Release(qp);
      continue;
    }
    {
      std::unique_lock lock(subpq_mutex);
      subpq_cond.wait(lock, [this] {
        return subpq_size < SUBPICTURE_QUEUE_SIZE || subtitleq.abort_request();
      });
    }
    if (subtitleq.abort_request()) {
      TPacketQueue::Release(qp);
      break;
    }
    TSubPicture* sp = &subpq[subpq_windex];  // not in the queue, so this thread's alone
    double pts = qp.pkt->pts != AV_NOPTS_VALUE ? av_q2d(subtitle_st.load()->time_base) * qp.pkt->pts : 0;
    int got = 0;
    int r = avcodec_decode_subtitle2(subtitle_ctx, &sp->sub, &got, qp.pkt);
    TPacketQueue::Release(qp);
    if (r >= 0 && got && sp->sub.format == 0) {
      sp->pts = pts;
      for (unsigned i = 0; i < sp->sub.num_rects; ++i) {
        AVSubtitleRect* rect = sp->sub.rects[i];
        if (rect->data[1])
          PaletteToYCbCr(reinterpret_cast<uint32_t*>(rect->data[1]), rect->nb_colors);
      }
      std::lock_guard lock(subpq_mutex);
      subpq_windex = (subpq_windex + 1) % SUBPICTURE_QUEUE_SIZE;
      ++subpq_size;
    } else if (got) {
      avsubtitle_free(&sp->sub);  // text subtitles are not drawn
    }
  }
}
