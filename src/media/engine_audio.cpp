// Audio output: one decoded block of an encoded audio stream through the resampler, the audio
// sync rules (drop, pad, compensate) and the frame-size queue into the encoder.
#include <climits>
#include <cmath>
#include <stdexcept>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/logger.h"

namespace {

// Sample buffers in one format, grown only.
struct TSampleBuffer {
  ~TSampleBuffer() { Free(); }
  void Free() {
    if (data)
      av_freep(&data[0]);
    av_freep(&data);
    capacity = 0;
  }
  // Room for ASamples samples; false when out of memory.
  bool Reserve(AVSampleFormat AFormat, int AChannels, int ASamples) {
    if (data && capacity >= ASamples && format == AFormat && channels == AChannels)
      return true;
    Free();
    if (av_samples_alloc_array_and_samples(&data, nullptr, AChannels, ASamples, AFormat, 0) < 0)
      return false;
    capacity = ASamples;
    format = AFormat;
    channels = AChannels;
    return true;
  }
  uint8_t** data = nullptr;
  int capacity = 0;
  AVSampleFormat format = AV_SAMPLE_FMT_NONE;
  int channels = 0;
};

// The converted samples and the silence of one call; per thread, since every engine runs its
// loop on a thread of its own.
thread_local TSampleBuffer audio_out;
thread_local TSampleBuffer silence;

}  // namespace

void TEngineMedia::DoAudioOut(TAVOutputStream& AOst, TAVInputStream& AIst, AVFrame* AFrame) {
  TEngineOptions& opt = o();
  AVCodecContext* enc = AOst.enc;
  TOutputStreamDesc& desc = *AOst.desc;
  const auto in_fmt = static_cast<AVSampleFormat>(AFrame->format);
  const int in_rate = AFrame->sample_rate;
  const int in_channels = AFrame->ch_layout.nb_channels;
  const int out_rate = enc->sample_rate;
  const int out_channels = enc->ch_layout.nb_channels;
  if (in_rate <= 0 || in_channels <= 0 || out_rate <= 0 || out_channels <= 0)
    return;

  // 2. The resampler, made again when the decoded format changes (join segments).
  if (!AOst.resample || in_fmt != AOst.resample_in_fmt || in_rate != AOst.resample_in_rate ||
      av_channel_layout_compare(&AFrame->ch_layout, &AOst.resample_in_layout) != 0) {
    swr_free(&AOst.resample);
    int ret = swr_alloc_set_opts2(&AOst.resample, &enc->ch_layout, enc->sample_fmt, out_rate,
                                  &AFrame->ch_layout, in_fmt, in_rate, 0, nullptr);
    if (ret >= 0) {
      av_opt_set_int(AOst.resample, "filter_size", 16, 0);
      av_opt_set_int(AOst.resample, "phase_shift", 10, 0);
      av_opt_set_int(AOst.resample, "linear_interp", 0, 0);
      av_opt_set_double(AOst.resample, "cutoff", 0.8, 0);
      ret = swr_init(AOst.resample);
    }
    if (ret < 0) {
      swr_free(&AOst.resample);
      throw std::runtime_error(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                          in_channels, in_rate, out_channels, out_rate));
    }
    AOst.resample_in_fmt = in_fmt;
    AOst.resample_in_rate = in_rate;
    av_channel_layout_uninit(&AOst.resample_in_layout);
    av_channel_layout_copy(&AOst.resample_in_layout, &AFrame->ch_layout);
  }

  // 3. Audio sync.
  const uint8_t* in_planes[AV_NUM_DATA_POINTERS * 8] = {};
  const int planes = av_sample_fmt_is_planar(in_fmt) ? in_channels : 1;
  if (planes > static_cast<int>(std::size(in_planes)))
    throw std::runtime_error("Buffer sizes too large in do_audio_out");
  for (int p = 0; p < planes; ++p)
    in_planes[p] = AFrame->extended_data[p];
  int in_samples = AFrame->nb_samples;
  int pad = 0;
  const double sync_ipts = static_cast<double>(AIst.pts - opt.start_time) / AV_TIME_BASE;
  const int64_t queued =
      (desc.fifo ? av_audio_fifo_size(desc.fifo) : 0) + swr_get_delay(AOst.resample, out_rate);
  if (opt.audio_sync_method) {
    const double delta = sync_ipts * out_rate - static_cast<double>(AOst.sync_opts) -
                         static_cast<double>(queued);
    const double idelta = delta * in_rate / out_rate;
    const bool verbose = engine.Verbose() > 2;
    if (std::fabs(delta) > 50) {
      if (AIst.is_start || std::fabs(delta) > opt.audio_drift_threshold * out_rate) {
        if (idelta < 0) {
          const int drop = static_cast<int>(std::min<double>(std::lrint(-idelta), in_samples));
          if (verbose)
            LoggerInstance().LogFmt(&engine, llVerbose, "discarding %d audio samples", drop);
          const int step = av_get_bytes_per_sample(in_fmt) * (planes == 1 ? in_channels : 1);
          for (int p = 0; p < planes; ++p)
            in_planes[p] += static_cast<ptrdiff_t>(drop) * step;
          in_samples -= drop;
          if (in_samples <= 0)
            return;
        } else {
          pad = static_cast<int>(std::min<double>(std::lrint(idelta), INT_MAX / 8));
          if (verbose)
            LoggerInstance().LogFmt(&engine, llVerbose, "adding %d audio samples of silence", pad);
        }
      } else if (opt.audio_sync_method > 1) {
        const int limit = opt.audio_sync_method;
        const long comp = std::lrint(delta);
        const int compensation = static_cast<int>(comp < -limit ? -limit : comp > limit ? limit : comp);
        if (verbose)
          LoggerInstance().LogFmt(&engine, llVerbose,
                                  "compensating audio timestamp drift:%f compensation:%d in:%d",
                                  delta, compensation, out_rate);
        swr_set_compensation(AOst.resample, compensation, out_rate);
      }
    }
  } else {
    AOst.sync_opts = std::llround(sync_ipts * out_rate) - queued;
  }

  // 1. and 4. Convert into the encoder's format.
  const int out_max = swr_get_out_samples(AOst.resample, in_samples + pad);
  if (out_max < 0)
    throw std::runtime_error("Buffer sizes too large in do_audio_out");
  const int room = std::max(out_max, enc->frame_size) + 16;
  if (!audio_out.Reserve(enc->sample_fmt, out_channels, room))
    throw std::runtime_error("Out of memory in do_audio_out");
  int converted = 0;
  if (pad > 0) {
    if (!silence.Reserve(in_fmt, in_channels, pad))
      throw std::runtime_error("Out of memory in do_audio_out");
    av_samples_set_silence(silence.data, 0, pad, in_channels, in_fmt);
    const int n = swr_convert(AOst.resample, audio_out.data, room,
                              const_cast<const uint8_t**>(silence.data), pad);
    if (n < 0)
      throw std::runtime_error("av_audio_convert() failed");
    converted += n;
  }
  uint8_t* out_planes[AV_NUM_DATA_POINTERS * 8] = {};
  const int out_plane_count = av_sample_fmt_is_planar(enc->sample_fmt) ? out_channels : 1;
  const int out_step =
      av_get_bytes_per_sample(enc->sample_fmt) * (out_plane_count == 1 ? out_channels : 1);
  for (int p = 0; p < out_plane_count && p < static_cast<int>(std::size(out_planes)); ++p)
    out_planes[p] = audio_out.data[p] + static_cast<ptrdiff_t>(converted) * out_step;
  const int n = swr_convert(AOst.resample, out_planes, room - converted, in_planes, in_samples);
  if (n < 0)
    throw std::runtime_error("av_audio_convert() failed");
  converted += n;

  // 5. The frame-size queue and the encoder.
  if (converted > 0 &&
      av_audio_fifo_write(desc.fifo, reinterpret_cast<void**>(audio_out.data), converted) < converted)
    throw std::runtime_error("av_fifo_realloc2() failed");
  const bool fixed = enc->frame_size > 1 &&
                     !(enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  for (;;) {
    const int available = av_audio_fifo_size(desc.fifo);
    const int take = fixed ? enc->frame_size : available;
    if (available <= 0 || available < take)
      break;
    av_frame_unref(audio_frame);
    audio_frame->format = enc->sample_fmt;
    audio_frame->nb_samples = take;
    audio_frame->sample_rate = out_rate;
    av_channel_layout_copy(&audio_frame->ch_layout, &enc->ch_layout);
    if (av_frame_get_buffer(audio_frame, 0) < 0)
      throw std::runtime_error("Out of memory in do_audio_out");
    av_audio_fifo_read(desc.fifo, reinterpret_cast<void**>(audio_frame->extended_data), take);
    audio_frame->pts = AOst.sync_opts;
    EncodeAndWrite(AOst, audio_frame, nullptr);
    AOst.sync_opts += take;
  }
}

