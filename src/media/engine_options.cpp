// The option state: reset values, per-stream and per-input settings, option text.
#include "media/engine_options.h"

#include <algorithm>
#include <array>
#include <utility>

#include "media/engine.h"
#include "media/engine_options_values.h"
#include "media/video_hook.h"

TEngineOptions::TEngineOptions(int AMaxFiles)
    : input_ts_scale(static_cast<size_t>(std::max(AMaxFiles, 1))) {
  for (auto& row : input_ts_scale)
    row.fill(0.0);
}

void TEngineOptions::Reset() { *this = TEngineOptions(MaxFiles()); }

TStreamSettings TEngineOptions::TakeStreamSettings(TMediaKind AKind, int AOutputIndex) {
  TStreamSettings s;
  s.kind = AKind;
  s.output_index = AOutputIndex;
  switch (AKind) {
    case mkVideo:
      s.codec_name = std::exchange(video_codec_name, {});
      s.stream_copy = std::exchange(video_stream_copy, false);
      s.language = video_language;
      s.codec_tag = video_codec_tag;
      s.bitstream_filters = std::exchange(video_bitstream_filters, {});
      s.frame_width = frame_width;
      s.frame_height = frame_height;
      s.pix_fmt = std::exchange(frame_pix_fmt, AV_PIX_FMT_NONE);
      s.vfilters = vfilters;
      video_disable = false;
      break;
    case mkAudio:
      s.codec_name = std::exchange(audio_codec_name, {});
      s.stream_copy = std::exchange(audio_stream_copy, false);
      s.language = audio_language;
      s.codec_tag = audio_codec_tag;
      s.bitstream_filters = std::exchange(audio_bitstream_filters, {});
      audio_disable = false;
      break;
    case mkSubtitle:
      s.codec_name = std::exchange(subtitle_codec_name, {});
      s.stream_copy = std::exchange(subtitle_stream_copy, false);
      s.language = subtitle_language;
      s.codec_tag = subtitle_codec_tag;
      s.bitstream_filters = std::exchange(subtitle_bitstream_filters, {});
      subtitle_disable = false;
      break;
    case mkData:
    case mkAttachment:
      break;
  }
  return s;
}

void TEngineOptions::ResetInputSettings() {
  format_name.clear();
  pgmyuv_compatibility_hack = false;
  video_codec_name.clear();
  audio_codec_name.clear();
  subtitle_codec_name.clear();
  video_channel = 0;
}

void TEngineOptions::ResetOutputSettings() {
  format_name.clear();
  pgmyuv_compatibility_hack = false;
  streamid_map.fill(0);
  metadata.clear();
  for (TMediaKind kind : {mkVideo, mkAudio, mkSubtitle})
    TakeStreamSettings(kind, -1);
}

// ---- TCustomFFmpeg ------------------------------------------------------------------------

void TCustomFFmpeg::ResetOptions() {
  if (options_)
    options_->Reset();
  else
    options_ = std::make_unique<TEngineOptions>(MaxFiles());
  ff_options_.reset();  // the old store goes first: only one set of contexts at a time
  ff_options_ = std::make_unique<TFFOptions>(options_->sws_flags);
  if (video_hooks_)
    video_hooks_->Clear();
  else
    video_hooks_ = std::make_unique<TVideoHooks>();
  SetVerbose(1);
}

void TCustomFFmpeg::ApplyAtomically(const std::function<void()>& AApply) {
  TEngineOptions saved_options = *options_;
  std::unique_ptr<TFFOptions> saved_store = ff_options_->Clone();
  const int saved_hooks = video_hooks_->Count();
  const int saved_verbose = Verbose();
  const int64_t saved_duration = total_output_duration_;
  try {
    AApply();
  } catch (...) {
    *options_ = std::move(saved_options);
    ff_options_ = std::move(saved_store);
    video_hooks_->Truncate(saved_hooks);
    SetVerbose(saved_verbose);
    total_output_duration_ = saved_duration;
    throw;
  }
}

void TCustomFFmpeg::ApplyExtOptions(const std::string& AText, bool AIsInput) {
  static constexpr std::array<const char*, 8> kRecordLines = {
      "newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"};
  static constexpr std::array<const char*, 4> kOutputDefaults = {"acodec", "vcodec", "scodec",
                                                                 "s"};
  auto listed = [](const auto& AList, const std::string& AName) {
    return std::any_of(AList.begin(), AList.end(), [&](const char* n) { return AName == n; });
  };
  for (const TOptionLine& line : OptionTextLines(AText)) {
    const std::string name = LowerCase(line.first);
    if (listed(kRecordLines, name) || (!AIsInput && listed(kOutputDefaults, name)))
      continue;
    ParseOption(name, line.second);
  }
}
