// Applying TInputOptions and TOutputOptions records to the engine's option state.
#include <algorithm>
#include <cmath>
#include <ctime>

#include "media/engine.h"
#include "media/engine_options_values.h"

namespace {

// The per-stream settings that ExtOptions lines may queue, and the settings each kind of
// added stream takes from the queue or the defaults, in the order they are applied.
constexpr const char* kQueuedSettings[] = {"acodec", "vcodec", "scodec", "apre", "vpre",
                                           "spre",   "s",      "vfilters", "vf"};

struct TNewStreamLine {
  const char* name;
  std::initializer_list<const char*> settings;
};
const TNewStreamLine kNewStreamLines[] = {
    {"newaudio", {"acodec", "apre"}},
    {"newvideo", {"vcodec", "vpre", "s", "vf"}},
    {"newsubtitle", {"scodec", "spre"}},
};

// Local date-time as a day count (days since 1899-12-30 with fraction) to seconds since
// 1970-01-01 UTC, with the time-zone offset now in force.
int64_t DayCountToUnixSeconds(double ADays) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const double offset_days = static_cast<double>(local.tm_gmtoff) / 86400.0;
  return std::llround((ADays - 25569.0 - offset_days) * 86400.0);
}

}  // namespace

// ---- TStreamDefaults ----------------------------------------------------------------------

std::string TStreamDefaults::Default(const std::string& ASetting) const {
  const std::string key = "def_" + ASetting;
  for (const TOptionLine& d : defaults)
    if (d.first == key)
      return d.second;
  return {};
}

void TStreamDefaults::SetDefault(const std::string& ASetting, const std::string& AValue) {
  const std::string key = "def_" + ASetting;
  for (TOptionLine& d : defaults)
    if (d.first == key) {
      d.second = AValue;
      return;
    }
  defaults.emplace_back(key, AValue);
}

bool TStreamDefaults::TakeQueued(const std::string& ASetting, std::string& AValue) {
  auto it = std::find_if(queue.begin(), queue.end(),
                         [&](const TOptionLine& l) { return l.first == ASetting; });
  if (it == queue.end())
    return false;
  AValue = it->second;
  queue.erase(it);
  return true;
}

// ---- TFFmpeg ------------------------------------------------------------------------------

void TFFmpeg::ApplyInputRecord(const TInputOptions& AOptions) {
  ApplyAtomically([&] {
    ApplyExtOptions(AOptions.ExtOptions, true);
    ParseOption("f", AOptions.FileFormat);
    if (AOptions.TimeStart != NoTimeStamp)
      Options().start_time = AOptions.TimeStart;
    if (AOptions.ProgramID >= 0)
      Options().opt_programid = AOptions.ProgramID;
  });
}

void TFFmpeg::BuildStreamDefaults(const TOutputOptions& AOptions) {
  TStreamDefaults& d = stream_defaults_;
  d = TStreamDefaults();
  d.SetDefault("acodec", AOptions.AudioCodec);
  d.SetDefault("vcodec", AOptions.VideoCodec);
  d.SetDefault("scodec", AOptions.SubtitleCodec);
  d.SetDefault("apre", AOptions.AudioPreset);
  d.SetDefault("vpre", AOptions.VideoPreset);
  d.SetDefault("spre", AOptions.SubtitlePreset);
  d.SetDefault("s", AOptions.FrameSize);
  d.SetDefault("vf", AOptions.VideoFilters);
  for (const TOptionLine& line : OptionTextLines(AOptions.ExtOptions)) {
    std::string name = LowerCase(line.first);
    if (line.second.empty() ||
        std::none_of(std::begin(kQueuedSettings), std::end(kQueuedSettings),
                     [&](const char* s) { return name == s; }))
      continue;
    if (name == "vfilters")
      name = "vf";
    if (d.Default(name).empty())
      d.SetDefault(name, line.second);
    d.queue.emplace_back(name, line.second);
  }
}

void TFFmpeg::ApplyOutputRecord(const TOutputOptions& AOptions) {
  ApplyAtomically([&] { ApplyOutputRecordSteps(AOptions); });
}

void TFFmpeg::ApplyOutputRecordSteps(const TOutputOptions& AOptions) {
  BuildStreamDefaults(AOptions);
  if (AOptions.TargetType != ttIgnore) {
    static constexpr const char* kTypes[] = {"", "vcd", "svcd", "dvd"};
    const char* norm = AOptions.NormType == ntPAL ? "pal" : AOptions.NormType == ntNTSC ? "ntsc"
                                                                                        : "auto";
    const char* fallback = AOptions.NormDefault == ntPAL ? "pal" : "ntsc";
    const int type = static_cast<int>(AOptions.TargetType);
    if (type < 0 || type > 3)
      throw std::runtime_error("Unknown target type");
    ApplyTarget(kTypes[type], norm, fallback);
  }
  const TStreamDefaults& d = stream_defaults_;
  for (const char* codec : {"acodec", "vcodec", "scodec"})
    ParseOption(codec, d.Default(codec));
  for (const char* preset : {"apre", "vpre", "spre"})
    ParseOption(preset, d.Default(preset));
  ApplyExtOptions(AOptions.ExtOptions, false);
  ApplyOutputOptions(AOptions);
  ParseOption("s", d.Default("s"));
  ParseOption("vfilters", d.Default("vf"));
}

