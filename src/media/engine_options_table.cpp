// The option table and its handlers.
#include "media/engine_options_table.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include "media/engine_options_values.h"
#include "media/ffutils.h"
#include "media/logger.h"
#include "media/video_hook.h"

void TOptionCall::LogNoOp() const {
  LoggerInstance().Log(&engine, llInfo, "Do nothing: option - " + name);
}

namespace {

using O = TEngineOptions;

[[noreturn]] void Refuse(const std::string& AMessage) { throw std::runtime_error(AMessage); }

// ---- handlers that store a value in one field ---------------------------------------------

void NoOp(TOptionCall& c) { c.LogNoOp(); }

template <bool O::*Field>
void Flag(TOptionCall& c) { c.o.*Field = OptionFlag(c.value); }

// Switched on whatever the value.
template <bool O::*Field>
void SwitchOn(TOptionCall& c) { c.o.*Field = true; }

template <int O::*Field>
void Int(TOptionCall& c) { c.o.*Field = OptionInt(c.value); }

template <float O::*Field>
void Float(TOptionCall& c) { c.o.*Field = static_cast<float>(OptionFloat(c.value)); }

template <double O::*Field>
void Double(TOptionCall& c) { c.o.*Field = OptionFloat(c.value); }

template <std::string O::*Field>
void Text(TOptionCall& c) { c.o.*Field = c.value; }

// Text that an empty value leaves unchanged.
template <std::string O::*Field>
void TextUnlessEmpty(TOptionCall& c) {
  if (!c.value.empty())
    c.o.*Field = c.value;
}

template <int Kind>
void MaxFrames(TOptionCall& c) { c.o.max_frames[Kind] = OptionInt(c.value); }

// ---- formats, logging and times -----------------------------------------------------------

void LogLevel(TOptionCall& c) { LoggerInstance().OptLogLevel(c.value); }

void Format(TOptionCall& c) {
  if (c.value.empty())
    return;
  if (c.value == "pgmyuv") {
    c.o.pgmyuv_compatibility_hack = true;
    c.o.format_name = "image2";
    LoggerInstance().Log(&c.engine, llInfo, "pgmyuv format is deprecated, use image2");
    return;
  }
  c.o.format_name = c.value;
}

int64_t ParseTime(TOptionCall& c, bool ADuration) {
  int64_t us = 0;
  if (av_parse_time(&us, c.value.c_str(), ADuration) < 0)
    Refuse(FormatText("Invalid %s specification for %s: %s", ADuration ? "duration" : "date",
                      c.name.c_str(), c.value.c_str()));
  return us;
}

void RecordingTime(TOptionCall& c) {
  c.o.recording_time = ParseTime(c, true);
  c.SetTotalOutputDuration(c.o.recording_time);
}

void StartTime(TOptionCall& c) { c.o.start_time = ParseTime(c, true); }
void InputTsOffset(TOptionCall& c) { c.o.input_ts_offset = ParseTime(c, true); }

void RecTimestamp(TOptionCall& c) {
  c.o.rec_timestamp = std::llround(static_cast<double>(ParseTime(c, false)) / 1000000.0);
}

void LimitFilesize(TOptionCall& c) { c.o.limit_filesize = OptionInt64(c.value); }

void Verbosity(TOptionCall& c) { c.engine.SetVerbose(OptionInt(c.value)); }

void TimeLimit(TOptionCall& c) {
  LoggerInstance().Log(&c.engine, llWarning, "Warning: -timelimit not implemented on Windows");
}

void Todo(TOptionCall& c) { Refuse("TODO: option - " + c.name); }

// ---- numbers read the C way: strtol, one separator character of any kind between ---------

// Reads a decimal integer at p (none: 0), clamped to the int range, and moves p past it.
int ReadInt(const char*& p) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(p, &end, 10);
  p = end;
  if (v > INT_MAX)
    return INT_MAX;
  if (v < INT_MIN)
    return INT_MIN;
  return static_cast<int>(v);
}

// Steps over one separator character, never past the end.
void SkipOne(const char*& p) {
  if (*p)
    ++p;
}

void StreamMap(TOptionCall& c) {
  const size_t capacity = static_cast<size_t>(c.o.MaxFiles()) * MaxStreams;
  if (c.o.stream_maps.size() >= capacity)
    Refuse(FormatText("Too many stream maps (at most %zu)", capacity));
  const char* p = c.value.c_str();
  TAVStreamMap m;
  m.file_index = ReadInt(p);
  SkipOne(p);
  m.stream_index = ReadInt(p);
  if (*p) {
    SkipOne(p);
    m.sync_file_index = ReadInt(p);
    SkipOne(p);
    m.sync_stream_index = ReadInt(p);
  } else {
    m.sync_file_index = m.file_index;
    m.sync_stream_index = m.stream_index;
  }
  c.o.stream_maps.push_back(m);
}

