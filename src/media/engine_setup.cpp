// The run set-up: the input and output stream tables, the mapping of output streams to input
// streams, stream copy or encoding for each, the encoders and decoders, metadata, chapters,
// headers and the mapping report; and its undoing.
#include <cinttypes>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/ffmpeg_loader.h"
#include "media/ffutils.h"
#include "media/logger.h"
#include "media/video_hook.h"

const char* MediaTypeName(AVMediaType AType) {
  switch (AType) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
  }
}

AVFrame* AllocPicture(AVPixelFormat AFormat, int AWidth, int AHeight) {
  AVFrame* frame = av_frame_alloc();
  if (!frame)
    return nullptr;
  frame->format = AFormat;
  frame->width = AWidth;
  frame->height = AHeight;
  if (av_frame_get_buffer(frame, 0) < 0)
    av_frame_free(&frame);
  return frame;
}

int64_t NowMicros() { return av_gettime(); }

void TFilterGraph::Free() {
  avfilter_graph_free(&graph);
  src = nullptr;
  sink = nullptr;
}

TAVInputStream::~TAVInputStream() {
  avcodec_free_context(&dec);
  deinterlace.Free();
}

TAVOutputStream::~TAVOutputStream() {
  av_frame_free(&pict_tmp);
  sws_freeContext(img_resample_ctx);
  filter.Free();
  swr_free(&resample);
  av_channel_layout_uninit(&resample_in_layout);
  for (AVBSFContext*& bsf : bsfs)
    av_bsf_free(&bsf);
}

namespace {

std::string StreamText(int AFile, int AIndex, AVMediaType AType) {
  return FormatText("#%d.%d (%s)", AFile, AIndex, MediaTypeName(AType));
}

// Creates a bitstream filter from its name and the text after its "=" ("key=value:..." or,
// for a filter with one main option, just the value), for packets of APar in ATimeBase.
AVBSFContext* MakeBitstreamFilter(const TBitstreamFilterSpec& ASpec, const AVCodecParameters* APar,
                                  AVRational ATimeBase) {
  const AVBitStreamFilter* filter = av_bsf_get_by_name(ASpec.name.c_str());
  AVBSFContext* bsf = nullptr;
  if (!filter || av_bsf_alloc(filter, &bsf) < 0)
    throw std::runtime_error(FormatText("Unknown bitstream filter %s", ASpec.name.c_str()));
  auto fail = [&](int ARet) {
    av_bsf_free(&bsf);
    throw std::runtime_error(ErrorText(ASpec.name, ARet));
  };
  int ret = avcodec_parameters_copy(bsf->par_in, APar);
  if (ret < 0)
    fail(ret);
  bsf->time_base_in = ATimeBase;
  if (!ASpec.args.empty() && bsf->priv_data) {
    ret = av_set_options_string(bsf->priv_data, ASpec.args.c_str(), "=", ":");
    if (ret < 0) {
      // A bare value sets the filter's first option.
      const AVOption* first = av_opt_next(bsf->priv_data, nullptr);
      ret = first ? av_opt_set(bsf->priv_data, first->name, ASpec.args.c_str(), 0) : ret;
    }
    if (ret < 0)
      fail(ret);
  }
  ret = av_bsf_init(bsf);
  if (ret < 0)
    fail(ret);
  return bsf;
}

// Reads a whole file into a buffer the library frees; nullptr with AError set on failure.
char* ReadWholeFile(const std::string& AName, bool& AOutOfMemory) {
  AOutOfMemory = false;
  FILE* f = std::fopen(AName.c_str(), "rb");
  if (!f)
    return nullptr;
  std::vector<char> data;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    data.insert(data.end(), chunk, chunk + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed)
    return nullptr;
  char* buf = static_cast<char*>(av_malloc(data.size() + 1));
  if (!buf) {
    AOutOfMemory = true;
    return nullptr;
  }
  if (!data.empty())
    std::memcpy(buf, data.data(), data.size());
  buf[data.size()] = '\0';
  return buf;
}

}  // namespace

