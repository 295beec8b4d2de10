// The probe's information text: file lines, metadata blocks, programs and stream lines.
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

#include "media/media_probe.h"
#include "media/media_probe_text.h"

namespace probe_text {

std::string FormatV(const char* AFormat, va_list AArgs) {
  va_list copy;
  va_copy(copy, AArgs);
  int n = std::vsnprintf(nullptr, 0, AFormat, copy);
  va_end(copy);
  if (n <= 0)
    return {};
  std::string out(static_cast<size_t>(n), '\0');
  va_copy(copy, AArgs);
  std::vsnprintf(out.data(), out.size() + 1, AFormat, copy);
  va_end(copy);
  return out;
}

std::string Format(const char* AFormat, ...) {
  va_list args;
  va_start(args, AFormat);
  std::string out = FormatV(AFormat, args);
  va_end(args);
  return out;
}

std::string MetadataValue(const AVDictionary* AMetadata, const char* AKey) {
  const AVDictionaryEntry* e = av_dict_get(AMetadata, AKey, nullptr, 0);
  return e && e->value ? e->value : "";
}

namespace {
std::string Trim(const char* s) {
  if (!s)
    return {};
  const char* end = s + std::strlen(s);
  while (s < end && std::isspace(static_cast<unsigned char>(*s)))
    ++s;
  while (end > s && std::isspace(static_cast<unsigned char>(end[-1])))
    --end;
  return std::string(s, end);
}
}  // namespace

std::string CodecName(const AVCodecParameters* APar) {
  if (const AVCodec* dec = avcodec_find_decoder(APar->codec_id)) {
    std::string long_name = Trim(dec->long_name);
    return long_name.empty() ? dec->name : Format("%s(%s)", dec->name, long_name.c_str());
  }
  if (APar->codec_id == AV_CODEC_ID_MPEG2TS)
    return "mpeg2ts";
  // The stream parameters keep no codec-name text of their own; the codec's registered name
  // stands in for it.
  if (APar->codec_id != AV_CODEC_ID_NONE)
    if (const AVCodecDescriptor* desc = avcodec_descriptor_get(APar->codec_id)) {
      std::string name = Trim(desc->name);
      if (!name.empty())
        return name;
    }
  uint32_t tag = APar->codec_tag;
  char c[4];
  bool printable = true;
  for (int i = 0; i < 4; ++i) {
    c[i] = static_cast<char>((tag >> (8 * i)) & 0xff);
    printable = printable && c[i] >= 32 && c[i] <= 126;
  }
  if (printable)
    return Format("%c%c%c%c / 0x%04X", c[0], c[1], c[2], c[3], tag);
  return Format("0x%04x", tag);
}

namespace {
// ID3v2 frame names and the common names shown for them.
struct TId3Name {
  const char* key;
  const char* shown;
};
const TId3Name kId3Names[] = {
    {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"}, {"TCON", "genre"},
    {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},     {"TENC", "encoder"},
    {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},     {"TYER", "year"},
    {"TLAN", "language"},  {"TPE1", "artist"},    {"TP1", "artist"},    {"TPOS", "disc"},
    {"TPUB", "publisher"}, {"TRCK", "track"},     {"TRK", "track"},     {"TSOA", "albumsort"},
    {"TSOP", "authorsort"}, {"TSOT", "titlesort"},
};

const char* ShownKey(const char* key) {
  for (const auto& n : kId3Names)
    if (std::strcmp(n.key, key) == 0)
      return n.shown;
  return key;
}
}  // namespace

std::string MetadataBlock(const AVDictionary* AMetadata, const std::string& AIndent) {
  int count = av_dict_count(AMetadata);
  if (count == 0)
    return {};
  if (count == 1 && av_dict_get(AMetadata, "language", nullptr, 0))
    return {};
  std::string out = AIndent + "Metadata:\n";
  const AVDictionaryEntry* e = nullptr;
  while ((e = av_dict_get(AMetadata, "", e, AV_DICT_IGNORE_SUFFIX))) {
    if (std::strcmp(e->key, "language") == 0)
      continue;
    out += Format("%s  %-16s: %s\n", AIndent.c_str(), ShownKey(e->key), e->value);
  }
  return out;
}

std::string RateText(double AValue, const char* AUnit) {
  long long hundredths = std::llround(AValue * 100);
  // A rate that rounds to 0.00 keeps its decimals rather than reading "0k".
  if (hundredths % 100 != 0 || hundredths == 0)
    return Format(", %3.2f %s", AValue, AUnit);
  if (hundredths % 100000 != 0)
    return Format(", %1.0f %s", AValue, AUnit);
  return Format(", %1.0fk %s", AValue / 1000, AUnit);
}

}  // namespace probe_text

using probe_text::Format;

std::string TCustomMediaProbe::StreamLine(int AIndex) {
  AVStream* st = file_handle_->streams[AIndex];
  const AVCodecParameters* par = st->codecpar;
  std::string s = Format("Stream #%d", AIndex);
  if (file_handle_->iformat && (file_handle_->iformat->flags & AVFMT_SHOW_IDS))
    s += Format("[0x%x]", st->id);
  if (const AVDictionaryEntry* lang = av_dict_get(st->metadata, "language", nullptr, 0))
    s += Format("(%s)", lang->value);
  int g = static_cast<int>(av_gcd(st->time_base.num, st->time_base.den));
  if (g == 0)
    g = 1;
  s += Format(", %d/%d", st->time_base.num / g, st->time_base.den / g);

  char codec_text[256] = "";
  if (AVCodecContext* avctx = avcodec_alloc_context3(nullptr)) {
    if (avcodec_parameters_to_context(avctx, par) >= 0)
      avcodec_string(codec_text, sizeof codec_text, avctx, 0);
    avcodec_free_context(&avctx);
  }
  s += ": ";
  s += codec_text;

  const AVRational sar = st->sample_aspect_ratio;
  if (sar.num && av_cmp_q(sar, par->sample_aspect_ratio) != 0) {
    int dar_num = 0, dar_den = 0;
    av_reduce(&dar_num, &dar_den, static_cast<int64_t>(par->width) * sar.num,
              static_cast<int64_t>(par->height) * sar.den, 1024 * 1024);
    s = Format("%s, PAR %d:%d DAR %d:%d", s.c_str(), sar.num, sar.den, dar_num, dar_den);
  }
  if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    // The codec time base ("tbc") is no longer part of a stream's parameters, so that number
    // is not shown.
    if (st->avg_frame_rate.num && st->avg_frame_rate.den)
      s += probe_text::RateText(av_q2d(st->avg_frame_rate), "fps");
    if (st->r_frame_rate.num && st->r_frame_rate.den)
      s += probe_text::RateText(av_q2d(st->r_frame_rate), "tbr");
    if (st->time_base.num && st->time_base.den)
      s += probe_text::RateText(1 / av_q2d(st->time_base), "tbn");
  }
  if (st->start_time != AV_NOPTS_VALUE)
    s += ", StartTime: " + SecondsText(av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q));
  if (st->duration != AV_NOPTS_VALUE)
    s += ", Duration: " + DurationText(av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q));
  else
    s += ", Duration: N/A";
  return s + "\n" + probe_text::MetadataBlock(st->metadata, "  ");
}

