// The video decoder thread: decoding with time-stamp repair and frame skipping, the filter graph
// between decoder and display, and the picture queue with each picture's target time.
#include "media/player_core.h"

#include <chrono>
#include <cmath>
#include <thread>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace {
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

void TVideoState::VideoThread() {
  AVFrame* decoded = av_frame_alloc();
  AVFrame* filtered = av_frame_alloc();
  while (decoded && filtered) {
    while (paused && !videoq.abort_request() && !seek_paused && !open_paused)
      SleepMs(10);
    int r = GetFilteredPicture(filtered, decoded);
    if (r < 0)
      break;
    if (r == 0)
      continue;
    {
      std::lock_guard lock(seek_mutex);
      if (seek_done && seek_flushed) {  // the first picture after a seek
        seek_done = false;
        seek_paused = false;
      }
    }
    // A picture without a time stamp continues the video clock.
    AVRational tb = av_buffersink_get_time_base(out_video_filter);
    const bool has_pts = filtered->pts != AV_NOPTS_VALUE;
    double pts = has_pts ? filtered->pts * av_q2d(tb) : video_clock.load();
    r = QueuePicture(filtered, pts, filtered->pkt_pos);
    av_frame_unref(filtered);
    if (r < 0)
      break;
    Owner->FPictEvent.Set();
    EventEOF = false;
    if (Owner->FSeeking && !seek_req)
      Owner->FSeeking = false;
    if (open_paused > 1) {
      open_paused = 0;
      Owner->SetPlayState(psPause, Session);
    } else if (open_paused == 1) {
      open_paused = 2;
    }
    if (Owner->FStepping)
      Owner->TogglePauseCore(this);  // the next picture waits for the next step
  }
  av_frame_free(&decoded);
  av_frame_free(&filtered);
  avfilter_graph_free(&graph);
  in_video_filter = out_video_filter = nullptr;
  graph_ready = false;
}

// Returns -1 when aborted, 0 without a picture (flush, end of input, skipped), 1 with AFrame
// holding a picture whose pts is the chosen time stamp in stream units (none when the picture
// has neither a presentation nor a decoding time stamp).
int TVideoState::GetVideoFrame(AVFrame* AFrame) {
  for (;;) {
    int r = avcodec_receive_frame(video_ctx, AFrame);
    if (r >= 0) {
      const int64_t reordered = AFrame->pts, dts = AFrame->pkt_dts;
      if (dts != AV_NOPTS_VALUE) {
        faulty_dts += dts <= last_dts_for_fault_detection;
        last_dts_for_fault_detection = dts;
      }
      if (reordered != AV_NOPTS_VALUE) {
        faulty_pts += reordered <= last_pts_for_fault_detection;
        last_pts_for_fault_detection = reordered;
      }
      const int reorder = Owner->decoder_reorder_pts;
      int64_t pts;
      if ((reorder == 1 || (reorder && faulty_pts < faulty_dts) || dts == AV_NOPTS_VALUE) &&
          reordered != AV_NOPTS_VALUE)
        pts = reordered;
      else if (dts != AV_NOPTS_VALUE)
        pts = dts;
      else
        pts = AV_NOPTS_VALUE;
      skip_frames_index += 1;
      if (skip_frames_index >= skip_frames) {
        skip_frames_index -= std::max(skip_frames.load(), 1.0);
        AFrame->pts = pts;
        return 1;
      }
      av_frame_unref(AFrame);
      return 0;
    }

    TQueuedPacket qp;
    if (videoq.Get(qp, true) < 0)
      return -1;
    if (qp.flush) {
      avcodec_flush_buffers(video_ctx);
      decoder_draining = false;
      graph_ready = false;  // pictures buffered in the filters belong before the seek
      {
        std::unique_lock lock(pictq_mutex);
        for (TVideoPicture& vp : pictq)
          vp.target_clock = 0;
        pictq_cond.wait(lock, [this] { return pictq_size == 0 || videoq.abort_request(); });
        frame_timer = NowSeconds();
      }
      video_current_pos = -1;
      faulty_pts = faulty_dts = 0;
      last_dts_for_fault_detection = last_pts_for_fault_detection = INT64_MIN;
      frame_last_pts = static_cast<double>(AV_NOPTS_VALUE);
      frame_last_delay = 0;
      skip_frames = 1;
      skip_frames_index = 0;
      seek_flushed = true;
      TPacketQueue::Release(qp);
      return 0;
    }
    if (!qp.pkt->data && qp.pkt->size == 0) {  // end of input: drain the decoder
      TPacketQueue::Release(qp);
      if (!decoder_draining) {
        avcodec_send_packet(video_ctx, nullptr);
        decoder_draining = true;
      }
      if (!EventEOF)
        Owner->HandlePositionAndEnd(this);
      continue;  // the pictures still inside the decoder come out at the top
    }
    r = avcodec_send_packet(video_ctx, qp.pkt);
    TPacketQueue::Release(qp);
    (void)r;  // a broken packet yields no picture; decoding goes on with the next one
  }
}