void TFFmpeg::ApplyOutputOptions(const TOutputOptions& AOptions) {
  const TOutputOptions& r = AOptions;
  TEngineOptions& o = Options();
  // Integer settings go straight to the library options, without the checks of the option
  // language (so no low-bitrate warning).
  auto library_int = [this](const char* AName, int AValue) {
    if (AValue > 0)
      SetDefaultOption(AName, std::to_string(AValue));
  };
  auto option_int = [this](const char* AName, int AValue) {
    ParseOption(AName, std::to_string(AValue));
  };
  auto option_text = [this](const char* AName, const std::string& AValue) {
    if (!AValue.empty())
      ParseOption(AName, AValue);
  };

  option_text("f", r.FileFormat);
  library_int("packetsize", r.PacketSize);
  library_int("muxrate", r.MuxRate);
  if (r.MuxDelay > 0)
    o.mux_max_delay = r.MuxDelay;
  if (r.MuxPreload > 0)
    o.mux_preload = r.MuxPreload;
  if (r.DisableAudio)
    o.audio_disable = true;
  if (r.AudioVolume >= 0)
    o.audio_volume = r.AudioVolume;
  if (r.AudioChannels > 0)
    o.audio_channels = r.AudioChannels;
  if (r.AudioSampleRate > 0)
    o.audio_sample_rate = r.AudioSampleRate;
  library_int("ab", r.AudioBitrate);
  library_int("abt", r.AudioBitRateTolerance);
  o.audio_language = r.AudioLanguage;
  o.audio_sync_method = r.AudioSyncMethod;
  option_text("atag", r.AudioTag);
  if (r.DisableVideo)
    o.video_disable = true;
  option_text("r", r.FrameRate);
  option_text("aspect", r.FrameAspectRatio);
  if (r.CropTop > 0)
    option_int("croptop", r.CropTop);
  if (r.CropBottom > 0)
    option_int("cropbottom", r.CropBottom);
  if (r.CropLeft > 0)
    option_int("cropleft", r.CropLeft);
  if (r.CropRight > 0)
    option_int("cropright", r.CropRight);
  library_int("g", r.GroupPictureSize);
  library_int("vb", r.VideoBitrate);
  library_int("maxrate", r.VideoMaxRate);
  library_int("minrate", r.VideoMinRate);
  library_int("bt", r.VideoBitRateTolerance);
  library_int("bufsize", r.VideoBufSize);
  o.video_sync_method = r.VideoSyncMethod;
  option_text("vtag", r.VideoTag);
  o.video_language = r.VideoLanguage;
  if (r.DisableSubtitle)
    o.subtitle_disable = true;
  o.subtitle_language = r.SubtitleLanguage;
  if (r.InputSync)
    o.input_sync = true;
  if (r.CopyTimestamp)
    o.copy_ts = true;
  if (r.TimeStart != NoTimeStamp)
    o.start_time = r.TimeStart;
  if (r.TimeLength != NoTimeStamp) {
    o.recording_time = r.TimeLength;
    total_output_duration_ = r.TimeLength;
  }

  const TStreamInfo& info = r.Info;
  if (info.TimeStamp == 0.0)
    o.rec_timestamp = std::time(nullptr);
  else if (info.TimeStamp > 0.0 && std::isfinite(info.TimeStamp))
    o.rec_timestamp = DayCountToUnixSeconds(info.TimeStamp);
  if (info.Year > 0)
    o.metadata.emplace_back("year", std::to_string(info.Year));
  if (info.Track > 0)
    o.metadata.emplace_back("track", std::to_string(info.Track));
  const std::pair<const char*, const std::string*> texts[] = {
      {"title", &info.Title},     {"author", &info.Author}, {"copyright", &info.Copyright},
      {"comment", &info.Comment}, {"album", &info.Album},   {"genre", &info.Genre}};
  for (auto [key, text] : texts)
    if (!text->empty())
      o.metadata.emplace_back(key, *text);
}

void TFFmpeg::ApplyNewStreamLines(const TOutputOptions& AOptions) {
  ApplyAtomically([&] { ApplyNewStreamLineSteps(AOptions); });
}

void TFFmpeg::ApplyNewStreamLineSteps(const TOutputOptions& AOptions) {
  for (const TOptionLine& line : OptionTextLines(AOptions.ExtOptions)) {
    const std::string name = LowerCase(line.first);
    for (const TNewStreamLine& kind : kNewStreamLines) {
      if (name != kind.name)
        continue;
      for (const char* setting : kind.settings) {
        std::string value;
        if (!stream_defaults_.TakeQueued(setting, value))
          value = stream_defaults_.Default(setting);
        ParseOption(setting, value);
      }
      ParseOption(name, line.second);
    }
  }
}
