#include "media/media_probe.h"

#include <cstdarg>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
}

#include "media/media_probe_text.h"

TCustomMediaProbe::TCustomMediaProbe() = default;

TCustomMediaProbe::~TCustomMediaProbe() { TCustomMediaProbe::CloseFile(); }

bool TCustomMediaProbe::AVLibLoaded() const { return AVLibSetLoaded(ProbeLibraries); }

bool TCustomMediaProbe::LoadAVLib(const std::string& APath) {
  return LoadAVLibSet(ProbeLibraries, APath, last_err_msg_);
}

void TCustomMediaProbe::UnloadAVLib() { UnloadAVLibSet(ProbeLibraries); }

void TCustomMediaProbe::Report(int ALibraryLevel, const std::string& AMsg) {
  last_err_msg_ = AMsg;
  LoggerInstance().Log(this, LogLevelOf(ALibraryLevel), AMsg);
}

void TCustomMediaProbe::ReportFmt(int ALibraryLevel, const char* AFormat, ...) {
  va_list args;
  va_start(args, AFormat);
  std::string text = probe_text::FormatV(AFormat, args);
  va_end(args);
  Report(ALibraryLevel, text);
}

bool TCustomMediaProbe::RequireFile() {
  if (file_handle_)
    return true;
  Report(AV_LOG_WARNING, "file not loaded.");
  return false;
}

bool TCustomMediaProbe::LoadFile(const std::string& AFileName, const std::string& AFormatName) {
  struct TRequired {
    TLibrary lib;
    const char* text;
  };
  static const TRequired kRequired[] = {{avCodec, "LibAVCodec not loaded."},
                                        {avFormat, "LibAVFormat not loaded."},
                                        {avUtil, "LibAVUtil not loaded."},
                                        {swScale, "LibSwScale not loaded."}};
  for (const auto& required : kRequired)
    if (!LoaderInstance().Loaded(required.lib))
      throw std::runtime_error(required.text);

  CloseFile();
  const AVInputFormat* format = nullptr;
  if (!AFormatName.empty()) {
    format = av_find_input_format(AFormatName.c_str());
    if (!format) {
      last_err_msg_ = "Unknown input format: " + AFormatName;
      return false;
    }
  }
  AVFormatContext* ctx = avformat_alloc_context();
  if (!ctx) {
    Report(AV_LOG_ERROR, ErrorText(AFileName, AVERROR(ENOMEM)));
    return false;
  }
  ctx->flags |= AVFMT_FLAG_NONBLOCK;
  own_handle_ = true;
  // On failure the library frees the context and clears the pointer.
  int r = avformat_open_input(&ctx, ToLibFileName(AFileName).c_str(), format, nullptr);
  file_handle_ = ctx;
  if (r < 0) {
    Report(AV_LOG_ERROR, ErrorText(AFileName, r));
    CloseFile();
    return false;
  }
  // A container without any stream holds nothing to probe or convert.
  if (avformat_find_stream_info(file_handle_, nullptr) < 0 || file_handle_->nb_streams == 0) {
    last_err_msg_ = AFileName + ": could not find codec parameters";
    CloseFile();
    return false;
  }
  RefreshFields();
  force_format_ = AFormatName;
  return true;
}

void TCustomMediaProbe::CloseFile() {
  force_format_.clear();
  if (file_handle_ && own_handle_)
    avformat_close_input(&file_handle_);
  file_handle_ = nullptr;
  own_handle_ = false;
  RefreshFields();
}

void TCustomMediaProbe::SetFileHandle(AVFormatContext* AHandle) {
  CloseFile();
  file_handle_ = AHandle;
  own_handle_ = false;
  RefreshFields();
}

