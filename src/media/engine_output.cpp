// Creating an output: its format, the media it carries, its video, audio and subtitle streams
// with the settings of the option state, metadata, the file itself and join mode.
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include <sys/stat.h>

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/opt.h>
}

#include "media/encoder_names.h"
#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/ffutils.h"
#include "media/logger.h"

namespace {

constexpr char kStreamPrefix[] = "stream:";

// The sample aspect ratio that gives the display ratio AAspect to a picture of AWidth x
// AHeight (3/4 without a size), reduced to terms of at most 255.
AVRational SampleAspect(double AAspect, int AWidth, int AHeight) {
  if (AAspect <= 0.0)
    return {0, 1};
  double sar = AWidth > 0 && AHeight > 0 ? AAspect * AHeight / AWidth : AAspect * 3.0 / 4.0;
  return av_d2q(sar, 255);
}

// The encoder a stream is to use: by name (mapped names logged) or the format's default.
const AVCodec* ChooseEncoder(TCustomFFmpeg& AEngine, const std::string& AName, AVMediaType AType,
                             const AVOutputFormat* AFormat, const std::string& AFileName) {
  if (!AName.empty()) {
    TEncoderResolution resolved = ResolveEncoderName(AName);
    if (resolved.Mapped)
      LoggerInstance().LogFmt(&AEngine, llInfo, "Encoder '%s' is not available; using '%s'.",
                              AName.c_str(), resolved.Name.c_str());
    const std::string& name = resolved.Name.empty() ? AName : resolved.Name;
    return FindCodecByName(name, AType, true, AEngine.FFOptions().avcodec_opts(mkVideo));
  }
  AVCodecID id = av_guess_codec(AFormat, nullptr, AFileName.c_str(), nullptr, AType);
  return id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
}

void SetLanguage(AVStream* ASt, const std::string& ALanguage) {
  if (!ALanguage.empty())
    av_dict_set(&ASt->metadata, "language", ALanguage.c_str(), 0);
}

// Parses "start,end,q/start,end,q..." into the encoder's rate-control overrides.
void ApplyRcOverride(AVCodecContext* AEnc, const std::string& AText) {
  if (AText.empty())
    return;
  std::vector<RcOverride> overrides;
  const char* p = AText.c_str();
  for (;;) {
    int start = 0, end = 0, q = 0;
    if (std::sscanf(p, "%d,%d,%d", &start, &end, &q) != 3)
      throw std::runtime_error("error parsing rc_override");
    RcOverride r{};
    r.start_frame = start;
    r.end_frame = end;
    if (q > 0) {
      r.qscale = q;
      r.quality_factor = 1.0f;
    } else {
      r.qscale = 0;
      r.quality_factor = -q / 100.0f;
    }
    overrides.push_back(r);
    p = std::strchr(p, '/');
    if (!p)
      break;
    ++p;
  }
  av_freep(&AEnc->rc_override);
  AEnc->rc_override =
      static_cast<RcOverride*>(av_malloc_array(overrides.size(), sizeof(RcOverride)));
  if (!AEnc->rc_override)
    throw std::runtime_error("Out of memory");
  std::memcpy(AEnc->rc_override, overrides.data(), overrides.size() * sizeof(RcOverride));
  AEnc->rc_override_count = static_cast<int>(overrides.size());
}

uint16_t* CopyMatrix(const std::vector<uint16_t>& AMatrix) {
  if (AMatrix.size() != 64)
    return nullptr;
  auto* m = static_cast<uint16_t*>(av_malloc(64 * sizeof(uint16_t)));
  if (!m)
    throw std::runtime_error("Out of memory");
  std::memcpy(m, AMatrix.data(), 64 * sizeof(uint16_t));
  return m;
}

// Seconds since 1970 as the library writes creation times.
std::string CreationTime(int64_t ASeconds) {
  std::time_t t = static_cast<std::time_t>(ASeconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
  return text;
}

// A new stream of AFile with the settings every kind shares: its id from streamid_map, the
// kind, the bitstream filters and the codec tag.
std::unique_ptr<TOutputStreamDesc> NewStreamDesc(TOutputFile& AFile, AVMediaType AType,
                                                 const TStreamSettings& ASettings,
                                                 const TEngineOptions& AOptions) {
  AVFormatContext* oc = AFile.ctx;
  const int index = static_cast<int>(oc->nb_streams);
  AVStream* st = avformat_new_stream(oc, nullptr);
  if (!st)
    throw std::runtime_error("Could not alloc stream");
  if (index < MaxStreams && AOptions.streamid_map[index] != 0)
    st->id = AOptions.streamid_map[index];
  auto desc = std::make_unique<TOutputStreamDesc>();
  desc->st = st;
  desc->type = AType;
  desc->bitstream_filters = ASettings.bitstream_filters;
  st->codecpar->codec_type = AType;
  st->codecpar->codec_tag = ASettings.codec_tag;
  return desc;
}

}  // namespace

TOutputStreamDesc::~TOutputStreamDesc() {
  avcodec_free_context(&enc);
  av_dict_free(&enc_opts);
  if (fifo)
    av_audio_fifo_free(fifo);
  if (logfile)
    std::fclose(logfile);
}

TOutputFile::~TOutputFile() {
  streams.clear();
  if (ctx) {
    if (ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE))
      avio_closep(&ctx->pb);
    avformat_free_context(ctx);
  }
  av_dict_free(&mux_opts);
}