void MetaDataMap(TOptionCall& c) {
  const size_t capacity = static_cast<size_t>(c.o.MaxFiles());
  if (c.o.meta_data_maps.size() >= capacity)
    Refuse(FormatText("Too many metadata maps (at most %zu)", capacity));
  const char* p = c.value.c_str();
  TAVMetaDataMap m;
  m.out_file = ReadInt(p);
  SkipOne(p);
  m.in_file = ReadInt(p);
  c.o.meta_data_maps.push_back(m);
}

void TsScale(TOptionCall& c) {
  const char* p = c.value.c_str();
  char* end = nullptr;
  long index = std::strtol(p, &end, 10);
  p = end;
  if (index < 0 || index >= MaxStreams)
    Refuse(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
  SkipOne(p);
  double scale = std::strtod(p, nullptr);
  // The scale belongs to the next input.
  const int input = c.engine.InputCount();
  if (input >= c.o.MaxFiles())
    Refuse(FormatText("max input files %d reached", c.o.MaxFiles()));
  c.o.input_ts_scale[input][index] = std::isfinite(scale) ? scale : 0.0;
}

void Metadata(TOptionCall& c) {
  size_t eq = c.value.find('=');
  if (eq == std::string::npos)
    Refuse("Missing =");
  c.o.metadata.emplace_back(c.value.substr(0, eq), c.value.substr(eq + 1));
}

void StreamId(TOptionCall& c) {
  size_t colon = c.value.find(':');
  if (colon == std::string::npos)
    Refuse(FormatText("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                      c.value.c_str(), c.name.c_str()));
  int index = OptionInt(c.value.substr(0, colon));
  int id = OptionInt(c.value.substr(colon + 1));
  if (index < 0 || index >= MaxStreams)
    Refuse(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
  c.o.streamid_map[index] = id;
}

// ---- video --------------------------------------------------------------------------------

void Target(TOptionCall& c) {
  struct TNormPrefix {
    const char* prefix;
    const char* norm;
  };
  static constexpr TNormPrefix kPrefixes[] = {{"pal-", "pal"}, {"ntsc-", "ntsc"},
                                              {"film-", "film"}};
  for (const TNormPrefix& n : kPrefixes) {
    std::string prefix = n.prefix;
    if (c.value.compare(0, prefix.size(), prefix) == 0) {
      c.engine.ApplyTarget(c.value.substr(prefix.size()), n.norm, "ntsc");
      return;
    }
  }
  c.engine.ApplyTarget(TrimText(c.value), "auto", "ntsc");
}

void Bitrate(TOptionCall& c) {
  if (!c.engine.SetDefaultOption(c.name, c.value))
    return;
  const TMediaKind kind = c.name[0] == 'a' ? mkAudio : mkVideo;
  int64_t bitrate = 0;
  av_opt_get_int(c.engine.FFOptions().avcodec_opts(kind), "b", 0, &bitrate);
  if (bitrate < 1000)
    LoggerInstance().Log(&c.engine, llWarning,
                         "WARNING: The bitrate parameter is set too low. It takes bits/s as "
                         "argument, not kbits/s");
}

void FrameRate(TOptionCall& c) {
  if (c.value.empty())
    return;
  AVRational rate{0, 0};
  if (av_parse_video_rate(&rate, c.value.c_str()) < 0 || rate.num <= 0 || rate.den <= 0)
    Refuse("Incorrect frame rate");
  c.o.frame_rate = rate;
}

void FrameSize(TOptionCall& c) {
  if (c.value.empty())
    return;
  int width = 0;
  int height = 0;
  if (av_parse_video_size(&width, &height, c.value.c_str()) < 0)
    Refuse("Incorrect frame size");
  c.o.frame_width = width;
  c.o.frame_height = height;
}

void Aspect(TOptionCall& c) {
  if (c.value.empty())
    return;
  double ratio = 0.0;
  size_t colon = c.value.find(':');
  if (colon != std::string::npos) {
    const char* p = c.value.c_str();
    const char* after = p + colon;
    char* end = nullptr;
    long x = std::strtol(p, &end, 10);
    long y = 0;
    if (end == after)
      y = std::strtol(after + 1, &end, 10);
    if (x > 0 && y > 0)
      ratio = static_cast<double>(x) / static_cast<double>(y);
  } else {
    try {
      ratio = OptionFloat(c.value);
    } catch (const std::invalid_argument&) {
      ratio = 0.0;
    }
  }
  // A negative ratio is as meaningless as none.
  if (!(ratio > 0.0) || !std::isfinite(ratio))
    Refuse("Incorrect aspect ratio specification.");
  c.o.frame_aspect_ratio = ratio;
}

void PixFmt(TOptionCall& c) {
  if (c.value == "list") {
    for (const AVPixFmtDescriptor* d = av_pix_fmt_desc_next(nullptr); d;
         d = av_pix_fmt_desc_next(d))
      LoggerInstance().Log(&c.engine, llInfo, d->name);
    return;
  }
  AVPixelFormat fmt = av_get_pix_fmt(c.value.c_str());
  if (fmt == AV_PIX_FMT_NONE)
    Refuse(FormatText("Unknown pixel format requested: %s", c.value.c_str()));
  c.o.frame_pix_fmt = fmt;
}

template <int O::*Band, int O::*Extent>
void Crop(TOptionCall& c) {
  const bool vertical = Extent == &O::frame_height;
  int band = OptionInt(c.value);
  if (band <= 0)
    return;
  if (band >= c.o.*Extent)
    Refuse(vertical ? "Vertical crop dimensions are outside the range of the original image.\n"
                      "Remember to crop first and scale second."
                    : "Horizontal crop dimensions are outside the range of the original image.\n"
                      "Remember to crop first and scale second.");
  LoggerInstance().Log(&c.engine, llWarning, "CropXXX is deprecated in favor of the crop avfilter");
  c.o.*Band = band;
  c.o.*Extent -= band;
}

void Pad(TOptionCall&) { Refuse("Please use vfilters=pad"); }

void QScale(TOptionCall& c) {
  double q = OptionFloat(c.value);
  if (!(q > 0.0) || q > 255.0)
    Refuse("qscale must be > 0.0 and <= 255");
  c.o.video_qscale = static_cast<float>(q);
}

void Pass(TOptionCall& c) {
  int pass = OptionInt(c.value);
  if (pass != 1 && pass != 2)
    Refuse("pass number can be only 1 or 2");
  c.o.do_pass = pass;
}

void VStats(TOptionCall& c) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char hhnnss[16];
  std::strftime(hhnnss, sizeof hhnnss, "%H%M%S", &local);
  c.o.vstats_filename = FormatText("%svstats_%s.log", ExeFolder().c_str(), hhnnss);
}

void VHook(TOptionCall& c) { c.engine.VideoHooks().Add(c.value); }

template <std::vector<uint16_t> O::*Matrix>
void MatrixCoefficients(TOptionCall& c) {
  std::vector<uint16_t>& m = c.o.*Matrix;
  m.assign(64, 0);  // zeroed on first use, cleared on reuse
  const char* p = c.value.c_str();
  int i = 0;
  for (; i < 64; ++i) {
    char* end = nullptr;
    long v = std::strtol(p, &end, 10);
    m[i] = static_cast<uint16_t>(v < 0 ? 0 : v > UINT16_MAX ? UINT16_MAX : v);
    p = std::strchr(p, ',');
    if (!p)
      break;
    ++p;
  }
  if (i != 63)
    Refuse(FormatText("Syntax error in matrix \"%s\" at coeff %d", c.value.c_str(), i));
}

// A codec tag of exactly four 8-bit characters, the first in the lowest byte.
template <uint32_t O::*Tag>
void CodecTag(TOptionCall& c) {
  static constexpr const char* kMessages[] = {"video tag parameter must be 4 chars",
                                              "audio tag parameter must be 4 chars",
                                              "subtitle tag parameter must be 4 chars"};
  const int kind = Tag == &O::video_codec_tag ? 0 : Tag == &O::audio_codec_tag ? 1 : 2;
  if (c.value.size() != 4)
    AssertionFailure(kMessages[kind], __FILE__, __LINE__);
  uint32_t tag = 0;
  for (int i = 3; i >= 0; --i)
    tag = (tag << 8) | static_cast<unsigned char>(c.value[i]);
  c.o.*Tag = tag;
}

// vcodec, acodec, scodec: "copy" switches stream copy on, anything else names the codec.
template <std::string O::*Name, bool O::*Copy>
void Codec(TOptionCall& c) {
  if (c.value.empty())
    return;
  (c.o.*Name).clear();
  if (c.value == "copy")
    c.o.*Copy = true;
  else
    c.o.*Name = c.value;
}

template <TMediaKind Kind>
void NewStream(TOptionCall& c) {
  const int outputs = c.engine.OutputCount();
  if (outputs == 0)
    Refuse("At least one output file must be specified");
  c.o.new_streams.push_back(c.o.TakeStreamSettings(Kind, outputs - 1));
}

// ---- audio --------------------------------------------------------------------------------

template <int O::*Field>
void PositiveInt(TOptionCall& c) {
  int v = OptionInt(c.value);
  if (v > 0)
    c.o.*Field = v;
}

void SampleFmt(TOptionCall& c) {
  if (c.value == "list") {
    for (int f = 0; f < AV_SAMPLE_FMT_NB; ++f)
      if (const char* name = av_get_sample_fmt_name(static_cast<AVSampleFormat>(f)))
        LoggerInstance().Log(&c.engine, llInfo, name);
    return;
  }
  c.o.audio_sample_fmt = av_get_sample_fmt(c.value.c_str());
}

// ---- bitstream filters and presets --------------------------------------------------------

void BitstreamFilter(TOptionCall& c) {
  if (c.value.empty() || c.value[0] == '=')
    return;
  size_t eq = c.value.find('=');
  TBitstreamFilterSpec filter;
  filter.name = eq == std::string::npos ? c.value : c.value.substr(0, eq);
  if (eq != std::string::npos)
    filter.args = c.value.substr(eq + 1);
  if (!av_bsf_get_by_name(filter.name.c_str()))
    Refuse(FormatText("Unknown bitstream filter %s", filter.name.c_str()));
  auto& chain = c.name[0] == 'v'   ? c.o.video_bitstream_filters
                : c.name[0] == 'a' ? c.o.audio_bitstream_filters
                                   : c.o.subtitle_bitstream_filters;
  chain.push_back(std::move(filter));
}

void Preset(TOptionCall& c) { c.engine.ApplyPreset(c.name, c.value); }

// Each name once. Grouped as the option language groups them: general, video, audio,
// subtitle, capture, muxing.
constexpr TOptionDef kOptionTable[] = {
    // general
    {"L", NoOp},
    {"h", NoOp},
    {"version", NoOp},
    {"formats", NoOp},
    {"codecs", NoOp},
    {"bsfs", NoOp},
    {"protocols", NoOp},
    {"filters", NoOp},
    {"loglevel", LogLevel},
    {"f", Format},
    {"i", NoOp},
    {"y", NoOp},
    {"map", StreamMap},
    {"map_meta_data", MetaDataMap},
    {"t", RecordingTime},
    {"fs", LimitFilesize},
    {"ss", StartTime},
    {"itsoffset", InputTsOffset},
    {"itsscale", TsScale},
    {"timestamp", RecTimestamp},
    {"metadata", Metadata},
    {"dframes", MaxFrames<mkData>},
    {"benchmark", NoOp},
    {"timelimit", TimeLimit},
    {"dump", Flag<&O::do_pkt_dump>},
    {"hex", Flag<&O::do_hex_dump>},
    {"re", Flag<&O::rate_emu>},
    {"loop_input", Flag<&O::loop_input>},
    {"loop_output", Int<&O::loop_output>},
    {"v", Verbosity},
    {"target", Target},
    {"threads", Todo},
    {"vsync", Int<&O::video_sync_method>},
    {"async", Int<&O::audio_sync_method>},
    {"adrift_threshold", Double<&O::audio_drift_threshold>},
    {"dts_delta_threshold", Double<&O::dts_delta_threshold>},
    {"vglobal", Int<&O::video_global_header>},
    {"copyts", SwitchOn<&O::copy_ts>},
    {"shortest", Flag<&O::opt_shortest>},
    {"programid", Int<&O::opt_programid>},
    {"xerror", SwitchOn<&O::exit_on_error>},
    {"copyinkf", Int<&O::copy_initial_nonkeyframes>},
    // video
    {"b", Bitrate},
    {"vb", Bitrate},
    {"vframes", MaxFrames<mkVideo>},
    {"r", FrameRate},
    {"s", FrameSize},
    {"aspect", Aspect},
    {"pix_fmt", PixFmt},
    {"croptop", Crop<&O::frame_topBand, &O::frame_height>},
    {"cropbottom", Crop<&O::frame_bottomBand, &O::frame_height>},
    {"cropleft", Crop<&O::frame_leftBand, &O::frame_width>},
    {"cropright", Crop<&O::frame_rightBand, &O::frame_width>},
    {"padtop", Pad},
    {"padbottom", Pad},
    {"padleft", Pad},
    {"padright", Pad},
    {"padcolor", Pad},
    {"intra", Flag<&O::intra_only>},
    {"vn", Flag<&O::video_disable>},
    {"vdt", Int<&O::video_discard>},
    {"qscale", QScale},
    {"rc_override", Text<&O::video_rc_override_string>},
    {"vcodec", Codec<&O::video_codec_name, &O::video_stream_copy>},
    {"me_threshold", Int<&O::me_threshold>},
    {"sameq", Flag<&O::same_quality>},
    {"pass", Pass},
    {"passlogfile", Text<&O::pass_logfilename_prefix>},
    {"deinterlace", Flag<&O::do_deinterlace>},
    {"psnr", Flag<&O::do_psnr>},
    {"vstats", VStats},
    {"vstats_file", Text<&O::vstats_filename>},
    {"vhook", VHook},
    {"vfilters", TextUnlessEmpty<&O::vfilters>},
    {"vf", TextUnlessEmpty<&O::vfilters>},
    {"intra_matrix", MatrixCoefficients<&O::intra_matrix>},
    {"inter_matrix", MatrixCoefficients<&O::inter_matrix>},
    {"top", Int<&O::top_field_first>},
    {"dc", Int<&O::intra_dc_precision>},
    {"vtag", CodecTag<&O::video_codec_tag>},
    {"newvideo", NewStream<mkVideo>},
    {"vlang", Text<&O::video_language>},
    {"qphist", Flag<&O::qp_hist>},
    {"force_fps", Flag<&O::force_fps>},
    {"streamid", StreamId},
    // audio
    {"ab", Bitrate},
    {"aframes", MaxFrames<mkAudio>},
    {"aq", Float<&O::audio_qscale>},
    {"ar", PositiveInt<&O::audio_sample_rate>},
    {"ac", PositiveInt<&O::audio_channels>},
    {"an", Flag<&O::audio_disable>},
    {"acodec", Codec<&O::audio_codec_name, &O::audio_stream_copy>},
    {"atag", CodecTag<&O::audio_codec_tag>},
    {"vol", Int<&O::audio_volume>},
    {"newaudio", NewStream<mkAudio>},
    {"alang", Text<&O::audio_language>},
    {"sample_fmt", SampleFmt},
    // subtitles
    {"sn", Flag<&O::subtitle_disable>},
    {"scodec", Codec<&O::subtitle_codec_name, &O::subtitle_stream_copy>},
    {"newsubtitle", NewStream<mkSubtitle>},
    {"slang", Text<&O::subtitle_language>},
    {"stag", CodecTag<&O::subtitle_codec_tag>},
    // capture devices
    {"vc", Int<&O::video_channel>},
    {"tvstd", Text<&O::video_standard>},
    {"isync", Flag<&O::input_sync>},
    // muxing
    {"muxdelay", Double<&O::mux_max_delay>},
    {"muxpreload", Double<&O::mux_preload>},
    {"absf", BitstreamFilter},
    {"vbsf", BitstreamFilter},
    {"sbsf", BitstreamFilter},
    {"apre", Preset},
    {"vpre", Preset},
    {"spre", Preset},
    {"fpre", Preset},
};

}  // namespace

std::span<const TOptionDef> OptionTable() { return kOptionTable; }

const TOptionDef* FindOption(std::string_view AName) {
  for (const TOptionDef& def : kOptionTable)
    if (AName == def.Name)
      return &def;
  return nullptr;
}

// ---- TCustomFFmpeg: the option language ---------------------------------------------------

void TCustomFFmpeg::ParseOption(const std::string& AName, const std::string& AValue) {
  const TOptionDef* def = FindOption(AName);
  if (!def) {
    SetDefaultOption(AName, AValue);
    return;
  }
  TOptionCall call{*this, *options_, AName, AValue};
  def->Handler(call);
}

bool TCustomFFmpeg::SetDefaultOption(const std::string& AName, const std::string& AValue) {
  const TEngineOptions& o = *options_;
  TFFOptions::TChoice choice{o.video_codec_name, o.audio_codec_name, o.subtitle_codec_name,
                             o.format_name};
  return ff_options_->SetDefaultOption(AName, AValue, choice);
}

bool TCustomFFmpeg::UsingVideoHooks() const { return video_hooks_->Count() > 0; }
