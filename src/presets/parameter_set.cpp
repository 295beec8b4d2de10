#include "presets/parameter_set.h"

#include <cstdint>
#include <limits>

#include "presets/option_code.h"

void ResetParameterSet(TParameterSet& AParams) {
  std::string add_file = std::move(AParams.Video_AddFileName);
  AParams = TParameterSet{};
  AParams.Video_AddFileName = std::move(add_file);
}

namespace {

std::string Text(const char* AValue) { return AValue ? AValue : ""; }

// Texts that mean "keep the source's value" or "no video" in a list: they resolve to empty.
constexpr std::string_view kResolutionEmpty[] = {"保持原分辨率", "该格式无视频"};
constexpr std::string_view kFrameRateEmpty[] = {"保持原帧速率", "无视频"};
constexpr std::string_view kNoVideo = "无视频";

struct TAspectText {
  std::string_view Shown;
  const char* Value;
};
constexpr TAspectText kAspectTexts[] = {
    {"保持原视频模式", ""},     {"普通视频4:3模式", "4:3"},     {"宽屏视频16:9模式", "16:9"},
    {"宽屏视频37:20模式", "37:20"}, {"宽屏视频47:20模式", "47:20"}, {"无视频", ""},
};

template <size_t N>
bool OneOf(std::string_view AText, const std::string_view (&AList)[N]) {
  for (auto t : AList)
    if (t == AText) return true;
  return false;
}

std::string_view TrimBlanks(std::string_view AText) {
  while (!AText.empty() && (AText.front() == ' ' || AText.front() == '\t')) AText.remove_prefix(1);
  while (!AText.empty() && (AText.back() == ' ' || AText.back() == '\t')) AText.remove_suffix(1);
  return AText;
}

bool ResolveResolution(TParameterSet& P, std::string_view T) {
  P.Video_FrameSize = OneOf(T, kResolutionEmpty) ? "" : std::string(T);
  return true;
}
bool ResolveFrameRate(TParameterSet& P, std::string_view T) {
  P.Video_FrameRate = OneOf(T, kFrameRateEmpty) ? "" : std::string(T);
  return true;
}
bool ResolveVideoBitrate(TParameterSet& P, std::string_view T) {
  if (T == kNoVideo) {
    P.Video_VideoBitrate = kBitrateNoValue;
    return true;
  }
  auto bitrate = ParseKbps(T, false);
  if (bitrate) P.Video_VideoBitrate = *bitrate;
  return bitrate.has_value();
}
bool ResolveSampleRate(TParameterSet& P, std::string_view T) {
  P.Video_AudioSampleRate = std::string(T);
  return true;
}
bool ResolveAudioBitrate(TParameterSet& P, std::string_view T) {
  auto bitrate = ParseKbps(T, true);
  if (bitrate) P.Video_AudioBitrate = *bitrate;
  return bitrate.has_value();
}
bool ResolveAspect(TParameterSet& P, std::string_view T) {
  for (const auto& a : kAspectTexts)
    if (a.Shown == T) {
      P.Video_FrameAspectRatio = a.Value;
      return true;
    }
  return false;
}

// How each option list reaches its field, indexed by TOptionList.
struct TOptionField {
  bool (*Resolve)(TParameterSet&, std::string_view);
  std::string (*Text)(const TParameterSet&);
};
constexpr TOptionField kOptionFields[kOptionListCount] = {
    {ResolveResolution, [](const TParameterSet& P) { return P.Video_FrameSize; }},
    {ResolveVideoBitrate,
     [](const TParameterSet& P) { return std::to_string(P.Video_VideoBitrate); }},
    {ResolveFrameRate, [](const TParameterSet& P) { return P.Video_FrameRate; }},
    {ResolveAudioBitrate,
     [](const TParameterSet& P) { return std::to_string(P.Video_AudioBitrate); }},
    {ResolveSampleRate, [](const TParameterSet& P) { return P.Video_AudioSampleRate; }},
    {ResolveAspect, [](const TParameterSet& P) { return P.Video_FrameAspectRatio; }},
};

constexpr TOptionList kReadOrder[] = {olResolution, olFrameRate,    olVideoBitrate,
                                      olSampleRate, olAudioBitrate, olAspect};

bool ValidList(TOptionList AList) { return AList >= 0 && AList < kOptionListCount; }

}  // namespace

bool LoadParameterSet(TParameterSet& AParams, int ACategory, int AFormat) {
  ResetParameterSet(AParams);
  const TFormat* format = FindFormat(ACategory, AFormat);
  if (!format) return false;
  const TPresetValues& v = format->Values;
  AParams.Video_FileExt = Text(v.FileExt);
  AParams.Video_VideoCodec = Text(v.VideoCodec);
  AParams.Video_VideoTag = Text(v.VideoTag);
  AParams.Video_FrameSize = Text(v.FrameSize);
  AParams.Video_FrameRate = Text(v.FrameRate);
  AParams.Video_FrameAspectRatio = Text(v.FrameAspectRatio);
  AParams.Video_VideoBitrate = v.VideoBitrate;
  AParams.Video_AudioCodec = Text(v.AudioCodec);
  AParams.Video_AudioChannels = Text(v.AudioChannels);
  AParams.Video_AudioSampleRate = Text(v.AudioSampleRate);
  AParams.Video_AudioBitrate = v.AudioBitrate;
  AParams.Video_DisableVideo = v.DisableVideo;
  AParams.Video_TargetType = Text(v.TargetType);
  AParams.Video_NormType = Text(v.NormType);
  return true;
}

