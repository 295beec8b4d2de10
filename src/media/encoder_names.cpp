#include "media/encoder_names.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

constexpr TEncoderMapping kEncoderMappings[] = {
    {"libfaac", "aac"},  // the native AAC encoder
};

bool HasEncoder(const std::string& AName) {
  return avcodec_find_encoder_by_name(AName.c_str()) != nullptr;
}

}  // namespace

std::span<const TEncoderMapping> EncoderMappings() { return kEncoderMappings; }

TEncoderResolution ResolveEncoderName(std::string_view AName) {
  std::string name(AName);
  if (name.empty() || HasEncoder(name)) return {name, false};
  for (const auto& m : kEncoderMappings)
    if (name == m.Name && HasEncoder(m.Replacement)) return {m.Replacement, true};
  return {};
}
