// The sound side of the core: SDL's sound callback (on SDL's sound thread), decoding and
// conversion of sound into signed 16-bit samples, and the stretching of sound chunks when the
// sound follows another clock.
#include "media/player_core.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
}

int WantedAudioSize(int ASize, int AN, double ADiff, int ARate, int ACapacity) {
  int wanted = ASize + AN * static_cast<int>(std::lround(ADiff * ARate));
  const int min_size = (ASize / AN * 90 / 100) * AN;
  const int max_size = AN * (ASize / AN * 110 / 100);
  wanted = std::clamp(wanted, min_size, max_size);
  return std::min(wanted, ACapacity / AN * AN);
}

void SDLCALL TVideoState::AudioCallback(void* AOpaque, Uint8* AStream, int ALen) {
  auto* is = static_cast<TVideoState*>(AOpaque);
  TCustomPlayer* owner = is->Owner;
  owner->FAudioCallbackTime = av_gettime_relative();
  while (ALen > 0) {
    if (is->audio_buf_index >= is->audio_buf_size) {
      double pts = 0;
      int size = is->AudioDecodeFrame(pts);
      if (is->audioq.abort_request()) {
        std::memset(AStream, 0, ALen);
        return;
      }
      if (size < 0) {  // nothing to play: a short silence
        is->audio_buf = is->audio_buf1;
        size = 1024;
        std::memset(is->audio_buf, 0, size);
      } else {
        if (is->show_audio)
          is->UpdateSampleDisplay(is->audio_buf, size);
        size = is->SynchronizeAudio(size, pts);
      }
      is->audio_buf_size = size;
      is->audio_buf_index = 0;
    }
    const int index = is->audio_buf_index;
    const int len = std::min(is->audio_buf_size - index, ALen);
    std::memset(AStream, 0, len);
    if (!owner->FMute)
      SDL_MixAudioFormat(AStream, is->audio_buf + index, AUDIO_S16SYS, static_cast<Uint32>(len),
                         std::clamp(owner->FAudioVolume.load(), 0, SDL_MIX_MAXVOLUME));
    ALen -= len;
    AStream += len;
    is->audio_buf_index = index + len;
  }
}

void TVideoState::LogLater(int ALevel, const std::string& AText) {
  std::lock_guard lock(audio_log_mutex);
  if (audio_log.size() < 16)
    audio_log.emplace_back(ALevel, AText);
}

void TVideoState::FlushAudioLog() {
  std::vector<std::pair<int, std::string>> lines;
  {
    std::lock_guard lock(audio_log_mutex);
    lines.swap(audio_log);
  }
  for (const auto& [level, text] : lines)
    Owner->Log(level, text);
}

// Returns the size in bytes of the next chunk (in audio_buf), or -1 when there is none now.
int TVideoState::AudioDecodeFrame(double& APts) {
  if (!audio_frame && !(audio_frame = av_frame_alloc()))
    return -1;
  for (;;) {
    while (audio_pkt_pending) {
      int r = avcodec_receive_frame(audio_ctx, audio_frame);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
        audio_pkt_pending = false;
        break;
      }
      if (r < 0) {  // the rest of the packet is dropped
        LogLater(AV_LOG_INFO, "avcodec_decode_audio2() failed");
        audio_pkt_pending = false;
        break;
      }
      int size = ConvertAudio(audio_frame);
      av_frame_unref(audio_frame);
      if (size <= 0)
        continue;
      APts = audio_clock;
      audio_clock = audio_clock + static_cast<double>(size) / (2.0 * audio_channels * audio_freq);
      return size;
    }
    if (paused || audioq.abort_request())
      return -1;
    TQueuedPacket qp;
    if (audioq.Get(qp, false) <= 0)
      return -1;
    if (qp.flush) {
      avcodec_flush_buffers(audio_ctx);
      TPacketQueue::Release(qp);
      continue;
    }
    if (qp.pkt->pts != AV_NOPTS_VALUE)
      audio_clock = av_q2d(audio_st.load()->time_base) * qp.pkt->pts;
    int r = avcodec_send_packet(audio_ctx, qp.pkt);
    TPacketQueue::Release(qp);
    if (r < 0)
      LogLater(AV_LOG_INFO, "avcodec_decode_audio2() failed");
    else
      audio_pkt_pending = true;
  }
}