int TCustomFFmpeg::OutputCount() const { return static_cast<int>(media_->output_files.size()); }

int TCustomFFmpeg::OpenOutput(const std::string& AFileName, bool AJoin) {
  try {
    int result = media_->OpenOutput(AFileName, AJoin);
    Options().ResetOutputSettings();
    return result;
  } catch (const std::exception& e) {
    Options().ResetOutputSettings();
    last_err_msg_ = e.what();
    return -1;
  }
}

int TEngineMedia::OpenOutput(const std::string& AFileName, bool AJoin) {
  TEngineOptions& opt = o();
  std::string& err = engine.last_err_msg_;
  // 1.
  if (engine.join_mode_) {
    err = "Cannot join more than one output file.";
    return -1;
  }
  if (static_cast<int>(output_files.size()) >= max_files) {
    err = FormatText("max output files %d reached", max_files);
    return -1;
  }
  // Names of this form are served by a stream layer the application would register; without
  // one they are refused as an unknown protocol, never taken for file names.
  if (AFileName.rfind(kStreamPrefix, 0) == 0) {
    err = ErrorText(AFileName, AVERROR_PROTOCOL_NOT_FOUND);
    return -1;
  }

  // 2.-3. The format and the container.
  const AVOutputFormat* format = nullptr;
  if (!opt.format_name.empty()) {
    format = av_guess_format(opt.format_name.c_str(), nullptr, nullptr);
    if (!format) {
      err = FormatText("Requested output format '%s' is not a suitable output format",
                       opt.format_name.c_str());
      return -1;
    }
  } else {
    format = av_guess_format(nullptr, AFileName.c_str(), nullptr);
    if (!format) {
      err = FormatText("Unable to find a suitable output format for '%s'", AFileName.c_str());
      return -1;
    }
  }
  const std::string lib_name = ToLibFileName(AFileName);
  auto file = std::make_unique<TOutputFile>();
  file->name = AFileName;
  if (avformat_alloc_output_context2(&file->ctx, format, nullptr, lib_name.c_str()) < 0 ||
      !file->ctx)
    throw std::runtime_error("avformat_alloc_context failed");
  AVFormatContext* oc = file->ctx;

  // 5. The media the output carries.
  bool use_video = opt.video_stream_copy || !opt.video_codec_name.empty() ||
                   format->video_codec != AV_CODEC_ID_NONE;
  bool use_audio = opt.audio_stream_copy || !opt.audio_codec_name.empty() ||
                   format->audio_codec != AV_CODEC_ID_NONE;
  bool use_subtitle = opt.subtitle_stream_copy || !opt.subtitle_codec_name.empty() ||
                      format->subtitle_codec != AV_CODEC_ID_NONE;

  // 6. Only what the inputs have.
  if (!inputs.empty()) {
    bool has_video = false, has_audio = false, has_subtitle = false;
    const size_t looked_at = AJoin ? 1 : inputs.size();
    for (size_t i = 0; i < looked_at; ++i) {
      AVFormatContext* ic = inputs[i]->ctx;
      for (unsigned s = 0; s < ic->nb_streams; ++s) {
        switch (ic->streams[s]->codecpar->codec_type) {
          case AVMEDIA_TYPE_VIDEO: has_video = true; break;
          case AVMEDIA_TYPE_AUDIO: has_audio = true; break;
          case AVMEDIA_TYPE_SUBTITLE: has_subtitle = true; break;
          case AVMEDIA_TYPE_DATA:
          case AVMEDIA_TYPE_ATTACHMENT:
          case AVMEDIA_TYPE_UNKNOWN:
            break;
          default:
            throw std::runtime_error(
                "check_audio_video_sub_inputs fail: invalid codec_type of input file");
        }
      }
    }
    use_video = use_video && has_video;
    use_audio = use_audio && has_audio;
    use_subtitle = use_subtitle && has_subtitle;
  }

  // 7. The streams.
  if (opt.video_disable)
    use_video = false;
  if (opt.audio_disable)
    use_audio = false;
  if (opt.subtitle_disable)
    use_subtitle = false;
  const int output_index = static_cast<int>(output_files.size());
  auto stream_step = [&](bool AUse, TMediaKind AKind, const char* AWhat, auto AMake) {
    if (!AUse)
      return;
    try {
      (this->*AMake)(*file, opt.TakeStreamSettings(AKind, output_index));
    } catch (const std::exception& e) {
      throw std::runtime_error(FormatText("%s fail: %s", AWhat, e.what()));
    }
  };
  stream_step(use_video, mkVideo, "new_video_stream", &TEngineMedia::NewVideoStream);
  stream_step(use_audio, mkAudio, "new_audio_stream", &TEngineMedia::NewAudioStream);
  stream_step(use_subtitle, mkSubtitle, "new_subtitle_stream", &TEngineMedia::NewSubtitleStream);

  // 8. Recording timestamp and metadata, the first of equal keys winning.
  if (opt.rec_timestamp != 0)
    av_dict_set(&oc->metadata, "creation_time", CreationTime(opt.rec_timestamp).c_str(), 0);
  for (auto it = opt.metadata.rbegin(); it != opt.metadata.rend(); ++it)
    av_dict_set(&oc->metadata, it->first.c_str(), it->second.c_str(), 0);
  opt.metadata.clear();

  // 10. A format that numbers its files.
  if ((format->flags & AVFMT_NEEDNUMBER) && !av_filename_number_test(lib_name.c_str())) {
    err = ErrorText(AFileName, AVERROR(EDOM));
    return -1;
  }

  // 11. The file; never one of this task's inputs.
  if (!(format->flags & AVFMT_NOFILE)) {
    struct stat sb {};
    if (::stat(AFileName.c_str(), &sb) == 0)
      for (size_t i = 0; i < inputs.size(); ++i)
        if (inputs[i]->has_id && inputs[i]->dev == sb.st_dev && inputs[i]->ino == sb.st_ino) {
          err = FormatText("%s: the output is the same file as input #%zu", AFileName.c_str(), i);
          return -1;
        }
    int ret = avio_open(&oc->pb, lib_name.c_str(), AVIO_FLAG_WRITE);
    if (ret < 0) {
      err = ErrorText(AFileName, ret);
      return -1;
    }
  }

  // 12. Muxing parameters and the recorded container options.
  oc->max_delay = static_cast<int>(std::lround(opt.mux_max_delay * AV_TIME_BASE));
  if (oc->priv_data && av_opt_find(oc->priv_data, "preload", nullptr, 0, 0))
    av_opt_set_int(oc->priv_data, "preload", std::llround(opt.mux_preload * AV_TIME_BASE), 0);
  if (opt.loop_output >= 0 && oc->priv_data && av_opt_find(oc->priv_data, "loop", nullptr, 0, 0))
    av_opt_set_int(oc->priv_data, "loop", opt.loop_output, 0);
  oc->flags |= AVFMT_FLAG_NONBLOCK;
  engine.FFOptions().CopyFormatOptions(oc, true, &file->mux_opts);

  // 9. Into the output table; 13. join mode.
  TOutputFile* added = file.get();
  outputs.push_back(std::move(file));
  output_files.push_back(added);
  if (AJoin && inputs.size() > 1) {
    engine.join_mode_ = true;
    int64_t total = 0;
    for (const auto& in : inputs)
      if (in->ctx->duration != AV_NOPTS_VALUE && in->ctx->duration > 0)
        total += in->ctx->duration;
    engine.total_output_duration_ = total == 0 ? -1 : total;
    for (size_t i = 1; i < inputs.size(); ++i)
      output_files.push_back(added);
  }
  return static_cast<int>(output_files.size());
}