void TCustomMediaProbe::RefreshFields() {
  file_size_ = -1;
  stream_count_ = program_count_ = -1;
  audio_stream_count_ = video_stream_count_ = subtitle_stream_count_ = -1;
  first_audio_index_ = first_video_index_ = first_subtitle_index_ = -1;
  if (!file_handle_)
    return;
  int64_t size = file_handle_->pb ? avio_size(file_handle_->pb) : 0;
  if (size > 0) {
    file_size_ = size;
  } else {
    int64_t on_disk = FileSizeOf(FileName());
    file_size_ = on_disk >= 0 ? on_disk : 0;
  }
  stream_count_ = static_cast<int>(file_handle_->nb_streams);
  program_count_ = static_cast<int>(file_handle_->nb_programs);
  audio_stream_count_ = video_stream_count_ = subtitle_stream_count_ = 0;
  for (int i = 0; i < stream_count_; ++i) {
    switch (file_handle_->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (video_stream_count_++ == 0)
          first_video_index_ = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        if (audio_stream_count_++ == 0)
          first_audio_index_ = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (subtitle_stream_count_++ == 0)
          first_subtitle_index_ = i;
        break;
      default:
        break;
    }
  }
}

std::string TCustomMediaProbe::FileName() const {
  return file_handle_ && file_handle_->url ? FromLibFileName(file_handle_->url) : std::string();
}

std::string TCustomMediaProbe::FormatName() const {
  return file_handle_ && file_handle_->iformat ? file_handle_->iformat->name : "";
}

std::string TCustomMediaProbe::FormatLongName() const {
  const AVInputFormat* f = file_handle_ ? file_handle_->iformat : nullptr;
  return f && f->long_name ? f->long_name : "";
}

TFileStreamInfo TCustomMediaProbe::FileStreamInfo() {
  TFileStreamInfo info;
  if (!RequireFile())
    return info;
  const AVFormatContext* ctx = file_handle_;
  info.StartTime = ctx->start_time == AV_NOPTS_VALUE ? -1 : ctx->start_time;
  info.Duration = ctx->duration == AV_NOPTS_VALUE ? -1 : ctx->duration;
  info.BitRate = ctx->bit_rate;
  // The real-world start time is what the library still knows of the container time stamp;
  // the container's year and track fields are gone and stay unknown.
  if (ctx->start_time_realtime != AV_NOPTS_VALUE && ctx->start_time_realtime > 0)
    info.TimeStamp = ctx->start_time_realtime / 1000000;
  auto entry = [&](const char* key) { return probe_text::MetadataValue(ctx->metadata, key); };
  info.Title = entry("title");
  info.Author = entry("author");
  info.Copyright = entry("copyright");
  info.Comment = entry("comment");
  info.Album = entry("album");
  info.Genre = entry("genre");
  return info;
}

int TCustomMediaProbe::CheckStream(int AStreamIndex, int AMediaType) {
  if (!RequireFile())
    return -1;
  struct TKind {
    int first;
    const char* name;
  };
  const TKind kind = AMediaType == AVMEDIA_TYPE_AUDIO   ? TKind{first_audio_index_, "audio"}
                     : AMediaType == AVMEDIA_TYPE_VIDEO ? TKind{first_video_index_, "video"}
                                                        : TKind{first_subtitle_index_, "subtitle"};
  if (AStreamIndex == -1) {
    if (kind.first < 0)
      ReportFmt(AV_LOG_ERROR, "no %s stream.", kind.name);
    return kind.first;
  }
  if (AStreamIndex < 0 || AStreamIndex >= stream_count_) {
    ReportFmt(AV_LOG_ERROR, "stream index #%d is invalid.", AStreamIndex);
    return -1;
  }
  if (file_handle_->streams[AStreamIndex]->codecpar->codec_type != AMediaType) {
    ReportFmt(AV_LOG_ERROR, "stream #%d is not %s stream.", AStreamIndex, kind.name);
    return -1;
  }
  return AStreamIndex;
}

namespace {
// Repairs a time base without denominator in place, then fills the raw and scaled start time
// and duration (each only when the stream has that time stamp).
template <typename TInfo>
void FillTimes(AVStream* st, TInfo& AInfo) {
  if (st->time_base.den == 0)
    st->time_base.den = st->time_base.num ? st->time_base.num : 1;
  if (st->start_time != AV_NOPTS_VALUE) {
    AInfo.StartTime = st->start_time;
    AInfo.StartTimeScaled = av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
  }
  if (st->duration != AV_NOPTS_VALUE) {
    AInfo.Duration = st->duration;
    AInfo.DurationScaled = av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q);
  }
}
}  // namespace

