// Text pieces of the media probe's information (internal to the probe's sources).
#pragma once

#include <cstdarg>
#include <string>

struct AVDictionary;
struct AVCodecParameters;

namespace probe_text {

std::string FormatV(const char* AFormat, va_list AArgs);
std::string Format(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));

// The first entry with exactly this key, empty when there is none.
std::string MetadataValue(const AVDictionary* AMetadata, const char* AKey);

// The decoder's name with its long name in parentheses, or what else names the codec.
std::string CodecName(const AVCodecParameters* APar);

// The "Metadata:" block with the given indent (lines ended by "\n"); empty when there is no
// metadata or only a "language" entry.
std::string MetadataBlock(const AVDictionary* AMetadata, const std::string& AIndent);

// ", 25 fps", ", 29.97 fps", ", 90k tbn": a rate with its unit as the stream line shows it.
std::string RateText(double AValue, const char* AUnit);

}  // namespace probe_text
