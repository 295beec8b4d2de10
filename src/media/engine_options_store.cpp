// The generic option store: library options set by name on option contexts of the libraries.
#include <algorithm>
#include <cctype>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "media/engine_options.h"
#include "media/logger.h"
#include "media/encoder_names.h"

namespace {

// The option flag of each media kind; data and attachment have none, so every option
// matches them.
constexpr int kKindFlags[MediaKindCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                            AV_OPT_FLAG_SUBTITLE_PARAM, 0};

std::string Trimmed(const std::string& s) {
  auto blank = [](unsigned char c) { return c <= ' '; };
  auto first = std::find_if_not(s.begin(), s.end(), blank);
  auto last = std::find_if_not(s.rbegin(), s.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

// The encoder the option language means by AName, or null ("copy" and empty mean none).
const AVCodec* ChosenEncoder(const std::string& AName) {
  if (AName.empty() || AName == "copy")
    return nullptr;
  TEncoderResolution resolved = ResolveEncoderName(AName);
  return resolved.Name.empty() ? nullptr : avcodec_find_encoder_by_name(resolved.Name.c_str());
}

const AVOption* FindPrivate(const AVClass* const* AClass, const char* AName) {
  if (!AClass || !*AClass)
    return nullptr;
  return av_opt_find(const_cast<const AVClass**>(AClass), AName, nullptr, 0,
                     AV_OPT_SEARCH_FAKE_OBJ);
}

// Sets AName on a fresh private context of ACodec, so a value the encoder refuses is refused
// here. Returns the library result.
int TryEncoderPrivate(const AVCodec* ACodec, const char* AName, const char* AValue) {
  AVCodecContext* scratch = avcodec_alloc_context3(ACodec);
  if (!scratch || !scratch->priv_data) {
    avcodec_free_context(&scratch);
    return AVERROR(ENOMEM);
  }
  int ret = av_opt_set(scratch->priv_data, AName, AValue, 0);
  avcodec_free_context(&scratch);
  return ret;
}

int TryMuxerPrivate(const AVOutputFormat* AFormat, const char* AName, const char* AValue) {
  AVFormatContext* scratch = nullptr;
  int ret = avformat_alloc_output_context2(&scratch, AFormat, nullptr, nullptr);
  if (ret < 0)
    return ret;
  ret = scratch->priv_data ? av_opt_set(scratch->priv_data, AName, AValue, 0)
                           : AVERROR_OPTION_NOT_FOUND;
  avformat_free_context(scratch);
  return ret;
}

// Copies the value of each set name from ASource onto ATarget when ATarget's option carries
// AFlags. Returns the number copied.
int CopyByName(void* ATarget, void* ASource, const std::vector<std::string>& ANames, int AFlags) {
  int copied = 0;
  for (const std::string& name : ANames) {
    const AVOption* target_option = av_opt_find(ATarget, name.c_str(), nullptr, AFlags, 0);
    const AVOption* source_option = av_opt_find(ASource, name.c_str(), nullptr, 0, 0);
    if (!target_option || !source_option)
      continue;
    if (source_option->type == AV_OPT_TYPE_FLAGS && target_option->type == AV_OPT_TYPE_FLAGS) {
      // Flags carry what was switched on and off against the defaults ("+loop"), so a
      // target's own defaults (an encoder's "+cgop") stay unless switched off.
      int64_t set = 0, now = 0;
      if (av_opt_get_int(ASource, name.c_str(), 0, &set) < 0 ||
          av_opt_get_int(ATarget, name.c_str(), 0, &now) < 0)
        continue;
      const int64_t base = source_option->default_val.i64;
      const int64_t flags = (now | (set & ~base)) & ~(base & ~set);
      if (av_opt_set_int(ATarget, name.c_str(), flags, 0) >= 0)
        ++copied;
      continue;
    }
    uint8_t* value = nullptr;
    if (av_opt_get(ASource, name.c_str(), 0, &value) < 0 || !value)
      continue;
    if (av_opt_set(ATarget, name.c_str(), reinterpret_cast<const char*>(value), 0) >= 0)
      ++copied;
    av_free(value);
  }
  return copied;
}

}  // namespace

TFFOptions::TFFOptions(int ASwsFlags) {
  for (AVCodecContext*& ctx : avcodec_opts_) {
    ctx = avcodec_alloc_context3(nullptr);
    if (!ctx) {
      Release();
      throw std::runtime_error("avcodec_alloc_context3 failed");
    }
  }
  // The codec type lets each context be read as one of its kind.
  for (int k = 0; k < MediaKindCount; ++k)
    avcodec_opts_[k]->codec_type = static_cast<AVMediaType>(k);
  avformat_opts_ = avformat_alloc_context();
  sws_opts_ = sws_alloc_context();
  if (!avformat_opts_ || !sws_opts_) {
    Release();
    throw std::runtime_error("avformat_alloc_context failed");
  }
  av_opt_set_int(sws_opts_, "sws_flags", ASwsFlags, 0);
  av_opt_set_int(sws_opts_, "srcw", 16, 0);
  av_opt_set_int(sws_opts_, "srch", 16, 0);
  av_opt_set_int(sws_opts_, "dstw", 16, 0);
  av_opt_set_int(sws_opts_, "dsth", 16, 0);
}

TFFOptions::~TFFOptions() { Release(); }

void TFFOptions::Release() {
  for (AVCodecContext*& ctx : avcodec_opts_)
    avcodec_free_context(&ctx);
  avformat_free_context(avformat_opts_);
  avformat_opts_ = nullptr;
  sws_freeContext(sws_opts_);
  sws_opts_ = nullptr;
  for (AVDictionary*& dict : private_opts_)
    av_dict_free(&dict);
  av_dict_free(&format_private_opts_);
}

void TFFOptions::NoteName(const char* AName) {
  if (std::find(opt_names_.begin(), opt_names_.end(), AName) == opt_names_.end())
    opt_names_.emplace_back(AName);
}

bool TFFOptions::SetDefaultOption(const std::string& AName, const std::string& AValue,
                                  const TChoice& AChoice) {
  const std::string name = Trimmed(AName);
  const std::string value = Trimmed(AValue);
  if (name.empty() || value.empty())
    return false;
  const char* n = name.c_str();
  const char* v = value.c_str();
  const char* found = nullptr;  // the option's own name
  int ret = 0;

  // Generic codec options, by media kind.
  for (int k = 0; k < MediaKindCount && ret >= 0; ++k) {
    const AVOption* o = av_opt_find(avcodec_opts_[mkVideo], n, nullptr, kKindFlags[k], 0);
    if (o) {
      found = o->name;
      ret = av_opt_set(avcodec_opts_[k], n, v, 0);
    }
  }
  // Private options of the chosen encoders.
  if (!found) {
    const std::pair<TMediaKind, const std::string*> chosen[] = {
        {mkVideo, &AChoice.video_codec},
        {mkAudio, &AChoice.audio_codec},
        {mkSubtitle, &AChoice.subtitle_codec}};
    for (auto [kind, codec_name] : chosen) {
      const AVCodec* codec = ChosenEncoder(*codec_name);
      const AVOption* o = codec ? FindPrivate(&codec->priv_class, n) : nullptr;
      if (!o)
        continue;
      found = o->name;
      ret = TryEncoderPrivate(codec, n, v);
      if (ret < 0)
        break;
      av_dict_set(&private_opts_[kind], n, v, 0);
    }
  }
  // Container options: the generic ones, then the chosen muxer's.
  if (!found) {
    if (const AVOption* o = av_opt_find(avformat_opts_, n, nullptr, 0, 0)) {
      found = o->name;
      ret = av_opt_set(avformat_opts_, n, v, 0);
    } else if (!AChoice.format.empty()) {
      const AVOutputFormat* muxer = av_guess_format(AChoice.format.c_str(), nullptr, nullptr);
      if (const AVOption* p = muxer ? FindPrivate(&muxer->priv_class, n) : nullptr) {
        found = p->name;
        ret = TryMuxerPrivate(muxer, n, v);
        if (ret >= 0)
          av_dict_set(&format_private_opts_, n, v, 0);
      }
    }
  }
  // Scaler options.
  if (!found) {
    if (const AVOption* o = av_opt_find(sws_opts_, n, nullptr, 0, 0)) {
      found = o->name;
      ret = av_opt_set(sws_opts_, n, v, 0);
    }
  }
  // A kind prefix: "ab" is "b" of the audio codec context, and so on.
  if (!found && name.size() > 1) {
    int kind = name[0] == 'a' ? mkAudio : name[0] == 'v' ? mkVideo : name[0] == 's' ? mkSubtitle
                                                                                    : -1;
    if (kind >= 0) {
      if (const AVOption* o = av_opt_find(avcodec_opts_[kind], n + 1, nullptr, 0, 0)) {
        found = o->name;
        ret = av_opt_set(avcodec_opts_[kind], n + 1, v, 0);
      }
    }
  }

  if (found && ret < 0) {
    av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", v, n);
    return false;
  }
  if (!found)
    return false;
  NoteName(found);
  if (avcodec_opts_[mkVideo]->debug != 0 || avformat_opts_->debug != 0)
    LoggerInstance().SetLogLevel(llDebug);
  return true;
}

int TFFOptions::CopyCodecOptions(AVCodecContext* ACtx, TMediaKind AKind, bool AEncoder,
                                 AVDictionary** APrivate) const {
  const int flags =
      kKindFlags[AKind] | (AEncoder ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM);
  int copied = CopyByName(ACtx, avcodec_opts_[AKind], opt_names_, flags);
  if (APrivate && AEncoder && private_opts_[AKind]) {
    av_dict_copy(APrivate, private_opts_[AKind], 0);
    copied += av_dict_count(private_opts_[AKind]);
  }
  return copied;
}

int TFFOptions::CopyFormatOptions(AVFormatContext* ACtx, bool AOutput,
                                  AVDictionary** APrivate) const {
  const int flags = AOutput ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM;
  int copied = CopyByName(ACtx, avformat_opts_, opt_names_, flags);
  if (APrivate && AOutput && format_private_opts_) {
    av_dict_copy(APrivate, format_private_opts_, 0);
    copied += av_dict_count(format_private_opts_);
  }
  return copied;
}

int TFFOptions::SwsFlags() const {
  int64_t flags = 0;
  av_opt_get_int(sws_opts_, "sws_flags", 0, &flags);
  return static_cast<int>(flags);
}

std::unique_ptr<TFFOptions> TFFOptions::Clone() const {
  auto copy = std::make_unique<TFFOptions>(SwsFlags());
  for (int k = 0; k < MediaKindCount; ++k) {
    if (av_opt_copy(copy->avcodec_opts_[k], avcodec_opts_[k]) < 0)
      throw std::runtime_error("av_opt_copy failed");
    av_dict_copy(&copy->private_opts_[k], private_opts_[k], 0);
  }
  if (av_opt_copy(copy->avformat_opts_, avformat_opts_) < 0 ||
      av_opt_copy(copy->sws_opts_, sws_opts_) < 0)
    throw std::runtime_error("av_opt_copy failed");
  av_dict_copy(&copy->format_private_opts_, format_private_opts_, 0);
  copy->opt_names_ = opt_names_;
  return copy;
}