bool TVideoState::ConfigureVideoFilters(const AVFrame* AFrame) {
  avfilter_graph_free(&graph);
  in_video_filter = out_video_filter = nullptr;
  graph_ready = false;
  graph = avfilter_graph_alloc();
  if (!graph)
    return false;
  char sws[64];
  std::snprintf(sws, sizeof sws, "flags=%d", Owner->sws_flags.load());
  graph->scale_sws_opts = av_strdup(sws);

  AVRational sar = AFrame->sample_aspect_ratio;
  if (!sar.num)
    sar = video_ctx->sample_aspect_ratio;
  if (!sar.num || !sar.den)
    sar = AVRational{0, 1};
  char args[256];
  std::snprintf(args, sizeof args,
                "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", AFrame->width,
                AFrame->height, AFrame->format, video_st.load()->time_base.num, video_st.load()->time_base.den,
                sar.num, sar.den);
  const std::string vfilters = Owner->VideoFilters();
  int r = avfilter_graph_create_filter(&in_video_filter, avfilter_get_by_name("buffer"), "src",
                                       args, nullptr, graph);
  if (r >= 0)
    r = avfilter_graph_create_filter(&out_video_filter, avfilter_get_by_name("buffersink"), "out",
                                     nullptr, nullptr, graph);
  if (r >= 0) {
    const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
    r = av_opt_set_int_list(out_video_filter, "pix_fmts", formats, AV_PIX_FMT_NONE,
                            AV_OPT_SEARCH_CHILDREN);
  }
  if (r >= 0) {
    if (vfilters.empty()) {
      r = avfilter_link(in_video_filter, 0, out_video_filter, 0);
    } else {
      AVFilterInOut* outputs = avfilter_inout_alloc();
      AVFilterInOut* inputs = avfilter_inout_alloc();
      if (outputs && inputs) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = in_video_filter;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = out_video_filter;
        r = avfilter_graph_parse_ptr(graph, vfilters.c_str(), &inputs, &outputs, nullptr);
      } else {
        r = AVERROR(ENOMEM);
      }
      avfilter_inout_free(&outputs);
      avfilter_inout_free(&inputs);
    }
  }
  if (r >= 0)
    r = avfilter_graph_config(graph, nullptr);
  if (r < 0) {
    Owner->Log(AV_LOG_ERROR, ErrorText(vfilters.empty() ? filename : vfilters, r));
    avfilter_graph_free(&graph);
    in_video_filter = out_video_filter = nullptr;
    return false;
  }
  graph_width = AFrame->width;
  graph_height = AFrame->height;
  graph_format = AFrame->format;
  graph_ready = true;
  return true;
}

// Returns -1 to end the thread, 0 without a picture yet, 1 with AOut holding a filtered picture.
int TVideoState::GetFilteredPicture(AVFrame* AOut, AVFrame* ADecoded) {
  for (;;) {
    if (graph_ready) {
      int r = av_buffersink_get_frame(out_video_filter, AOut);
      if (r >= 0)
        return 1;
      if (r != AVERROR(EAGAIN))
        return -1;
    }
    int got = GetVideoFrame(ADecoded);
    if (got <= 0)
      return got;
    // A new size or format (or a seek) rebuilds the graph for the pictures that follow.
    if (!graph_ready || ADecoded->width != graph_width || ADecoded->height != graph_height ||
        ADecoded->format != graph_format) {
      if (!ConfigureVideoFilters(ADecoded)) {
        av_frame_unref(ADecoded);
        return -1;
      }
    }
    int r = av_buffersrc_add_frame(in_video_filter, ADecoded);
    av_frame_unref(ADecoded);
    if (r < 0)
      return -1;
  }
}