void TEngineMedia::FlushEncoder(TAVOutputStream& AOst) {
  TOutputStreamDesc& desc = *AOst.desc;
  AVCodecContext* enc = AOst.enc;
  if (!enc || !desc.opened || desc.drained)
    return;
  if (desc.type == AVMEDIA_TYPE_AUDIO) {
    if (enc->frame_size <= 1)
      return;  // whole blocks are encoded as they come
    const int left = desc.fifo ? av_audio_fifo_size(desc.fifo) : 0;
    if (left > 0) {
      // The rest, padded with silence to a whole frame unless the encoder takes a short one.
      const bool short_ok = enc->codec->capabilities &
                            (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
      const int samples = short_ok ? left : enc->frame_size;
      if (samples < left)
        throw std::runtime_error("frame_bytes invalid.");
      av_frame_unref(audio_frame);
      audio_frame->format = enc->sample_fmt;
      audio_frame->nb_samples = samples;
      audio_frame->sample_rate = enc->sample_rate;
      av_channel_layout_copy(&audio_frame->ch_layout, &enc->ch_layout);
      if (av_frame_get_buffer(audio_frame, 0) < 0)
        throw std::runtime_error("Out of memory in do_audio_out");
      av_samples_set_silence(audio_frame->extended_data, 0, samples,
                             enc->ch_layout.nb_channels, enc->sample_fmt);
      av_audio_fifo_read(desc.fifo, reinterpret_cast<void**>(audio_frame->extended_data), left);
      audio_frame->pts = AOst.sync_opts;
      EncodeAndWrite(AOst, audio_frame, nullptr);
      AOst.sync_opts += samples;
    }
  } else if (desc.type != AVMEDIA_TYPE_VIDEO) {
    return;
  }
  desc.drained = true;
  EncodeAndWrite(AOst, nullptr, nullptr);
}