void TEngineMedia::SetUpRun() {
  TEngineOptions& opt = o();
  const int verbose = engine.Verbose();
  CreatePendingStreams();
  packet = av_packet_alloc();
  enc_packet = av_packet_alloc();
  copy_packet = av_packet_alloc();
  decoded = av_frame_alloc();
  filtered = av_frame_alloc();
  audio_frame = av_frame_alloc();
  if (!packet || !enc_packet || !copy_packet || !decoded || !filtered || !audio_frame)
    throw std::runtime_error("Out of memory");

  // 1. The input stream table.
  for (size_t f = 0; f < inputs.size(); ++f) {
    TInputFile& in = *inputs[f];
    in.ist_index = static_cast<int>(ist_table.size());
    in.nb_streams = static_cast<int>(in.ctx->nb_streams);
    in.eof_reached = false;
    in.no_packet = false;
    for (unsigned s = 0; s < in.ctx->nb_streams; ++s) {
      auto ist = std::make_unique<TAVInputStream>();
      ist->file_index = static_cast<int>(f);
      ist->index = static_cast<int>(s);
      ist->st = in.ctx->streams[s];
      if (opt.rate_emu)
        ist->start = NowMicros();
      ist_table.push_back(std::move(ist));
    }
  }

  // 2. The output streams.
  int nb_ostreams = 0;
  for (size_t i = 0; i < output_files.size(); ++i) {
    AVFormatContext* oc = output_files[i]->ctx;
    if (oc->nb_streams == 0) {
      av_dump_format(oc, static_cast<int>(i), oc->url, 1);
      throw std::runtime_error(FormatText("Output file #%zu does not contain any stream", i));
    }
    nb_ostreams += static_cast<int>(oc->nb_streams);
  }
  const auto& maps = opt.stream_maps;
  if (!maps.empty() && static_cast<int>(maps.size()) != nb_ostreams)
    throw std::runtime_error("Number of stream maps must match number of output streams");
  auto stream_exists = [&](int AFile, int AStream) {
    return AFile >= 0 && AFile < static_cast<int>(inputs.size()) && AStream >= 0 &&
           AStream < inputs[AFile]->nb_streams;
  };
  for (const TAVStreamMap& m : maps) {
    if (!stream_exists(m.file_index, m.stream_index))
      throw std::runtime_error(
          FormatText("Could not find input stream #%d.%d", m.file_index, m.stream_index));
    if (!stream_exists(m.sync_file_index, m.sync_stream_index))
      throw std::runtime_error(FormatText("Could not find sync stream #%d.%d", m.sync_file_index,
                                          m.sync_stream_index));
  }
  for (size_t i = 0; i < output_files.size(); ++i) {
    TOutputFile& file = *output_files[i];
    for (size_t s = 0; s < file.streams.size(); ++s) {
      auto ost = std::make_unique<TAVOutputStream>();
      ost->file_index = static_cast<int>(i);
      ost->index = static_cast<int>(s);
      ost->desc = file.streams[s].get();
      ost->st = ost->desc->st;
      ost->enc = ost->desc->enc;
      ost->encoding_needed = !ost->desc->stream_copy;
      ost_table.push_back(std::move(ost));
    }
  }

  // 3. Each output stream's source.
  for (size_t n = 0; n < ost_table.size(); ++n) {
    TAVOutputStream& ost = *ost_table[n];
    const AVMediaType type = ost.desc->type;
    if (!maps.empty()) {
      const TAVStreamMap& m = maps[n];
      ost.source_index = inputs[m.file_index]->ist_index + m.stream_index;
      ost.sync_ist = inputs[m.sync_file_index]->ist_index + m.sync_stream_index;
      const AVMediaType in_type = ist_table[ost.source_index]->st->codecpar->codec_type;
      if (in_type != type)
        throw std::runtime_error(FormatText(
            "Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.file_index,
            m.stream_index, MediaTypeName(in_type), ost.file_index, ost.index,
            MediaTypeName(type)));
    } else {
      // The unused stream of the type that the reader knows best; in join mode only from the
      // input this output entry pairs with.
      int best = -1;
      int64_t best_score = -1;
      for (size_t j = 0; j < ist_table.size(); ++j) {
        TAVInputStream& ist = *ist_table[j];
        if (!ist.discard || ist.st->discard == AVDISCARD_ALL ||
            ist.st->codecpar->codec_type != type)
          continue;
        if (engine.join_mode_ && ist.file_index != ost.file_index)
          continue;
        const int64_t score = (ist.st->codecpar->codec_id != AV_CODEC_ID_NONE ? (1LL << 40) : 0) +
                              (ist.st->nb_frames > 0 ? ist.st->nb_frames : 0);
        if (score > best_score) {
          best_score = score;
          best = static_cast<int>(j);
        }
      }
      if (best < 0 && !engine.join_mode_)
        for (size_t j = 0; j < ist_table.size(); ++j) {
          TAVInputStream& ist = *ist_table[j];
          if (ist.st->discard != AVDISCARD_ALL && ist.st->codecpar->codec_type == type)
            best = static_cast<int>(j);
        }
      if (best < 0)
        throw std::runtime_error(
            FormatText("Could not find input stream matching output stream #%d.%d (%s)",
                       ost.file_index, ost.index, MediaTypeName(type)));
      ost.source_index = best;
      ost.sync_ist = best;
    }
    ist_table[ost.source_index]->discard = false;
    ost.show_fps = true;
  }

  // 4. Stream copy or encoding.
  const bool hooks_loaded = engine.UsingVideoHooks();
  custom_hook_on = static_cast<bool>(engine.OnCustomHook);
  video_hooks_on = hooks_loaded;
  const bool post_hooks = !engine.PostHooks().Empty();
  for (size_t n = 0; n < ost_table.size(); ++n) {
    TAVOutputStream& ost = *ost_table[n];
    TAVInputStream& ist = *ist_table[ost.source_index];
    TOutputStreamDesc& desc = *ost.desc;
    AVFormatContext* oc = output_files[ost.file_index]->ctx;
    const AVCodecParameters* ipar = ist.st->codecpar;
    const bool first_use = ost.file_index == 0 || !engine.join_mode_;  // join: streams once
    av_dict_copy(&ost.st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
    ost.st->disposition = ist.st->disposition;

    if (desc.stream_copy) {
      if (first_use) {
        const uint32_t own_tag = ost.st->codecpar->codec_tag;
        if (ipar->extradata_size > INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)
          throw std::runtime_error("icodec.extradata_size is invalid (too large)");
        int ret = avcodec_parameters_copy(ost.st->codecpar, ipar);
        if (ret < 0)
          throw std::runtime_error(ErrorText("avcodec_parameters_copy", ret));
        uint32_t tag = own_tag;
        if (!tag) {
          const AVCodecTag* const* table = oc->oformat->codec_tag;
          if (!table || av_codec_get_id(table, ipar->codec_tag) == ipar->codec_id ||
              av_codec_get_tag(table, ipar->codec_id) == 0)
            tag = ipar->codec_tag;
        }
        ost.st->codecpar->codec_tag = tag;
        ost.st->time_base = ist.st->time_base;
      }
      switch (ipar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
          if (custom_hook_on)
            throw std::runtime_error(
                "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
          if (hooks_loaded)
            throw std::runtime_error(
                "-vcodec copy and -vhook are incompatible (frames are not decoded)");
          if (post_hooks)
            throw std::runtime_error(
                "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
          if (first_use) {
            ost.st->avg_frame_rate = ist.st->avg_frame_rate;
            ost.st->r_frame_rate = ist.st->r_frame_rate;
            if (!ost.st->sample_aspect_ratio.num)
              ost.st->sample_aspect_ratio = ist.st->sample_aspect_ratio;
          }
          break;
        case AVMEDIA_TYPE_AUDIO:
          if (opt.audio_volume != 256)
            throw std::runtime_error(
                "-acodec copy and -vol are incompatible (frames are not decoded)");
          if (first_use && ((ipar->codec_id == AV_CODEC_ID_MP3 && ipar->block_align == 1) ||
                            ipar->codec_id == AV_CODEC_ID_AC3))
            ost.st->codecpar->block_align = 0;
          break;
        default:
          break;
      }
    } else {
      AVCodecContext* enc = ost.enc;
      switch (desc.type) {
        case AVMEDIA_TYPE_VIDEO: {
          if (enc->pix_fmt == AV_PIX_FMT_NONE)
            throw std::runtime_error("Video pixel format is unknown, stream cannot be encoded");
          ost.topBand = ost.original_topBand = opt.frame_topBand;
          ost.bottomBand = ost.original_bottomBand = opt.frame_bottomBand;
          ost.leftBand = ost.original_leftBand = opt.frame_leftBand;
          ost.rightBand = ost.original_rightBand = opt.frame_rightBand;
          ost.video_crop = ost.topBand || ost.bottomBand || ost.leftBand || ost.rightBand;
          const int in_w = ipar->width, in_h = ipar->height;
          const AVPixelFormat in_fmt = static_cast<AVPixelFormat>(ipar->format);
          const int crop_w = in_w - ost.leftBand - ost.rightBand;
          const int crop_h = in_h - ost.topBand - ost.bottomBand;
          if (first_use && (enc->width <= 0 || enc->height <= 0)) {
            enc->width = crop_w;
            enc->height = crop_h;
          }
          if (!desc.vfilters.empty()) {
            ConfigureVideoFilters(ost, ist, first_use);
          } else {
            ost.video_resample = crop_w != enc->width || crop_h != enc->height ||
                                 in_fmt != enc->pix_fmt;
            if (ost.video_resample) {
              ost.pict_tmp = AllocPicture(enc->pix_fmt, enc->width, enc->height);
              if (!ost.pict_tmp)
                throw std::runtime_error("Cannot allocate temp picture, check pix fmt");
              ost.img_resample_ctx = sws_getContext(
                  crop_w, crop_h, in_fmt, enc->width, enc->height, enc->pix_fmt,
                  engine.FFOptions().SwsFlags(), nullptr, nullptr, nullptr);
              if (!ost.img_resample_ctx)
                throw std::runtime_error("Cannot get resampling context");
            }
            ost.original_width = in_w;
            ost.original_height = in_h;
            ost.resample_width = crop_w;
            ost.resample_height = crop_h;
            ost.resample_pix_fmt = in_fmt;
          }
          break;
        }
        case AVMEDIA_TYPE_AUDIO:
          if (first_use) {
            desc.fifo = av_audio_fifo_alloc(enc->sample_fmt,
                                            enc->ch_layout.nb_channels > 0
                                                ? enc->ch_layout.nb_channels : 1,
                                            1024);
            if (!desc.fifo)
              throw std::runtime_error("av_fifo_alloc fail");
          }
          break;
        default:
          break;
      }
      ist.decoding_needed = true;
      // Two-pass log.
      if (first_use && (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) {
        const std::string prefix =
            opt.pass_logfilename_prefix.empty() ? "ffmpeg2pass" : opt.pass_logfilename_prefix;
        desc.logfile_name = FormatText("%s-%zu.log", prefix.c_str(), n).substr(0, 1023);
        if (enc->flags & AV_CODEC_FLAG_PASS1) {
          desc.logfile = std::fopen(desc.logfile_name.c_str(), "wb");
          if (!desc.logfile)
            throw std::runtime_error(FormatText("Cannot write log file %s for pass-1 encoding",
                                                desc.logfile_name.c_str()));
        } else {
          bool out_of_memory = false;
          char* stats = ReadWholeFile(desc.logfile_name, out_of_memory);
          if (!stats)
            throw std::runtime_error(FormatText(
                out_of_memory
                    ? "Could not allocate file buffer: Error reading log file \"%s\" for pass-2 "
                      "encoding"
                    : "Cannot read file: Error reading log file \"%s\" for pass-2 encoding",
                desc.logfile_name.c_str()));
          av_freep(&enc->stats_in);
          enc->stats_in = stats;
        }
      }
    }
  }

  // Opens the decoder of an input stream; returns the error text, empty on success.
  auto open_decoder = [&](TAVInputStream& AIst) -> std::string {
    const AVCodecParameters* ipar = AIst.st->codecpar;
    TInputFile& in = *inputs[AIst.file_index];
    const AVCodec* codec = AIst.index < MaxStreams ? in.codecs[AIst.index] : nullptr;
    if (!codec)
      codec = avcodec_find_decoder(ipar->codec_id);
    const std::string what = StreamText(AIst.file_index, AIst.index, ipar->codec_type);
    if (!codec)
      return FormatText("Decoder (codec id %d) not found for input stream %s", ipar->codec_id,
                        what.c_str());
    AIst.decoder = codec;
    AIst.dec = avcodec_alloc_context3(codec);
    if (!AIst.dec)
      throw std::runtime_error("Out of memory");
    avcodec_parameters_to_context(AIst.dec, ipar);
    AIst.dec->pkt_timebase = AIst.st->time_base;
    const TMediaKind kind = ipar->codec_type == AVMEDIA_TYPE_AUDIO      ? mkAudio
                            : ipar->codec_type == AVMEDIA_TYPE_SUBTITLE ? mkSubtitle
                                                                        : mkVideo;
    engine.FFOptions().CopyCodecOptions(AIst.dec, kind, false, nullptr);
    AIst.dec->thread_count = opt.thread_count;
    int ret;
    {
      std::lock_guard lock(CodecLock());
      ret = avcodec_open2(AIst.dec, codec, nullptr);
    }
    if (ret < 0)
      return FormatText("Error while opening decoder for input stream %s", what.c_str());
    return {};
  };

  // 6. The encoders, each once (join mode: those of the first output).
  std::string open_error;
  for (size_t n = 0; n < ost_table.size() && open_error.empty(); ++n) {
    TAVOutputStream& ost = *ost_table[n];
    TOutputStreamDesc& desc = *ost.desc;
    if (!ost.encoding_needed || desc.opened)
      continue;
    const std::string what = StreamText(ost.file_index, ost.index, desc.type);
    if (!desc.encoder) {
      open_error = FormatText("Encoder (codec id %d) not found for output stream %s",
                              ost.enc->codec_id, what.c_str());
      break;
    }
    AVCodecContext* enc = ost.enc;
    if (desc.type == AVMEDIA_TYPE_VIDEO) {
      // A bit rate outside the minimum and maximum rates in force is one the encoder refuses
      // ("bitrate below min bitrate"): it is brought into that range.
      int64_t rate = enc->bit_rate;
      if (enc->rc_min_rate > 0 && rate < enc->rc_min_rate)
        rate = enc->rc_min_rate;
      if (enc->rc_max_rate > 0 && rate > enc->rc_max_rate)
        rate = enc->rc_max_rate;
      if (rate != enc->bit_rate) {
        LoggerInstance().LogFmt(&engine, llWarning,
                                "Video bit rate %" PRId64 " lies outside the rates %" PRId64
                                " to %" PRId64 " in force for output stream %s; using %" PRId64,
                                enc->bit_rate, enc->rc_min_rate, enc->rc_max_rate, what.c_str(),
                                rate);
        enc->bit_rate = rate;
      }
    }
    if (desc.type == AVMEDIA_TYPE_SUBTITLE) {
      // Text subtitle encoders start from the styles the decoder describes.
      TAVInputStream& src = *ist_table[ost.source_index];
      if (!src.dec) {
        open_error = open_decoder(src);
        if (!open_error.empty())
          break;
      }
      if (src.dec->subtitle_header && !enc->subtitle_header) {
        enc->subtitle_header = static_cast<uint8_t*>(av_mallocz(src.dec->subtitle_header_size + 1));
        if (!enc->subtitle_header)
          throw std::runtime_error("Out of memory");
        std::memcpy(enc->subtitle_header, src.dec->subtitle_header, src.dec->subtitle_header_size);
        enc->subtitle_header_size = src.dec->subtitle_header_size;
      }
      if (enc->time_base.num <= 0 || enc->time_base.den <= 0)
        enc->time_base = AVRational{1, AV_TIME_BASE};
    }
    AVDictionary* opts = nullptr;
    av_dict_copy(&opts, desc.enc_opts, 0);
    int ret;
    {
      std::lock_guard lock(CodecLock());
      ret = avcodec_open2(enc, desc.encoder, &opts);
    }
    av_dict_free(&opts);
    if (ret < 0) {
      open_error = FormatText(
          "Error while opening encoder for output stream %s - maybe incorrect parameters such as "
          "bit_rate, rate, width or height. Please check error log message to find out more "
          "detail information.",
          what.c_str());
      break;
    }
    desc.opened = true;
    extra_size += enc->extradata_size;
    ret = avcodec_parameters_from_context(ost.st->codecpar, enc);
    if (ret < 0)
      throw std::runtime_error(ErrorText("avcodec_parameters_from_context", ret));
    ost.st->time_base = enc->time_base;
    // What the muxer reads from the stream (buffer sizes and rates of the rate control).
    for (int i = 0; i < enc->nb_coded_side_data; ++i) {
      const AVPacketSideData& sd = enc->coded_side_data[i];
      if (uint8_t* dst = av_stream_new_side_data(ost.st, sd.type, sd.size))
        std::memcpy(dst, sd.data, sd.size);
    }
    if (desc.type == AVMEDIA_TYPE_VIDEO) {
      ost.st->avg_frame_rate = desc.frame_rate;
      ost.st->r_frame_rate = desc.frame_rate;
    }
    ost.codec_id = enc->codec_id;
  }
  for (auto& ost : ost_table)
    if (ost->encoding_needed)
      ost->codec_id = ost->enc->codec_id;

  // 7. The decoders (a subtitle encoder's source may be open already).
  for (size_t j = 0; j < ist_table.size() && open_error.empty(); ++j)
    if (ist_table[j]->decoding_needed && !ist_table[j]->dec)
      open_error = open_decoder(*ist_table[j]);

  // 8. Initial time stamps.
  for (auto& ist : ist_table) {
    const AVRational fps = ist->st->avg_frame_rate;
    const int delay = ist->st->codecpar->video_delay;
    ist->pts = fps.num && fps.den && delay
                   ? -av_rescale_q(delay, av_inv_q(fps), AVRational{1, AV_TIME_BASE})
                   : 0;
    ist->next_pts = AV_NOPTS_VALUE;
    ist->is_start = true;
  }

  // Bitstream filters, once the stream parameters are final.
  if (open_error.empty())
    for (auto& ost : ost_table) {
      if (!ost->bsfs.empty())
        continue;
      AVRational tb = ost->st->time_base;
      for (const TBitstreamFilterSpec& spec : ost->desc->bitstream_filters) {
        const AVCodecParameters* par = ost->bsfs.empty() ? ost->st->codecpar
                                                         : ost->bsfs.back()->par_out;
        ost->bsfs.push_back(MakeBitstreamFilter(spec, par, tb));
        tb = ost->bsfs.back()->time_base_out;
      }
      if (!ost->bsfs.empty() && (ost->file_index == 0 || !engine.join_mode_))
        avcodec_parameters_copy(ost->st->codecpar, ost->bsfs.back()->par_out);
    }

  // 9. Metadata maps.
  for (const TAVMetaDataMap& m : opt.meta_data_maps) {
    if (m.out_file < 0 || m.out_file >= static_cast<int>(output_files.size()))
      throw std::runtime_error(FormatText("Invalid output file index %d map_meta_data(%d,%d)",
                                          m.out_file, m.out_file, m.in_file));
    if (m.in_file < 0 || m.in_file >= static_cast<int>(inputs.size()))
      throw std::runtime_error(FormatText("Invalid input file index %d map_meta_data(%d,%d)",
                                          m.in_file, m.out_file, m.in_file));
    av_dict_copy(&output_files[m.out_file]->ctx->metadata, inputs[m.in_file]->ctx->metadata, 0);
  }

  // 10. Chapters.
  if (open_error.empty())
    for (const auto& in : inputs) {
      AVFormatContext* ic = in->ctx;
      for (unsigned c = 0; c < ic->nb_chapters; ++c) {
        const AVChapter* chapter = ic->chapters[c];
        const int64_t ts_off =
            av_rescale_q(opt.start_time - in->ts_offset, AVRational{1, AV_TIME_BASE},
                         chapter->time_base);
        const int64_t rt = opt.recording_time == INT64_MAX
                               ? INT64_MAX
                               : av_rescale_q(opt.recording_time, AVRational{1, AV_TIME_BASE},
                                              chapter->time_base);
        if (chapter->end < ts_off)
          continue;
        if (rt != INT64_MAX && chapter->start > rt + ts_off)
          continue;
        TOutputFile* last = nullptr;
        for (TOutputFile* out : output_files) {
          if (out == last)
            continue;  // join mode: one container
          last = out;
          AVFormatContext* oc = out->ctx;
          auto** grown = static_cast<AVChapter**>(
              av_realloc_array(oc->chapters, oc->nb_chapters + 1, sizeof(AVChapter*)));
          if (!grown)
            throw std::runtime_error("Out of memory");
          oc->chapters = grown;
          auto* copy = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
          if (!copy)
            throw std::runtime_error("Out of memory");
          copy->id = chapter->id;
          copy->time_base = chapter->time_base;
          copy->start = std::max<int64_t>(0, chapter->start - ts_off);
          copy->end = rt == INT64_MAX ? chapter->end - ts_off
                                      : std::min(rt, chapter->end - ts_off);
          av_dict_copy(&copy->metadata, chapter->metadata, 0);
          oc->chapters[oc->nb_chapters++] = copy;
        }
      }
    }

  // 11. Headers.
  if (open_error.empty())
    for (size_t i = 0; i < output_files.size(); ++i) {
      TOutputFile& file = *output_files[i];
      if (file.header_written)
        continue;  // join mode: once
      AVDictionary* opts = nullptr;
      av_dict_copy(&opts, file.mux_opts, 0);
      int ret = avformat_write_header(file.ctx, &opts);
      av_dict_free(&opts);
      if (ret < 0)
        throw std::runtime_error(FormatText(
            "Could not write header for output file #%zu (incorrect codec parameters ?)", i));
      file.header_written = true;
    }
  if (open_error.empty() && !output_files.empty()) {
    bool all_rtp = true;
    for (TOutputFile* out : output_files)
      all_rtp = all_rtp && std::strcmp(out->ctx->oformat->name, "rtp") == 0;
    if (all_rtp) {
      char sdp[2048];
      std::vector<AVFormatContext*> ctxs;
      for (TOutputFile* out : output_files)
        ctxs.push_back(out->ctx);
      if (av_sdp_create(ctxs.data(), static_cast<int>(ctxs.size()), sdp, sizeof sdp) >= 0)
        LoggerInstance().Log(&engine, llInfo, std::string("SDP:\r\n") + sdp);
    }
  }

  // 12. The mapping report.
  {
    TOutputFile* last = nullptr;
    for (size_t i = 0; i < output_files.size(); ++i) {
      if (output_files[i] == last)
        continue;
      last = output_files[i];
      av_dump_format(last->ctx, static_cast<int>(i), last->ctx->url, 1);
    }
  }
  if (verbose >= 0) {
    LoggerInstance().Log(&engine, llVerbose, "Stream mapping:");
    for (auto& ost : ost_table) {
      const TAVInputStream& src = *ist_table[ost->source_index];
      std::string line =
          FormatText("  Stream #%d.%d -> #%d.%d (%s)", src.file_index, src.index, ost->file_index,
                     ost->index, MediaTypeName(ost->desc->type));
      if (ost->sync_ist != ost->source_index) {
        const TAVInputStream& sync = *ist_table[ost->sync_ist];
        line += FormatText(" [sync #%d.%d (%s)]", sync.file_index, sync.index,
                           MediaTypeName(sync.st->codecpar->codec_type));
      }
      LoggerInstance().Log(&engine, llVerbose, line);
    }
  }
  if (!open_error.empty()) {
    LoggerInstance().Log(&engine, llError, open_error);
    throw std::runtime_error(open_error);
  }
  setup_done = true;
}

void TEngineMedia::CloseEncoders() {
  std::lock_guard lock(CodecLock());
  for (auto& out : outputs)
    for (auto& desc : out->streams) {
      if (desc->enc)
        av_freep(&desc->enc->stats_in);
      if (desc->opened || desc->enc) {
        avcodec_free_context(&desc->enc);
        desc->opened = false;
      }
    }
  for (auto& ost : ost_table)
    ost->enc = nullptr;
}

void TEngineMedia::CloseDecoders() {
  std::lock_guard lock(CodecLock());
  for (auto& ist : ist_table)
    avcodec_free_context(&ist->dec);
}

void TEngineMedia::UndoRun() {
  CloseEncoders();
  CloseDecoders();
  ost_table.clear();
  ist_table.clear();
  for (auto& out : outputs)
    for (auto& desc : out->streams) {
      if (desc->fifo) {
        av_audio_fifo_free(desc->fifo);
        desc->fifo = nullptr;
      }
      if (desc->logfile) {
        std::fclose(desc->logfile);
        desc->logfile = nullptr;
      }
    }
  av_packet_free(&packet);
  av_packet_free(&enc_packet);
  av_packet_free(&copy_packet);
  av_frame_free(&decoded);
  av_frame_free(&filtered);
  av_frame_free(&audio_frame);
  av_frame_free(&hook_frame);
  std::vector<uint8_t>().swap(subtitle_buf);
  setup_done = false;
}