std::string TCustomMediaProbe::FileInfoText() {
  if (!RequireFile())
    return {};
  const AVFormatContext* ctx = file_handle_;
  TFileStreamInfo info = FileStreamInfo();
  std::string out;
  out += "File Name: " + FileName() + "\n";
  out += "Format Name: " + FormatName() + "\n";
  out += "Format Long Name: " + FormatLongName() + "\n";
  out += "File Size: " + FileSizeText(file_size_) + "\n";
  out += info.Duration < 0 ? "Duration: N/A\n" : "Duration: " + DurationText(info.Duration) + "\n";
  if (info.StartTime >= 0)
    out += "StartTime: " + SecondsText(info.StartTime) + "\n";
  out += info.BitRate < 1 ? std::string("Bit Rate: N/A\n")
                          : Format("Bit Rate: %" PRId64 " kb/s\n", info.BitRate / 1000);
  if (info.TimeStamp > 0)
    out += "Time Stamp: " + TimeStampText(info.TimeStamp) + "\n";
  out += probe_text::MetadataBlock(ctx->metadata, "");

  // Current libraries name the program entries "service_provider" and "service_name".
  auto program_entry = [](const AVDictionary* m, const char* key, const char* current_key) {
    std::string v = probe_text::MetadataValue(m, key);
    if (v.empty())
      v = probe_text::MetadataValue(m, current_key);
    return v.empty() ? std::string("N/A") : v;
  };
  std::vector<bool> listed(ctx->nb_streams, false);
  for (unsigned p = 0; p < ctx->nb_programs; ++p) {
    const AVProgram* program = ctx->programs[p];
    out += Format("Program %d %s@%s\n", program->id,
                  program_entry(program->metadata, "provider_name", "service_provider").c_str(),
                  program_entry(program->metadata, "name", "service_name").c_str());
    out += probe_text::MetadataBlock(program->metadata, "  ");
    for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
      unsigned i = program->stream_index[k];
      if (i >= ctx->nb_streams)
        continue;
      out += StreamLine(static_cast<int>(i));
      listed[i] = true;
    }
  }
  for (unsigned i = 0; i < ctx->nb_streams; ++i)
    if (!listed[i])
      out += StreamLine(static_cast<int>(i));
  return out;
}