void TEngineMedia::NewVideoStream(TOutputFile& AFile, const TStreamSettings& ASettings) {
  TEngineOptions& opt = o();
  AVFormatContext* oc = AFile.ctx;
  auto desc = NewStreamDesc(AFile, AVMEDIA_TYPE_VIDEO, ASettings, opt);
  AVStream* st = desc->st;
  desc->vfilters = ASettings.vfilters;

  const AVRational aspect =
      SampleAspect(opt.frame_aspect_ratio, ASettings.frame_width, ASettings.frame_height);
  if (ASettings.stream_copy) {
    desc->stream_copy = true;
    st->sample_aspect_ratio = aspect;
    SetLanguage(st, ASettings.language);
    AFile.streams.push_back(std::move(desc));
    return;
  }

  AVRational rate = opt.frame_rate.num > 0 && opt.frame_rate.den > 0 ? opt.frame_rate
                                                                      : AVRational{25, 1};
  const AVCodec* codec =
      ChooseEncoder(engine, ASettings.codec_name, AVMEDIA_TYPE_VIDEO, oc->oformat, AFile.name);
  desc->encoder = codec;
  AVCodecContext* enc = avcodec_alloc_context3(codec);
  if (!enc)
    throw std::runtime_error("Out of memory");
  desc->enc = enc;
  enc->codec_type = AVMEDIA_TYPE_VIDEO;
  enc->codec_id = codec ? codec->id : AV_CODEC_ID_NONE;
  enc->thread_count = opt.thread_count;
  engine.FFOptions().CopyCodecOptions(enc, mkVideo, true, &desc->enc_opts);
  enc->codec_tag = ASettings.codec_tag;
  // Global headers: vglobal bit 1, or the format's wish when vglobal is 0; local headers: bit 2.
  if ((opt.video_global_header & 1) ||
      (opt.video_global_header == 0 && (oc->oformat->flags & AVFMT_GLOBALHEADER)))
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (opt.video_global_header & 2)
    enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;

  if (codec && codec->supported_framerates && !opt.force_fps)
    rate = codec->supported_framerates[av_find_nearest_q_idx(rate, codec->supported_framerates)];
  desc->frame_rate = rate;
  enc->time_base = av_inv_q(rate);
  enc->framerate = rate;
  enc->width = ASettings.frame_width;
  enc->height = ASettings.frame_height;
  enc->sample_aspect_ratio = aspect;
  st->sample_aspect_ratio = aspect;
  enc->pix_fmt = ASettings.pix_fmt;
  if (codec && codec->pix_fmts) {
    const AVPixelFormat* p = codec->pix_fmts;
    for (; *p != AV_PIX_FMT_NONE; ++p)
      if (*p == enc->pix_fmt)
        break;
    const bool mjpeg_yuv = codec->id == AV_CODEC_ID_MJPEG &&
                           enc->strict_std_compliance <= FF_COMPLIANCE_UNOFFICIAL &&
                           (enc->pix_fmt == AV_PIX_FMT_YUV420P ||
                            enc->pix_fmt == AV_PIX_FMT_YUV422P);
    if (*p == AV_PIX_FMT_NONE && !mjpeg_yuv)
      enc->pix_fmt = codec->pix_fmts[0];
  }
  if (opt.intra_only)
    enc->gop_size = 0;
  if (opt.video_qscale > 0 || opt.same_quality) {
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = static_cast<int>(FF_QP2LAMBDA * opt.video_qscale);
  }
  if (!opt.intra_matrix.empty())
    enc->intra_matrix = CopyMatrix(opt.intra_matrix);
  if (!opt.inter_matrix.empty())
    enc->inter_matrix = CopyMatrix(opt.inter_matrix);
  ApplyRcOverride(enc, opt.video_rc_override_string);
  if (!enc->rc_initial_buffer_occupancy)
    enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
  enc->intra_dc_precision = opt.intra_dc_precision - 8;
  if (opt.do_psnr)
    enc->flags |= AV_CODEC_FLAG_PSNR;
  if (opt.do_pass == 1)
    enc->flags |= AV_CODEC_FLAG_PASS1;
  else if (opt.do_pass == 2)
    enc->flags |= AV_CODEC_FLAG_PASS2;

  SetLanguage(st, ASettings.language);
  AFile.streams.push_back(std::move(desc));
}