// Puts AFrame's samples as signed 16-bit at the output's channel count and rate into
// audio_buf; returns the byte count, or -1 when the frame is dropped.
int TVideoState::ConvertAudio(const AVFrame* AFrame) {
  AVChannelLayout in_layout{};
  if (AFrame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&AFrame->ch_layout) == 0)
    av_channel_layout_default(&in_layout, AFrame->ch_layout.nb_channels);
  else
    av_channel_layout_copy(&in_layout, &AFrame->ch_layout);
  const auto format = static_cast<AVSampleFormat>(AFrame->format);
  const int frame_bytes = 2 * audio_channels;

  if (format == AV_SAMPLE_FMT_S16 && in_layout.nb_channels == audio_channels &&
      AFrame->sample_rate == audio_freq && !reformat_ctx) {
    av_channel_layout_uninit(&in_layout);
    const int size = std::min(AFrame->nb_samples * frame_bytes, AUDIO_BUF_SIZE / frame_bytes * frame_bytes);
    std::memcpy(audio_buf1, AFrame->data[0], static_cast<size_t>(size));
    audio_buf = audio_buf1;
    return size;
  }

  if (!reformat_ctx || format != audio_src_fmt || AFrame->sample_rate != audio_src_freq ||
      av_channel_layout_compare(&in_layout, &audio_src_layout) != 0) {
    swr_free(&reformat_ctx);
    AVChannelLayout out_layout{};
    av_channel_layout_default(&out_layout, audio_channels);
    int r = swr_alloc_set_opts2(&reformat_ctx, &out_layout, AV_SAMPLE_FMT_S16, audio_freq,
                                &in_layout, format, AFrame->sample_rate, 0, nullptr);
    if (r < 0 || swr_init(reformat_ctx) < 0) {
      const char* name = av_get_sample_fmt_name(format);
      char text[160];
      std::snprintf(text, sizeof text, "Cannot convert %s sample format to %s sample format",
                    name ? name : "unknown", av_get_sample_fmt_name(AV_SAMPLE_FMT_S16));
      LogLater(AV_LOG_ERROR, text);
      swr_free(&reformat_ctx);
      av_channel_layout_uninit(&in_layout);
      audio_pkt_pending = false;  // the rest of the packet is dropped
      return -1;
    }
    audio_src_fmt = format;
    audio_src_freq = AFrame->sample_rate;
    av_channel_layout_uninit(&audio_src_layout);
    av_channel_layout_copy(&audio_src_layout, &in_layout);
  }
  av_channel_layout_uninit(&in_layout);
  // Leave a tenth of the buffer free for lengthening; samples that do not fit stay inside the
  // converter and come out with the next frame.
  const int capacity = AUDIO_BUF_SIZE * 10 / 11 / frame_bytes;
  uint8_t* out = audio_buf2;
  int n = swr_convert(reformat_ctx, &out, capacity,
                      const_cast<const uint8_t**>(AFrame->extended_data), AFrame->nb_samples);
  if (n < 0) {
    LogLater(AV_LOG_ERROR, "av_audio_convert() failed");
    return -1;
  }
  audio_buf = audio_buf2;
  return n * frame_bytes;
}

void TVideoState::UpdateSampleDisplay(const uint8_t* ASamples, int ASize) {
  const auto* samples = reinterpret_cast<const int16_t*>(ASamples);
  int count = ASize / 2;
  int index = sample_array_index;
  while (count > 0) {
    const int len = std::min(count, SAMPLE_ARRAY_SIZE - index);
    std::memcpy(sample_array + index, samples, static_cast<size_t>(len) * 2);
    samples += len;
    index += len;
    if (index >= SAMPLE_ARRAY_SIZE)
      index = 0;
    count -= len;
  }
  sample_array_index = index;
}

// Shortens or lengthens the chunk in audio_buf when the sound follows the video or external
// clock; returns the new size.
int TVideoState::SynchronizeAudio(int ASize, double APts) {
  (void)APts;
  const int n = 2 * audio_channels;
  if (!((av_sync_type == AV_SYNC_VIDEO_MASTER && video_st) || av_sync_type == AV_SYNC_EXTERNAL_CLOCK))
    return ASize;
  const double diff = GetAudioClock() - GetMasterClock();
  if (diff >= AV_NOSYNC_THRESHOLD) {
    audio_diff_avg_count = 0;
    audio_diff_cum = 0;
    return ASize;
  }
  audio_diff_cum = diff + audio_diff_avg_coef * audio_diff_cum;
  if (audio_diff_avg_count < AUDIO_DIFF_AVG_NB) {
    ++audio_diff_avg_count;
    return ASize;
  }
  const double avg_diff = audio_diff_cum * (1.0 - audio_diff_avg_coef);
  if (std::fabs(avg_diff) < audio_diff_threshold)
    return ASize;
  const int wanted = WantedAudioSize(ASize, n, diff, audio_freq, AUDIO_BUF_SIZE);
  if (wanted > ASize) {  // repeat the last sample frame
    const uint8_t* last = audio_buf + ASize - n;
    for (uint8_t* q = audio_buf + ASize; q < audio_buf + wanted; q += n)
      std::memcpy(q, last, static_cast<size_t>(n));
  }
  return wanted;
}
