#include "presets/output_record.h"

#include <cstdlib>

namespace {

int Int(const std::string& AText) { return std::atoi(AText.c_str()); }

TOptionTargetType TargetOf(const std::string& AText) {
  return AText == "vcd" ? ttVCD : AText == "svcd" ? ttSVCD : AText == "dvd" ? ttDVD : ttIgnore;
}

TOptionNormType NormOf(const std::string& AText) {
  return AText == "PAL" ? ntPAL : AText == "NTSC" ? ntNTSC : ntAuto;
}

}  // namespace

void FillOutputRecord(const TParameterSet& p, TOutputOptions& oo) {
  if (!p.Video_VideoCodec.empty()) {
    oo.VideoCodec = p.Video_VideoCodec;
    oo.VideoPreset = p.Video_VideoCodec == "libx264" ? "libx264-default" : "";
  }
  if (!p.Video_AudioCodec.empty() && p.Video_AudioCodec != "AUTO")
    oo.AudioCodec = p.Video_AudioCodec;
  if (!p.Video_FrameRate.empty())
    oo.FrameRate = p.Video_FrameRate;
  if (!p.Video_FrameSize.empty())
    oo.FrameSize = p.Video_FrameSize;
  if (!p.Video_FrameAspectRatio.empty())
    oo.FrameAspectRatio = p.Video_FrameAspectRatio;
  if (!p.Video_FileFormat.empty())
    oo.FileFormat = p.Video_FileFormat;
  if (!p.Video_VideoFilters.empty())
    oo.VideoFilters = p.Video_VideoFilters;
  if (!p.Video_VideoTag.empty())
    oo.VideoTag = p.Video_VideoTag;
  oo.DisableVideo = p.Video_DisableVideo;
  if (!p.Video_AudioChannels.empty())
    oo.AudioChannels = Int(p.Video_AudioChannels);
  if (!p.Video_AudioSampleRate.empty() && p.Video_AudioSampleRate != "AUTO")
    oo.AudioSampleRate = Int(p.Video_AudioSampleRate);
  if (!p.Video_TargetType.empty())
    oo.TargetType = TargetOf(p.Video_TargetType);
  oo.NormType = NormOf(p.Video_NormType);
  oo.AudioVolume = p.Video_AudioVolume == "256" ? 256 : Int(p.Video_AudioVolume);
  if (p.Video_AudioBitrate != -1000 && p.Video_AudioBitrate != -2000)
    oo.AudioBitrate = p.Video_AudioBitrate;
  if (p.Video_VideoBitrate != -1000)
    oo.VideoBitrate = p.Video_VideoBitrate;
}

void WriteAddedRowColumns(const TOutputOptions& oo, TRowTexts& row) {
  row[11] = oo.VideoCodec;
  row[12] = oo.AudioCodec;
  row[13] = std::to_string(oo.AudioChannels);
  row[14] = oo.VideoTag;
  row[15] = oo.FileExt;
  row[16] = oo.FrameSize;
  row[17] = std::to_string(oo.VideoBitrate);
  row[18] = oo.FrameRate;
  row[19] = std::to_string(oo.AudioBitrate);
  row[20] = std::to_string(oo.AudioSampleRate);
  row[21] = oo.FrameAspectRatio;
  row[22].clear();
  row[23].clear();
  row[24].clear();
}

void UpdateOutputRecordFromColumns(const TRowTexts& c, TOutputOptions& oo) {
  const std::string& videoCodec = c[11];
  if (!videoCodec.empty()) {
    oo.VideoCodec = videoCodec;
    oo.VideoPreset = videoCodec == "libx264" ? "libx264-default" : "";
  }
  if (!c[12].empty() && c[12] != "AUTO")
    oo.AudioCodec = c[12];
  if (!c[13].empty())
    oo.AudioChannels = Int(c[13]);
  oo.VideoTag = !c[14].empty() && videoCodec != "libx264" ? c[14] : std::string();
  if (!c[15].empty())
    oo.FileExt = c[15];
  if (!c[16].empty())
    oo.FrameSize = c[16];
  if (!c[17].empty())
    oo.VideoBitrate = Int(c[17]);
  if (!c[18].empty())
    oo.FrameRate = c[18];
  if (c[19] != "-1000" && c[19] != "-2000")
    oo.AudioBitrate = Int(c[19]);
  if (!c[20].empty() && c[20] != "AUTO")
    oo.AudioSampleRate = Int(c[20]);
  if (!c[21].empty())
    oo.FrameAspectRatio = c[21];
  oo.DisableVideo = c[22] == "True";
  if (!c[23].empty())
    oo.TargetType = TargetOf(c[23]);
  oo.NormType = NormOf(c[24]);
}