void TEngineMedia::NewAudioStream(TOutputFile& AFile, const TStreamSettings& ASettings) {
  TEngineOptions& opt = o();
  AVFormatContext* oc = AFile.ctx;
  auto desc = NewStreamDesc(AFile, AVMEDIA_TYPE_AUDIO, ASettings, opt);
  AVStream* st = desc->st;
  if (ASettings.stream_copy) {
    desc->stream_copy = true;
    SetLanguage(st, ASettings.language);
    AFile.streams.push_back(std::move(desc));
    return;
  }

  const AVCodec* codec =
      ChooseEncoder(engine, ASettings.codec_name, AVMEDIA_TYPE_AUDIO, oc->oformat, AFile.name);
  desc->encoder = codec;
  AVCodecContext* enc = avcodec_alloc_context3(codec);
  if (!enc)
    throw std::runtime_error("Out of memory");
  desc->enc = enc;
  enc->codec_type = AVMEDIA_TYPE_AUDIO;
  enc->codec_id = codec ? codec->id : AV_CODEC_ID_NONE;
  enc->thread_count = opt.thread_count;
  if (oc->oformat->flags & AVFMT_GLOBALHEADER)
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  engine.FFOptions().CopyCodecOptions(enc, mkAudio, true, &desc->enc_opts);
  enc->codec_tag = ASettings.codec_tag;
  if (opt.audio_qscale > -99999.0f) {
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = static_cast<int>(FF_QP2LAMBDA * opt.audio_qscale);
  }
  // Channels and layout: the input's layout when it has the asked channel count.
  av_channel_layout_uninit(&enc->ch_layout);
  if (input_layout.nb_channels == opt.audio_channels &&
      input_layout.order != AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_copy(&enc->ch_layout, &input_layout);
  else
    av_channel_layout_default(&enc->ch_layout, opt.audio_channels);
  if (codec && codec->ch_layouts) {
    bool supported = false;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l)
      supported = supported || av_channel_layout_compare(l, &enc->ch_layout) == 0;
    if (!supported) {
      const AVChannelLayout* pick = nullptr;
      for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels && !pick; ++l)
        if (l->nb_channels == opt.audio_channels)
          pick = l;
      av_channel_layout_uninit(&enc->ch_layout);
      av_channel_layout_copy(&enc->ch_layout, pick ? pick : codec->ch_layouts);
    }
  }
  enc->sample_fmt = opt.audio_sample_fmt;
  if (codec && codec->sample_fmts) {
    const AVSampleFormat* f = codec->sample_fmts;
    for (; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == enc->sample_fmt)
        break;
    if (*f == AV_SAMPLE_FMT_NONE)
      enc->sample_fmt = codec->sample_fmts[0];
  }
  enc->sample_rate = opt.audio_sample_rate;
  if (codec && codec->supported_samplerates) {
    int best = 0;
    int best_dist = INT_MAX;
    for (const int* r = codec->supported_samplerates; *r; ++r) {
      int dist = std::abs(enc->sample_rate - *r);
      if (dist < best_dist) {
        best_dist = dist;
        best = *r;
      }
    }
    if (best != enc->sample_rate) {
      LoggerInstance().LogFmt(&engine, llWarning,
                              "Requested sampling rate unsupported using closest supported (%d)",
                              best);
      enc->sample_rate = best;
    }
  }
  enc->time_base = AVRational{1, enc->sample_rate > 0 ? enc->sample_rate : 1};
  SetLanguage(st, ASettings.language);
  AFile.streams.push_back(std::move(desc));
}

