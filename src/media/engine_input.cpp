// Opening an input: format and decoder requests, the container, the program, stream
// information, the start-time seek, the per-kind stream set-up and the expected duration.
#include <cmath>
#include <stdexcept>

#include <sys/stat.h>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/ffmpeg_loader.h"
#include "media/ffutils.h"
#include "media/logger.h"

namespace {

// Names the input side does not know: the library streams of these kinds carry no decoder
// request.
struct TForcedDecoder {
  AVMediaType type;
  std::string TEngineOptions::*name;
};
constexpr TForcedDecoder kForcedDecoders[] = {
    {AVMEDIA_TYPE_VIDEO, &TEngineOptions::video_codec_name},
    {AVMEDIA_TYPE_AUDIO, &TEngineOptions::audio_codec_name},
    {AVMEDIA_TYPE_SUBTITLE, &TEngineOptions::subtitle_codec_name},
};

// Runs its function when it goes out of scope.
template <class F>
struct TAtExit {
  F f;
  ~TAtExit() { f(); }
};
template <class F>
TAtExit(F) -> TAtExit<F>;

}  // namespace

// The decoder or encoder named AName, checked as both sides check a codec name: unknown, of
// another media type, or experimental while the codec options do not allow it. Throws with
// the message; AKindWord is "decoder" or "encoder".
const AVCodec* FindCodecByName(const std::string& AName, AVMediaType AType, bool AEncoder,
                               const AVCodecContext* AOptions) {
  const char* word = AEncoder ? "encoder" : "decoder";
  const AVCodec* codec = AEncoder ? avcodec_find_encoder_by_name(AName.c_str())
                                  : avcodec_find_decoder_by_name(AName.c_str());
  if (!codec)
    throw std::runtime_error(FormatText("Unknown %s '%s'", word, AName.c_str()));
  if (codec->type != AType)
    throw std::runtime_error(FormatText("Invalid %s type '%s'", word, AName.c_str()));
  if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && AOptions &&
      AOptions->strict_std_compliance > FF_COMPLIANCE_EXPERIMENTAL) {
    std::string text = FormatText(
        "%s '%s' is experimental and might produce bad results.\r\nAdd '-strict experimental' if "
        "you want to use it.",
        word, AName.c_str());
    const AVCodec* other =
        AEncoder ? avcodec_find_encoder(codec->id) : avcodec_find_decoder(codec->id);
    if (other && !(other->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
      text += FormatText("\r\nOr use the non experimental %s '%s'.", word, other->name);
    throw std::runtime_error(text);
  }
  return codec;
}

int TCustomFFmpeg::InputCount() const { return static_cast<int>(media_->inputs.size()); }

AVFormatContext* TCustomFFmpeg::InputHandle(int AIndex) const {
  const auto& inputs = media_->inputs;
  return AIndex >= 0 && AIndex < static_cast<int>(inputs.size()) ? inputs[AIndex]->ctx : nullptr;
}

bool TCustomFFmpeg::OpenInput(const std::string& AFileName) {
  try {
    return media_->OpenInput(AFileName);
  } catch (const std::exception& e) {
    last_err_msg_ = e.what();
    return false;
  }
}

bool TEngineMedia::OpenInput(const std::string& AFileName) {
  TEngineOptions& opt = o();
  // Whatever happens, the request of this input does not reach the next one.
  TAtExit reset{[&opt] { opt.ResetInputSettings(); }};
  std::string& err = engine.last_err_msg_;
  if (static_cast<int>(inputs.size()) >= max_files) {
    err = FormatText("max input files %d reached", max_files);
    return false;
  }
  const int input_index = static_cast<int>(inputs.size());

  // 1. The format asked for.
  const AVInputFormat* file_iformat = nullptr;
  if (!opt.format_name.empty()) {
    file_iformat = av_find_input_format(opt.format_name.c_str());
    if (!file_iformat)
      throw std::runtime_error(FormatText("Unknown input format: \"%s\"", opt.format_name.c_str()));
    opt.format_name.clear();
  }

  // 2. The container context and the format parameters.
  AVFormatContext* ic = avformat_alloc_context();
  if (!ic)
    throw std::runtime_error("avformat_alloc_context failed");
  AVDictionary* params = nullptr;
  bool opened = false;
  TAtExit release{[&] {
    av_dict_free(&params);
    if (!opened)
      avformat_close_input(&ic);  // also frees a context that was never opened
  }};
  av_dict_set_int(&params, "sample_rate", opt.audio_sample_rate, 0);
  av_dict_set_int(&params, "channels", opt.audio_channels, 0);
  if (opt.frame_rate.num > 0 && opt.frame_rate.den > 0)
    av_dict_set(&params, "framerate",
                FormatText("%d/%d", opt.frame_rate.num, opt.frame_rate.den).c_str(), 0);
  if (opt.frame_width > 0 && opt.frame_height > 0)
    av_dict_set(&params, "video_size",
                FormatText("%dx%d", opt.frame_width, opt.frame_height).c_str(), 0);
  if (opt.frame_pix_fmt != AV_PIX_FMT_NONE)
    av_dict_set(&params, "pixel_format", av_get_pix_fmt_name(opt.frame_pix_fmt), 0);
  if (opt.video_channel != 0)
    av_dict_set_int(&params, "channel", opt.video_channel, 0);
  if (!opt.video_standard.empty())
    av_dict_set(&params, "standard", opt.video_standard.c_str(), 0);
  if (opt.loop_input)
    av_dict_set(&params, "loop", "1", 0);
  engine.FFOptions().CopyFormatOptions(ic, false, nullptr);

  // 3. The decoders asked for.
  const AVCodecContext* codec_opts = engine.FFOptions().avcodec_opts(mkVideo);
  const AVCodec* forced[AVMEDIA_TYPE_NB] = {};
  for (const TForcedDecoder& f : kForcedDecoders) {
    const std::string& name = opt.*f.name;
    if (name.empty())
      continue;
    try {
      forced[f.type] = FindCodecByName(name, f.type, false, codec_opts);
    } catch (const std::exception& e) {
      err = e.what();
      return false;
    }
  }
  if (forced[AVMEDIA_TYPE_VIDEO]) {
    ic->video_codec = forced[AVMEDIA_TYPE_VIDEO];
    ic->video_codec_id = forced[AVMEDIA_TYPE_VIDEO]->id;
  }
  if (forced[AVMEDIA_TYPE_AUDIO]) {
    ic->audio_codec = forced[AVMEDIA_TYPE_AUDIO];
    ic->audio_codec_id = forced[AVMEDIA_TYPE_AUDIO]->id;
  }
  if (forced[AVMEDIA_TYPE_SUBTITLE]) {
    ic->subtitle_codec = forced[AVMEDIA_TYPE_SUBTITLE];
    ic->subtitle_codec_id = forced[AVMEDIA_TYPE_SUBTITLE]->id;
  }

  // 4. Non-blocking reads; the old pgmyuv name.
  ic->flags |= AVFMT_FLAG_NONBLOCK;
  if (opt.pgmyuv_compatibility_hack) {
    if (const AVCodec* pgmyuv = avcodec_find_decoder(AV_CODEC_ID_PGMYUV)) {
      ic->video_codec = pgmyuv;
      ic->video_codec_id = AV_CODEC_ID_PGMYUV;
    }
  }

  // 5. Open.
  const std::string lib_name = ToLibFileName(AFileName);
  int ret = avformat_open_input(&ic, lib_name.c_str(), file_iformat, &params);
  if (ret < 0) {
    err = ErrorText(AFileName, ret);
    return false;  // the library has freed the context
  }
  opened = true;
  auto input = std::make_unique<TInputFile>();
  input->ctx = ic;
  input->name = AFileName;
  ic = nullptr;  // owned by input from here
  AVFormatContext* ctx = input->ctx;

  // 6. The program.
  if (opt.opt_programid != 0) {
    bool found = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
      ctx->streams[i]->discard = AVDISCARD_ALL;
    for (unsigned p = 0; p < ctx->nb_programs; ++p) {
      AVProgram* program = ctx->programs[p];
      if (program->id != opt.opt_programid)
        continue;
      found = true;
      for (unsigned s = 0; s < program->nb_stream_indexes; ++s)
        ctx->streams[program->stream_index[s]]->discard = AVDISCARD_DEFAULT;
    }
    if (!found) {
      err = "Specified program id not found";
      avformat_close_input(&input->ctx);
      return false;
    }
    opt.opt_programid = 0;
  }

  // 7. Stream information.
  {
    std::lock_guard lock(CodecLock());
    ret = avformat_find_stream_info(ctx, nullptr);
  }
  if (ret < 0 && engine.Verbose() >= 0) {
    err = FormatText("%s: could not find codec parameters", AFileName.c_str());
    LoggerInstance().Log(&engine, llVerbose, err);
    avformat_close_input(&input->ctx);
    return false;
  }

  // 8. The start-time seek.
  int64_t timestamp = opt.start_time;
  if (ctx->start_time != AV_NOPTS_VALUE)
    timestamp += ctx->start_time;
  if (opt.start_time != 0) {
    ret = av_seek_frame(ctx, -1, timestamp, AVSEEK_FLAG_BACKWARD);
    if (ret < 0 && engine.Verbose() > 0)
      LoggerInstance().LogFmt(&engine, llVerbose, "%s: could not seek to position %0.3f",
                              AFileName.c_str(), static_cast<double>(timestamp) / AV_TIME_BASE);
    opt.start_time = 0;
  }

  // 9. Per stream.
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* st = ctx->streams[i];
    AVCodecParameters* par = st->codecpar;
    const bool tracked = i < static_cast<unsigned>(MaxStreams);
    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        opt.frame_height = par->height;
        opt.frame_width = par->width;
        AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio
                                                     : par->sample_aspect_ratio;
        double ratio = sar.num && sar.den ? av_q2d(sar) : 0.0;
        if (par->width && par->height) {
          if (ratio == 0.0)
            ratio = 1.0;
          ratio *= static_cast<double>(par->width) / par->height;
        }
        if (ratio == 0.0)
          ratio = 4.0 / 3.0;
        opt.frame_aspect_ratio = ratio;
        AVPixelFormat pix = static_cast<AVPixelFormat>(par->format);
        opt.frame_pix_fmt = pix == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : pix;
        AVRational rate = st->r_frame_rate;
        if (!rate.num || !rate.den)
          rate = st->avg_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
          if (st->avg_frame_rate.num && av_cmp_q(st->avg_frame_rate, rate) != 0 &&
              engine.Verbose() >= 0)
            LoggerInstance().LogFmt(
                &engine, llInfo,
                "Seems stream %u codec frame rate differs from container frame rate: %2.2f "
                "(%d/%d) -> %2.2f (%d/%d)",
                i, av_q2d(st->avg_frame_rate), st->avg_frame_rate.num, st->avg_frame_rate.den,
                av_q2d(rate), rate.num, rate.den);
          opt.frame_rate = rate;
          opt.input_video_rates.push_back(rate);
        }
        if (tracked)
          input->codecs[i] = forced[AVMEDIA_TYPE_VIDEO];
        if (opt.video_disable)
          st->discard = AVDISCARD_ALL;
        else if (opt.video_discard)
          st->discard = static_cast<AVDiscard>(opt.video_discard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        av_channel_layout_uninit(&input_layout);
        av_channel_layout_copy(&input_layout, &par->ch_layout);
        if (par->ch_layout.nb_channels > 0)
          opt.audio_channels = par->ch_layout.nb_channels;
        if (par->sample_rate > 0)
          opt.audio_sample_rate = par->sample_rate;
        opt.audio_sample_fmt = static_cast<AVSampleFormat>(par->format);
        if (tracked)
          input->codecs[i] = forced[AVMEDIA_TYPE_AUDIO];
        if (opt.audio_disable)
          st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (tracked)
          input->codecs[i] = forced[AVMEDIA_TYPE_SUBTITLE];
        if (opt.subtitle_disable)
          st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:  // streams the demuxer could not classify are not used
        break;
      default:
        avformat_close_input(&input->ctx);
        throw std::runtime_error("invalid codec_type");
    }
  }

  // 10. The expected duration: the longest input.
  if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > engine.total_output_duration_)
    engine.total_output_duration_ = ctx->duration;

  // 11. The time-stamp offset and scales.
  input->ts_offset = opt.input_ts_offset - (opt.copy_ts ? 0 : timestamp);
  if (input_index < opt.MaxFiles())
    input->ts_scale = opt.input_ts_scale[input_index];
  struct stat sb {};
  if (::stat(AFileName.c_str(), &sb) == 0 && S_ISREG(sb.st_mode)) {
    input->has_id = true;
    input->dev = sb.st_dev;
    input->ino = sb.st_ino;
  }

  // 12. The format dump.
  if (engine.Verbose() >= 0)
    av_dump_format(ctx, input_index, lib_name.c_str(), 0);

  // 13.
  inputs.push_back(std::move(input));
  return true;
}
