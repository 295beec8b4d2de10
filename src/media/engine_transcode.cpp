// The transcode loop: choosing the input to read, reading, time-stamp offsets and
// discontinuities, decoding, stream copy, join-mode segments, flushing, packet writing through
// bitstream filters, trailers.
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <stdexcept>
#include <thread>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/error.h>
}

#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/ffutils.h"
#include "media/logger.h"

namespace {

constexpr AVRational kMicros{1, AV_TIME_BASE};

std::string LibraryErrorText(int ACode) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(ACode, text, sizeof text);
  return text;
}

// Volume scaling of decoded samples: 256 is unchanged; integer samples are rounded down and
// clipped to their range, floating-point samples clipped to -1..1.
template <class T>
void ScaleSamples(T* ASamples, size_t ACount, int AVolume) {
  for (size_t i = 0; i < ACount; ++i) {
    if constexpr (std::is_same_v<T, int16_t>) {
      int v = (ASamples[i] * AVolume + 128) >> 8;
      ASamples[i] = static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
    } else if constexpr (std::is_same_v<T, int32_t>) {
      int64_t v = (static_cast<int64_t>(ASamples[i]) * AVolume + 128) >> 8;
      ASamples[i] = static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
    } else if constexpr (std::is_same_v<T, uint8_t>) {
      int v = (((ASamples[i] - 128) * AVolume + 128) >> 8) + 128;
      ASamples[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    } else {
      T v = ASamples[i] * static_cast<T>(AVolume) / static_cast<T>(256);
      ASamples[i] = v < T(-1) ? T(-1) : v > T(1) ? T(1) : v;
    }
  }
}

void ApplyVolume(AVFrame* AFrame, int AVolume) {
  const auto fmt = static_cast<AVSampleFormat>(AFrame->format);
  const int channels = AFrame->ch_layout.nb_channels;
  const bool planar = av_sample_fmt_is_planar(fmt);
  const int planes = planar ? channels : 1;
  const size_t count = static_cast<size_t>(AFrame->nb_samples) * (planar ? 1 : channels);
  for (int p = 0; p < planes; ++p) {
    uint8_t* data = AFrame->extended_data[p];
    switch (av_get_packed_sample_fmt(fmt)) {
      case AV_SAMPLE_FMT_U8: ScaleSamples(data, count, AVolume); break;
      case AV_SAMPLE_FMT_S16: ScaleSamples(reinterpret_cast<int16_t*>(data), count, AVolume); break;
      case AV_SAMPLE_FMT_S32: ScaleSamples(reinterpret_cast<int32_t*>(data), count, AVolume); break;
      case AV_SAMPLE_FMT_FLT: ScaleSamples(reinterpret_cast<float*>(data), count, AVolume); break;
      case AV_SAMPLE_FMT_DBL: ScaleSamples(reinterpret_cast<double*>(data), count, AVolume); break;
      default: break;  // 64-bit integer samples are left as they are
    }
  }
}

int64_t FrameDuration(const TAVInputStream& AIst, const AVFrame* AFrame) {
  const AVRational fps = AIst.st->avg_frame_rate.num ? AIst.st->avg_frame_rate
                                                     : AIst.st->r_frame_rate;
  if (fps.num > 0 && fps.den > 0)
    return av_rescale_q(2 + AFrame->repeat_pict, AVRational{fps.den, 2 * fps.num}, kMicros);
  if (AFrame->pkt_duration > 0)
    return av_rescale_q(AFrame->pkt_duration, AIst.st->time_base, kMicros);
  return 0;
}

}  // namespace

void TCustomFFmpeg::Transcode() { media_->Transcode(); }
void TCustomFFmpeg::CloseEncoders() { media_->CloseEncoders(); }
void TCustomFFmpeg::CloseDecoders() { media_->CloseDecoders(); }

double TEngineMedia::OutputTime(const TAVOutputStream& AOst) const {
  if (AOst.encoding_needed && AOst.enc)
    return static_cast<double>(AOst.sync_opts) * av_q2d(AOst.enc->time_base);
  return AOst.out_time;
}