bool TCustomMediaProbe::GetAudioStreamInfo(int AStreamIndex, TAudioStreamInfo& AInfo) {
  AInfo = TAudioStreamInfo{};
  int i = CheckStream(AStreamIndex, AVMEDIA_TYPE_AUDIO);
  if (i < 0)
    return false;
  AVStream* st = file_handle_->streams[i];
  const AVCodecParameters* par = st->codecpar;
  AInfo.Language = probe_text::MetadataValue(st->metadata, "language");
  AInfo.CodecName = probe_text::CodecName(par);
  FillTimes(st, AInfo);
  AInfo.BitRate = par->bit_rate;
  AInfo.Channels = par->ch_layout.nb_channels;
  AInfo.SampleRate = par->sample_rate;
  AInfo.SampleFormat = par->format;
  return true;
}

bool TCustomMediaProbe::GetVideoStreamInfo(int AStreamIndex, TVideoStreamInfo& AInfo) {
  AInfo = TVideoStreamInfo{};
  int i = CheckStream(AStreamIndex, AVMEDIA_TYPE_VIDEO);
  if (i < 0)
    return false;
  AVStream* st = file_handle_->streams[i];
  const AVCodecParameters* par = st->codecpar;
  AInfo.Language = probe_text::MetadataValue(st->metadata, "language");
  AInfo.CodecName = probe_text::CodecName(par);
  FillTimes(st, AInfo);
  AInfo.BitRate = par->bit_rate;
  AInfo.Height = par->height;
  AInfo.Width = par->width;
  // Deliberately unchecked: 0 for an unknown (0/1) aspect, not finite for a zero denominator
  // or height.
  AInfo.AspectRatio = static_cast<float>(
      par->width * (static_cast<double>(par->sample_aspect_ratio.num) / par->sample_aspect_ratio.den) /
      par->height);
  AInfo.PixFmt = par->format;
  AInfo.FrameRate = {st->r_frame_rate.num, st->r_frame_rate.den};
  return true;
}

bool TCustomMediaProbe::GetSubtitleStreamInfo(int AStreamIndex, TSubtitleStreamInfo& AInfo) {
  AInfo = TSubtitleStreamInfo{};
  int i = CheckStream(AStreamIndex, AVMEDIA_TYPE_SUBTITLE);
  if (i < 0)
    return false;
  const AVStream* st = file_handle_->streams[i];
  AInfo.Language = probe_text::MetadataValue(st->metadata, "language");
  AInfo.CodecName = probe_text::CodecName(st->codecpar);
  return true;
}

TAudioStreamInfo TCustomMediaProbe::FirstAudioStreamInfo() {
  TAudioStreamInfo info;
  GetAudioStreamInfo(-1, info);
  return info;
}

TVideoStreamInfo TCustomMediaProbe::FirstVideoStreamInfo() {
  TVideoStreamInfo info;
  GetVideoStreamInfo(-1, info);
  return info;
}

TSubtitleStreamInfo TCustomMediaProbe::FirstSubtitleStreamInfo() {
  TSubtitleStreamInfo info;
  GetSubtitleStreamInfo(-1, info);
  return info;
}

namespace {
bool StreamIs(const AVFormatContext* ctx, int i, AVMediaType type) {
  return i >= 0 && i < static_cast<int>(ctx->nb_streams) && ctx->streams[i]->codecpar->codec_type == type;
}
}  // namespace

bool TCustomMediaProbe::IsAudioStream(int AStreamIndex) {
  return RequireFile() && StreamIs(file_handle_, AStreamIndex, AVMEDIA_TYPE_AUDIO);
}

bool TCustomMediaProbe::IsVideoStream(int AStreamIndex) {
  return RequireFile() && StreamIs(file_handle_, AStreamIndex, AVMEDIA_TYPE_VIDEO);
}

bool TCustomMediaProbe::IsSubtitleStream(int AStreamIndex) {
  return RequireFile() && StreamIs(file_handle_, AStreamIndex, AVMEDIA_TYPE_SUBTITLE);
}
