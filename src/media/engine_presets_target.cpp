// Target presets: the settings of VCD, SVCD, DVD, DV and DV50 output in each norm.
#include <cmath>

#include "media/engine.h"
#include "media/engine_options_values.h"
#include "media/logger.h"

namespace {

enum TNorm { nmPAL, nmNTSC, nmFILM };

// Frame rate per norm.
constexpr const char* kNormRates[] = {"25", "30000/1001", "24000/1001"};

struct TLibraryOption {
  const char* name;
  const char* value;
};

struct TTargetPreset {
  const char* type;
  const char* video_codec;    // nullptr: unchanged
  const char* audio_codec;    // nullptr: unchanged
  const char* format;
  const char* sizes[2];       // PAL, NTSC (also FILM)
  const char* pix_fmts[3];    // by norm; nullptr: unchanged
  bool gop;                   // g 15 for PAL, 18 for NTSC and FILM
  TLibraryOption library[8];  // library options in order; ends at the first null name
  int sample_rate;
  bool mono_to_stereo;        // true: 1 channel becomes 2; false: 2 channels
  double mux_preload;         // seconds, 0 = unchanged
  const char* aspect;         // the aspect ratio when none is set; nullptr: none
};

// "flags=+scan_offset" of SVCD is the MPEG-2 encoder's private switch scan_offset now.
constexpr TTargetPreset kTargets[] = {
    {"vcd", "mpeg1video", "mp2", "vcd", {"352x288", "352x240"}, {}, true,
     {{"b", "1150000"}, {"maxrate", "1150000"}, {"minrate", "1150000"}, {"bufsize", "327680"},
      {"ab", "224000"}, {"packetsize", "2324"}, {"muxrate", "1411200"}},
     44100, false, 0.44, "4:3"},
    {"svcd", "mpeg2video", "mp2", "svcd", {"480x576", "480x480"}, {}, true,
     {{"b", "2040000"}, {"maxrate", "2516000"}, {"minrate", "0"}, {"bufsize", "1835008"},
      {"scan_offset", "1"}, {"ab", "224000"}, {"packetsize", "2324"}},
     44100, true, 0, "4:3"},
    {"dvd", "mpeg2video", "ac3", "dvd", {"720x576", "720x480"}, {}, true,
     {{"b", "6000000"}, {"maxrate", "9000000"}, {"minrate", "0"}, {"bufsize", "1835008"},
      {"ab", "448000"}, {"packetsize", "2048"}, {"muxrate", "10080000"}},
     48000, true, 0, "16:9"},
    {"dv", nullptr, nullptr, "dv", {"720x576", "720x480"}, {"yuv420p", "yuv411p", "yuv411p"},
     false, {}, 48000, false, 0, nullptr},
    {"dv50", nullptr, nullptr, "dv", {"720x576", "720x480"}, {"yuv422p", "yuv422p", "yuv422p"},
     false, {}, 48000, false, 0, nullptr},
};

// Frame rate × 1000, rounded: 25000 for PAL, 29970 or 23976 for NTSC.
int RateCode(AVRational ARate) {
  return static_cast<int>(std::lround(ARate.num * 1000.0 / ARate.den));
}

bool NormOfRate(AVRational ARate, TNorm& ANorm) {
  if (ARate.den == 0)
    return false;
  int code = RateCode(ARate);
  if (code == 25000) {
    ANorm = nmPAL;
    return true;
  }
  if (code == 29970 || code == 23976) {
    ANorm = nmNTSC;
    return true;
  }
  return false;
}

}  // namespace

void TCustomFFmpeg::ApplyTarget(const std::string& AType, const std::string& ANorm,
                                const std::string& AFallback) {
  TEngineOptions& o = Options();
  TNorm norm = nmPAL;
  if (ANorm == "pal") {
    norm = nmPAL;
  } else if (ANorm == "ntsc") {
    norm = nmNTSC;
  } else if (ANorm == "film") {
    norm = nmFILM;
  } else {
    if (o.frame_rate.den == 0)
      throw std::runtime_error("frame_rate is invalid.");
    bool found = NormOfRate(o.frame_rate, norm);
    for (size_t i = 0; !found && i < o.input_video_rates.size(); ++i)
      found = NormOfRate(o.input_video_rates[i], norm);
    if (!found)
      norm = AFallback == "film" ? nmFILM : AFallback == "ntsc" ? nmNTSC : nmPAL;
    if (Verbose() > 0)
      LoggerInstance().LogFmt(this, llVerbose, "Assuming %s for target.",
                              norm == nmPAL ? "PAL" : "NTSC");
  }

  const TTargetPreset* target = nullptr;
  for (const TTargetPreset& t : kTargets)
    if (AType == t.type)
      target = &t;
  if (!target)
    throw std::runtime_error("Unknown target type");

  if (target->video_codec)
    ParseOption("vcodec", target->video_codec);
  if (target->audio_codec)
    ParseOption("acodec", target->audio_codec);
  ParseOption("f", target->format);
  ParseOption("s", target->sizes[norm == nmPAL ? 0 : 1]);
  if (target->pix_fmts[norm])
    ParseOption("pix_fmt", target->pix_fmts[norm]);
  ParseOption("r", kNormRates[norm]);
  if (target->gop)
    SetDefaultOption("g", norm == nmPAL ? "15" : "18");
  for (const TLibraryOption& option : target->library) {
    if (!option.name)
      break;
    SetDefaultOption(option.name, option.value);
  }
  o.audio_sample_rate = target->sample_rate;
  if (!target->mono_to_stereo)
    o.audio_channels = 2;
  else if (o.audio_channels == 1)
    o.audio_channels = 2;
  if (target->mux_preload > 0)
    o.mux_preload = target->mux_preload;
  if (target->aspect && o.frame_aspect_ratio == 0.0) {
    ParseOption("aspect", target->aspect);
    LoggerInstance().Log(this, llInfo,
                         std::string("Assuming ") + target->aspect + " for aspect ratio");
  }
}