void TEngineMedia::Transcode() {
  TEngineOptions& opt = o();
  SetUpRun();
  timer_start = NowMicros();
  int64_t last_report = timer_start;
  int current_input = 0;  // join mode
  const bool join = engine.join_mode_;
  for (auto& in : inputs)
    in->no_packet = false;

  while (engine.CheckContinue()) {
    // a. The input to read.
    int file_index = -1;
    bool any_no_packet = false;
    if (join) {
      file_index = current_input;
      for (auto& ost : ost_table)
        if (ost->file_index == current_input &&
            ost->frame_number >= opt.max_frames[ost->desc->type == AVMEDIA_TYPE_VIDEO   ? 0
                                                 : ost->desc->type == AVMEDIA_TYPE_AUDIO ? 1
                                                 : ost->desc->type == AVMEDIA_TYPE_DATA  ? 2
                                                                                         : 3])
          file_index = -1;
    } else {
      double best = 1e100;
      for (auto& ost : ost_table) {
        const TAVInputStream& ist = *ist_table[ost->source_index];
        const TInputFile& in = *inputs[ist.file_index];
        if (in.no_packet)
          any_no_packet = true;
        if (ist.is_past_recording_time || in.no_packet)
          continue;
        const double opts = OutputTime(*ost);
        const double ipts = static_cast<double>(ist.pts);
        if (!in.eof_reached) {
          const double key = opt.input_sync ? ipts : opts;
          if (key < best) {
            best = key;
            file_index = ist.file_index;
          }
        }
        const int kind = ost->desc->type == AVMEDIA_TYPE_VIDEO   ? 0
                         : ost->desc->type == AVMEDIA_TYPE_AUDIO ? 1
                         : ost->desc->type == AVMEDIA_TYPE_DATA  ? 2
                                                                 : 3;
        if (ost->frame_number >= opt.max_frames[kind]) {
          file_index = -1;
          break;
        }
      }
    }
    // b. Nothing to read now.
    if (file_index < 0) {
      if (join || !any_no_packet)
        break;
      for (auto& in : inputs)
        in->no_packet = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    // c. The file size limit.
    if (opt.limit_filesize != 0 && !output_files.empty() && output_files[0]->ctx->pb &&
        avio_tell(output_files[0]->ctx->pb) >= opt.limit_filesize)
      break;
    // d. Read.
    TInputFile& in = *inputs[file_index];
    int ret = av_read_frame(in.ctx, packet);
    if (ret == AVERROR(EAGAIN)) {
      in.no_packet = true;
      continue;
    }
    if (ret < 0) {
      // f. The end of this input.
      in.eof_reached = true;
      if (join) {
        if (SwitchSegment(current_input))
          break;
      } else if (opt.opt_shortest) {
        break;
      }
      continue;
    }
    // e. A packet.
    for (auto& other : inputs)
      other->no_packet = false;
    if (opt.do_pkt_dump)
      av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet, opt.do_hex_dump,
                       in.ctx->streams[packet->stream_index]);
    ProcessReadPacket(in, packet);
    av_packet_unref(packet);
    const int64_t now = NowMicros();
    if (now - last_report > engine.ReportInterval) {
      PrintReport(false, file_index);
      last_report = now;
    }
  }

  // 3. Flush what the decoders hold, trailers, the final report.
  for (auto& ist : ist_table)
    if (ist->decoding_needed && !ist->decoder_flushed) {
      OutputPacket(*ist, nullptr);
      ist->decoder_flushed = true;
    }
  WriteTrailers();
  PrintReport(true, -1);
  engine.finished_ = !engine.broken_;
  UndoRun();
}