void TEngineMedia::NewSubtitleStream(TOutputFile& AFile, const TStreamSettings& ASettings) {
  TEngineOptions& opt = o();
  AVFormatContext* oc = AFile.ctx;
  auto desc = NewStreamDesc(AFile, AVMEDIA_TYPE_SUBTITLE, ASettings, opt);
  AVStream* st = desc->st;
  if (ASettings.stream_copy) {
    desc->stream_copy = true;
  } else {
    const AVCodec* codec = ChooseEncoder(engine, ASettings.codec_name, AVMEDIA_TYPE_SUBTITLE,
                                         oc->oformat, AFile.name);
    desc->encoder = codec;
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    if (!enc)
      throw std::runtime_error("Out of memory");
    desc->enc = enc;
    enc->codec_type = AVMEDIA_TYPE_SUBTITLE;
    enc->codec_id = codec ? codec->id : AV_CODEC_ID_NONE;
    enc->codec_tag = ASettings.codec_tag;
    engine.FFOptions().CopyCodecOptions(enc, mkSubtitle, true, &desc->enc_opts);
  }
  SetLanguage(st, ASettings.language);
  AFile.streams.push_back(std::move(desc));
}

void TEngineMedia::CreatePendingStreams() {
  TEngineOptions& opt = o();
  for (; new_streams_made < opt.new_streams.size(); ++new_streams_made) {
    const TStreamSettings& s = opt.new_streams[new_streams_made];
    if (s.output_index < 0 || s.output_index >= static_cast<int>(output_files.size()))
      throw std::runtime_error("At least one output file must be specified");
    TOutputFile& file = *output_files[s.output_index];
    switch (s.kind) {
      case mkVideo: NewVideoStream(file, s); break;
      case mkAudio: NewAudioStream(file, s); break;
      case mkSubtitle: NewSubtitleStream(file, s); break;
      case mkData:
      case mkAttachment:
        break;
    }
  }
}