double TVideoState::ComputeTargetTime(double AFramePts) {
  double delay = AFramePts - frame_last_pts;
  if (delay <= 0 || delay >= 10.0)
    delay = frame_last_delay;
  else
    frame_last_delay = delay;
  frame_last_pts = AFramePts;
  if ((av_sync_type == AV_SYNC_AUDIO_MASTER && audio_st) || av_sync_type == AV_SYNC_EXTERNAL_CLOCK) {
    const double diff = GetVideoClock() - GetMasterClock();
    const double sync_threshold = std::max(AV_SYNC_THRESHOLD, delay);
    if (std::fabs(diff) < AV_NOSYNC_THRESHOLD) {
      if (diff <= -sync_threshold)
        delay = 0;
      else if (diff >= sync_threshold)
        delay = 2 * delay;
    }
  }
  frame_timer += delay;
  return frame_timer;
}

// Returns -1 when aborted, 0 when the picture could not be kept, 1 when it was queued.
int TVideoState::QueuePicture(AVFrame* AFrame, double APts, int64_t APos) {
  video_clock = APts;
  AVRational rate = av_guess_frame_rate(ic, video_st, nullptr);
  double frame_delay = rate.num && rate.den ? av_q2d(av_inv_q(rate)) : 0;
  video_clock = video_clock + frame_delay * (1 + AFrame->repeat_pict * 0.5);

  const int w = AFrame->width & ~1, h = AFrame->height & ~1;
  TVideoPicture* vp;
  {
    std::unique_lock lock(pictq_mutex);
    if (pictq_size >= VIDEO_PICTURE_QUEUE_SIZE && !refresh)
      skip_frames = std::max(1.0 - FRAME_SKIP_FACTOR, skip_frames * (1.0 - FRAME_SKIP_FACTOR));
    pictq_cond.wait(lock, [this] {
      return pictq_size < VIDEO_PICTURE_QUEUE_SIZE || videoq.abort_request();
    });
    if (videoq.abort_request())
      return -1;
    vp = &pictq[pictq_windex];
    picture_width = w;
    picture_height = h;
    if (!vp->bmp || vp->width != w || vp->height != h) {
      vp->allocated = false;
      vp->width = w;
      vp->height = h;
      vp->pix_fmt = static_cast<AVPixelFormat>(AFrame->format);
      Session->display_events.Push(deAllocPicture);
      pictq_cond.wait(lock, [&] { return vp->allocated || videoq.abort_request(); });
      if (videoq.abort_request())
        return -1;
    }
  }
  if (!vp->bmp)
    return 0;

  vp->sample_aspect_ratio = AFrame->sample_aspect_ratio;
  TPicture src;
  for (int i = 0; i < 3; ++i) {
    src.data[i] = AFrame->data[i];
    src.linesize[i] = AFrame->linesize[i];
  }
  if (Owner->FVerticalFlip) {
    const int rows[3] = {AFrame->height, AFrame->height / 2, AFrame->height / 2};
    for (int i = 0; i < 3; ++i) {
      src.data[i] += static_cast<ptrdiff_t>(src.linesize[i]) * (rows[i] - 1);
      src.linesize[i] = -src.linesize[i];
    }
  }
  av_image_copy(vp->bmp->data, vp->bmp->linesize, const_cast<const uint8_t**>(src.data),
                src.linesize, AV_PIX_FMT_YUV420P, w, h);
  if (Owner->FHook) {
    TPicture overlay;
    for (int i = 0; i < 3; ++i) {
      overlay.data[i] = vp->bmp->data[i];
      overlay.linesize[i] = vp->bmp->linesize[i];
    }
    Owner->RunHook(this, overlay, w, h, APts);
  }

  vp->pts = APts;
  vp->pos = APos;
  std::lock_guard lock(pictq_mutex);
  pictq_windex = (pictq_windex + 1) % VIDEO_PICTURE_QUEUE_SIZE;
  vp->target_clock = ComputeTargetTime(vp->pts);
  ++pictq_size;
  return 1;
}