void TEngineMedia::ProcessReadPacket(TInputFile& AInput, AVPacket* APacket) {
  TEngineOptions& opt = o();
  const int index = APacket->stream_index;
  if (index < 0 || index >= AInput.nb_streams)
    return;
  TAVInputStream& ist = *ist_table[AInput.ist_index + index];
  if (ist.discard)
    return;
  const AVRational tb = ist.st->time_base;
  const int64_t offset = av_rescale_q(AInput.ts_offset, kMicros, tb);
  if (APacket->dts != AV_NOPTS_VALUE)
    APacket->dts += offset;
  if (APacket->pts != AV_NOPTS_VALUE)
    APacket->pts += offset;
  if (index < MaxStreams && AInput.ts_scale[index] != 0.0) {
    const double scale = AInput.ts_scale[index];
    if (APacket->pts != AV_NOPTS_VALUE)
      APacket->pts = std::llround(static_cast<double>(APacket->pts) * scale);
    if (APacket->dts != AV_NOPTS_VALUE)
      APacket->dts = std::llround(static_cast<double>(APacket->dts) * scale);
  }
  // Formats whose time stamps may jump: follow the jump by moving the input's offset.
  if (ist.next_pts != AV_NOPTS_VALUE && APacket->dts != AV_NOPTS_VALUE && !opt.copy_ts &&
      (AInput.ctx->iformat->flags & AVFMT_TS_DISCONT)) {
    const int64_t pkt_dts = av_rescale_q(APacket->dts, tb, kMicros);
    const int64_t delta = pkt_dts - ist.next_pts;
    // Decoded pictures come out in presentation order, so "before the stream's current time"
    // compares with the last packet's DTS, not with the last picture's time.
    if (std::llabs(delta) > static_cast<int64_t>(opt.dts_delta_threshold * AV_TIME_BASE) ||
        (ist.dts != AV_NOPTS_VALUE && pkt_dts + 1 < ist.dts)) {
      AInput.ts_offset -= delta;
      if (engine.Verbose() > 2)
        LoggerInstance().LogFmt(&engine, llVerbose, "timestamp discontinuity %" PRId64
                                ", new offset= %" PRId64, delta, AInput.ts_offset);
      const int64_t shift = av_rescale_q(delta, kMicros, tb);
      APacket->dts -= shift;
      if (APacket->pts != AV_NOPTS_VALUE)
        APacket->pts -= shift;
    }
  }
  if (opt.recording_time != INT64_MAX && APacket->dts != AV_NOPTS_VALUE &&
      av_compare_ts(APacket->dts, tb, opt.recording_time + opt.start_time, kMicros) >= 0) {
    ist.is_past_recording_time = true;
    return;
  }
  const int ret = OutputPacket(ist, APacket);
  if (ret < 0) {
    const std::string text =
        FormatText("Error while decoding stream #%d.%d (%s)", ist.file_index, ist.index,
                   LibraryErrorText(ret).c_str());
    if (opt.exit_on_error)
      throw std::runtime_error(text);
    if (engine.Verbose() >= 0)
      LoggerInstance().Log(&engine, llVerbose, text);
  }
}

void TEngineMedia::SleepForNativeRate(const TAVInputStream& AIst) {
  if (!o().rate_emu)
    return;
  const int64_t ahead = AIst.pts - (NowMicros() - AIst.start);
  if (ahead > 1000)
    std::this_thread::sleep_for(std::chrono::microseconds(ahead));
}