bool ApplyParameterSet(TParameterSet& AParams, int ACategory, int AFormat,
                       const std::string& AOutputFolder, TOverwriteChoice AOverwrite,
                       const TNameTaken& ATaken) {
  if (!LoadParameterSet(AParams, ACategory, AFormat)) return false;
  if (!AParams.Video_AddFileName.empty())
    AParams.Video_OutPutFileName =
        OutputFileName(AOutputFolder, AParams.Video_AddFileName,
                       FormatExtension(ACategory, AFormat), AOverwrite, ATaken);
  return true;
}

std::optional<int32_t> ParseKbps(std::string_view AText, bool AAllowDecimals) {
  size_t unit = AText.find("kbps");
  if (unit == std::string_view::npos) return std::nullopt;
  std::string_view number = TrimBlanks(AText.substr(0, unit));
  size_t dot = number.find('.');
  std::string_view whole = number.substr(0, dot);
  std::string_view fraction =
      dot == std::string_view::npos ? std::string_view() : number.substr(dot + 1);
  if (dot != std::string_view::npos && (!AAllowDecimals || fraction.empty())) return std::nullopt;
  if (whole.empty() || whole.size() > 9) return std::nullopt;

  int64_t value = 0;  // in bit/s
  for (char c : whole) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  value *= 1000;
  // Exact decimal arithmetic: the first three fraction digits are whole bit/s, the fourth rounds.
  int64_t scale = 100;
  for (size_t i = 0; i < fraction.size(); ++i) {
    char c = fraction[i];
    if (c < '0' || c > '9') return std::nullopt;
    if (i < 3) {
      value += (c - '0') * scale;
      scale /= 10;
    } else if (i == 3 && c >= '5') {
      value += 1;
    }
  }
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool ResolveOptionText(TParameterSet& AParams, TOptionList AList, std::string_view AText) {
  if (!ValidList(AList)) return false;
  return kOptionFields[AList].Resolve(AParams, AText);
}

void ReadOptionChoices(TParameterSet& AParams, const TOptionTexts& ATexts) {
  for (TOptionList list : kReadOrder) ResolveOptionText(AParams, list, ATexts[list]);
}

TColumnText OptionColumnText(const TParameterSet& AParams, TOptionList AList) {
  if (!ValidList(AList)) return {};
  return {OptionListInfo(AList).Column, kOptionFields[AList].Text(AParams)};
}

std::vector<TColumnText> ParameterColumnTexts(const TParameterSet& P) {
  return {
      {11, P.Video_VideoCodec},
      {12, P.Video_AudioCodec},
      {13, P.Video_AudioChannels},
      {14, P.Video_VideoTag},
      {15, P.Video_FileExt},
      {16, P.Video_FrameSize},
      {17, std::to_string(P.Video_VideoBitrate)},
      {18, P.Video_FrameRate},
      {19, std::to_string(P.Video_AudioBitrate)},
      {20, P.Video_AudioSampleRate},
      {21, P.Video_FrameAspectRatio},
      {22, P.Video_DisableVideo ? "True" : "False"},
      {23, P.Video_TargetType},
      {24, P.Video_NormType},
  };
}

std::vector<TColumnText> FormatChangeColumnTexts(const TParameterSet& AParams, int ACategory,
                                                 int AFormat, std::string_view ARowOutputName) {
  auto defaults = DefaultOptionIndexes(ACategory, AFormat);
  if (!defaults) return {};
  std::vector<TColumnText> cells = {
      {3, ReplaceFileExt(ARowOutputName, FormatExtension(ACategory, AFormat))},
      {9, std::to_string(FormatCode(ACategory, AFormat))},
      {10, EncodeOptionCode(*defaults)},
  };
  for (int list = 0; list < kOptionListCount; ++list)
    cells.push_back(OptionColumnText(AParams, static_cast<TOptionList>(list)));
  return cells;
}

std::vector<TColumnText> ApplyOptionChange(TParameterSet& AParams, TOptionList AList, int AIndex,
                                           std::string_view AText,
                                           std::string_view ARowOptionCode) {
  if (!ValidList(AList)) return {};
  std::vector<TColumnText> cells;
  std::string code(ARowOptionCode);
  if (SetOptionCodePair(code, AList, AIndex)) cells.push_back({10, code});
  ResolveOptionText(AParams, AList, AText);
  cells.push_back(OptionColumnText(AParams, AList));
  return cells;
}
