// Encoder names of the catalogue against the installed libavcodec. The catalogue keeps the
// names its parameter sets were written with; some of those encoders are not built into the
// libraries of this platform and are replaced by an equivalent one.
#pragma once

#include <span>
#include <string>
#include <string_view>

struct TEncoderMapping {
  const char* Name;         // as a parameter set names it
  const char* Replacement;  // used when the library lacks Name
};
std::span<const TEncoderMapping> EncoderMappings();

struct TEncoderResolution {
  std::string Name;     // the encoder to open; empty when neither name resolves
  bool Mapped = false;  // true when Name is a replacement (the engine logs an information line)
};

// AName itself when libavcodec has an encoder of that name, else its replacement when that
// one exists, else an empty Name. An empty AName stays empty: the engine chooses by format.
TEncoderResolution ResolveEncoderName(std::string_view AName);