int TEngineMedia::OutputPacket(TAVInputStream& AIst, const AVPacket* APacket) {
  TEngineOptions& opt = o();
  const int ist_position = inputs[AIst.file_index]->ist_index + AIst.index;
  if (AIst.next_pts == AV_NOPTS_VALUE)
    AIst.next_pts = AIst.pts;
  if (APacket && APacket->dts != AV_NOPTS_VALUE)
    AIst.dts = AIst.next_pts = AIst.pts = av_rescale_q(APacket->dts, AIst.st->time_base, kMicros);

  if (!AIst.decoding_needed) {
    if (!APacket)
      return 0;
    AIst.pts = AIst.next_pts;
    if (APacket->duration > 0)
      AIst.next_pts += av_rescale_q(APacket->duration, AIst.st->time_base, kMicros);
    else if (AIst.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && AIst.st->avg_frame_rate.num)
      AIst.next_pts += av_rescale_q(1, av_inv_q(AIst.st->avg_frame_rate), kMicros);
    if (opt.start_time == 0 || AIst.pts >= opt.start_time)
      for (auto& ost : ost_table)
        if (ost->source_index == ist_position && !ost->encoding_needed)
          CopyPacket(*ost, AIst, APacket);
    return 0;
  }

  if (AIst.st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
    if (!APacket)
      return 0;
    AVSubtitle sub{};
    int got = 0;
    int ret = avcodec_decode_subtitle2(AIst.dec, &sub, &got, const_cast<AVPacket*>(APacket));
    if (ret < 0)
      return ret;
    if (got) {
      if (opt.start_time == 0 || AIst.pts >= opt.start_time)
        for (auto& ost : ost_table)
          if (ost->source_index == ist_position && ost->encoding_needed)
            DoSubtitleOut(*ost, AIst, &sub, AIst.pts);
      avsubtitle_free(&sub);
    }
    return 0;
  }

  int ret = avcodec_send_packet(AIst.dec, APacket);
  if (ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN))
    return ret;
  int frames = 0;
  for (;;) {
    ret = avcodec_receive_frame(AIst.dec, decoded);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
      break;
    if (ret < 0)
      return ret;
    if (++frames == 2 && APacket && !AIst.showed_multi_packet_warning &&
        (engine.Verbose() > 1 || (engine.Verbose() > 0 && ist_position == 0))) {
      LoggerInstance().LogFmt(&engine, llError, "Multiple frames in a packet from stream %d",
                              ist_position);
      AIst.showed_multi_packet_warning = true;
    }
    HandleDecodedFrame(AIst, decoded);
    av_frame_unref(decoded);
  }
  if (APacket)
    return 0;

  // Flush: the deinterlacer, the filter graphs, then the encoders fed by this stream.
  if (AIst.deinterlace.Active() && av_buffersrc_add_frame(AIst.deinterlace.src, nullptr) >= 0)
    while (av_buffersink_get_frame(AIst.deinterlace.sink, filtered) >= 0) {
      AVFrame* picture = av_frame_clone(filtered);
      av_frame_unref(filtered);
      if (!picture)
        break;
      HandleVideoPicture(AIst, picture, picture->pts);
      av_frame_free(&picture);
    }
  for (auto& ost : ost_table) {
    if (ost->source_index != ist_position || !ost->encoding_needed)
      continue;
    if (ost->filter.Active())
      FeedVideoFilter(*ost, AIst, nullptr, 0);
    // Join mode keeps the encoders of the output going into the next segment.
    const bool last_segment =
        !engine.join_mode_ || AIst.file_index == static_cast<int>(inputs.size()) - 1;
    if (last_segment)
      FlushEncoder(*ost);
  }
  return 0;
}

void TEngineMedia::HandleDecodedFrame(TAVInputStream& AIst, AVFrame* AFrame) {
  TEngineOptions& opt = o();
  const int ist_position = inputs[AIst.file_index]->ist_index + AIst.index;
  const int64_t stamp = AFrame->best_effort_timestamp;
  if (stamp != AV_NOPTS_VALUE)
    AIst.pts = av_rescale_q(stamp, AIst.st->time_base, kMicros);
  else
    AIst.pts = AIst.next_pts;

  if (AIst.dec->codec_type == AVMEDIA_TYPE_AUDIO) {
    if (AFrame->sample_rate > 0)
      AIst.next_pts = AIst.pts + av_rescale(AFrame->nb_samples, AV_TIME_BASE, AFrame->sample_rate);
    if (opt.audio_volume != 256 && av_frame_make_writable(AFrame) >= 0)
      ApplyVolume(AFrame, opt.audio_volume);
    SleepForNativeRate(AIst);
    if (AIst.pts >= opt.start_time)
      for (auto& ost : ost_table)
        if (ost->source_index == ist_position && ost->encoding_needed)
          DoAudioOut(*ost, AIst, AFrame);
    AIst.is_start = false;
    return;
  }
  if (AIst.dec->codec_type != AVMEDIA_TYPE_VIDEO)
    return;
  AIst.quality = AFrame->quality;
  AIst.next_pts = AIst.pts + FrameDuration(AIst, AFrame);
  if (opt.do_deinterlace) {
    if (!AIst.deinterlace.Active() && !ConfigureDeinterlace(AIst, AFrame))
      LoggerInstance().Log(&engine, llError, "Deinterlacing failed.");
    if (AIst.deinterlace.Active()) {
      AFrame->pts = AIst.pts;
      if (av_buffersrc_add_frame_flags(AIst.deinterlace.src, AFrame,
                                       AV_BUFFERSRC_FLAG_KEEP_REF) >= 0) {
        while (av_buffersink_get_frame(AIst.deinterlace.sink, filtered) >= 0) {
          AVFrame* picture = av_frame_clone(filtered);
          av_frame_unref(filtered);
          if (!picture)
            break;
          HandleVideoPicture(AIst, picture, picture->pts);
          av_frame_free(&picture);
        }
        AIst.is_start = false;
        return;
      }
      LoggerInstance().Log(&engine, llError, "Deinterlacing failed.");
    }
  }
  HandleVideoPicture(AIst, AFrame, AIst.pts);
  AIst.is_start = false;
}

void TEngineMedia::HandleVideoPicture(TAVInputStream& AIst, AVFrame* APicture, int64_t APts) {
  TEngineOptions& opt = o();
  AVFrame* picture = PreProcess(AIst, APicture, APts);
  SleepForNativeRate(AIst);
  if (APts < opt.start_time)
    return;
  const int ist_position = inputs[AIst.file_index]->ist_index + AIst.index;
  for (auto& ost : ost_table) {
    if (ost->source_index != ist_position || !ost->encoding_needed)
      continue;
    if (ost->filter.Active())
      FeedVideoFilter(*ost, AIst, picture, APts);
    else
      DoVideoOut(*ost, AIst, picture, APts);
  }
}

void TEngineMedia::FeedVideoFilter(TAVOutputStream& AOst, TAVInputStream& AIst,
                                   AVFrame* APicture, int64_t APts) {
  if (APicture) {
    APicture->pts = APts;
    if (av_buffersrc_add_frame_flags(AOst.filter.src, APicture, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
      return;
  } else if (av_buffersrc_add_frame(AOst.filter.src, nullptr) < 0) {
    return;
  }
  while (av_buffersink_get_frame(AOst.filter.sink, filtered) >= 0) {
    const int64_t t = filtered->pts == AV_NOPTS_VALUE
                          ? APts
                          : av_rescale_q(filtered->pts, AOst.filter_time_base, kMicros);
    DoVideoOut(AOst, AIst, filtered, t);
    av_frame_unref(filtered);
  }
}

void TEngineMedia::CopyPacket(TAVOutputStream& AOst, TAVInputStream& AIst,
                              const AVPacket* APacket) {
  TEngineOptions& opt = o();
  if (AOst.frame_number == 0 && !(APacket->flags & AV_PKT_FLAG_KEY) &&
      !opt.copy_initial_nonkeyframes)
    return;
  const AVMediaType type = AIst.st->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_AUDIO)
    audio_size += APacket->size;
  else if (type == AVMEDIA_TYPE_VIDEO) {
    video_size += APacket->size;
    ++AOst.sync_opts;
  }
  AVPacket* out = copy_packet;
  if (av_packet_ref(out, APacket) < 0)
    throw std::runtime_error("Out of memory");
  const AVRational in_tb = AIst.st->time_base;
  const AVRational out_tb = AOst.st->time_base;
  const int64_t start = av_rescale_q(opt.start_time, kMicros, out_tb);
  out->pts = APacket->pts != AV_NOPTS_VALUE ? av_rescale_q(APacket->pts, in_tb, out_tb) - start
                                            : AV_NOPTS_VALUE;
  out->dts = APacket->dts == AV_NOPTS_VALUE ? av_rescale_q(AIst.pts, kMicros, out_tb)
                                            : av_rescale_q(APacket->dts, in_tb, out_tb);
  out->dts -= start;
  out->duration = av_rescale_q(APacket->duration, in_tb, out_tb);
  // The muxer wants time stamps that never go back, also across join segments.
  if (AOst.last_mux_dts != AV_NOPTS_VALUE && out->dts <= AOst.last_mux_dts) {
    const int64_t shift = AOst.last_mux_dts + 1 - out->dts;
    out->dts += shift;
    if (out->pts != AV_NOPTS_VALUE)
      out->pts += shift;
  }
  AOst.last_mux_dts = out->dts;
  try {
    WritePacket(AOst, out);
  } catch (...) {
    av_packet_unref(out);
    throw;
  }
  av_packet_unref(out);
  ++AOst.frame_number;
}

bool TEngineMedia::SwitchSegment(int& ACurrent) {
  const int k = ACurrent;
  TInputFile& in = *inputs[k];
  for (int s = 0; s < in.nb_streams; ++s) {
    TAVInputStream& ist = *ist_table[in.ist_index + s];
    if (ist.decoding_needed && !ist.decoder_flushed) {
      OutputPacket(ist, nullptr);
      ist.decoder_flushed = true;
    }
  }
  if (k + 1 >= static_cast<int>(inputs.size()))
    return true;
  // Carry the counters over and start the next input where this one ended.
  double end = 0.0;
  for (auto& ost : ost_table) {
    if (ost->file_index != k)
      continue;
    double t = ost->out_time;
    if (ost->encoding_needed && ost->enc) {
      double queued = ost->desc->fifo ? av_audio_fifo_size(ost->desc->fifo) : 0;
      t = std::max(t, (static_cast<double>(ost->sync_opts) + queued) * av_q2d(ost->enc->time_base));
    }
    end = std::max(end, t);
    ost->show_fps = false;
    for (auto& next : ost_table)
      if (next->file_index == k + 1 && next->index == ost->index) {
        next->frame_number = ost->frame_number;
        next->sync_opts = ost->sync_opts;
        next->out_time = ost->out_time;
        next->last_mux_dts = ost->last_mux_dts;
        next->quality = ost->quality;
        next->error = ost->error;
      }
  }
  inputs[k + 1]->ts_offset += std::llround(end * AV_TIME_BASE);
  ACurrent = k + 1;
  return false;
}

void TEngineMedia::WritePacket(TAVOutputStream& AOst, AVPacket* APacket) {
  APacket->stream_index = AOst.index;
  if (APacket->pts != AV_NOPTS_VALUE) {
    const double end = static_cast<double>(APacket->pts + std::max<int64_t>(APacket->duration, 0)) *
                       av_q2d(AOst.st->time_base);
    AOst.out_time = std::max(AOst.out_time, end);
    AOst.desc->out_time = std::max(AOst.desc->out_time, end);
  }
  FilterAndMux(AOst, 0, APacket);
}

void TEngineMedia::FilterAndMux(TAVOutputStream& AOst, size_t AIndex, AVPacket* APacket) {
  if (AIndex >= AOst.bsfs.size()) {
    if (!APacket)
      return;
    const int ret = av_interleaved_write_frame(output_files[AOst.file_index]->ctx, APacket);
    if (ret < 0)
      throw std::runtime_error(ErrorText("av_interleaved_write_frame()", ret));
    return;
  }
  AVBSFContext* bsf = AOst.bsfs[AIndex];
  int ret = av_bsf_send_packet(bsf, APacket);
  if (ret < 0) {
    const std::string text =
        FormatText("%s failed for stream %d, codec %s", bsf->filter->name, AOst.index,
                   AOst.encoding_needed && AOst.enc && AOst.enc->codec ? AOst.enc->codec->name
                                                                       : "copy") +
        ": " + LibraryErrorText(ret);
    if (o().exit_on_error)
      throw std::runtime_error(text);
    LoggerInstance().Log(&engine, llError, text);
    if (APacket)
      av_packet_unref(APacket);
    return;
  }
  AVPacket* out = av_packet_alloc();
  if (!out)
    throw std::runtime_error("Out of memory");
  try {
    while (av_bsf_receive_packet(bsf, out) >= 0) {
      av_packet_rescale_ts(out, bsf->time_base_out, AOst.st->time_base);
      FilterAndMux(AOst, AIndex + 1, out);
      av_packet_unref(out);
    }
    if (!APacket)
      FilterAndMux(AOst, AIndex + 1, nullptr);
  } catch (...) {
    av_packet_free(&out);
    throw;
  }
  av_packet_free(&out);
}

void TEngineMedia::WriteTrailers() {
  for (auto& ost : ost_table)
    if (!ost->bsfs.empty())
      FilterAndMux(*ost, 0, nullptr);
  for (TOutputFile* file : output_files) {
    if (!file->header_written || file->trailer_written)
      continue;  // join mode: once
    file->trailer_written = true;
    const int ret = av_write_trailer(file->ctx);
    if (ret < 0)
      throw std::runtime_error(ErrorText(file->name, ret));
  }
}
