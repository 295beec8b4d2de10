#include "presets/catalogue.h"

#include <charconv>

std::span<const TFormat> FormatsOf(int ACategory) {
  if (ACategory < 0 || ACategory >= kCategoryCount) return {};
  return Categories()[ACategory].Formats;
}

const TFormat* FindFormat(int ACategory, int AFormat) {
  auto formats = FormatsOf(ACategory);
  if (AFormat < 0 || AFormat >= static_cast<int>(formats.size())) return nullptr;
  return &formats[AFormat];
}

int FormatImageIndex(int AFormat) { return AFormat % 2 == 0 ? 0 : 1; }

bool IsAudioCategory(int ACategory) { return ACategory == kAudioCategory; }

namespace {

// Byte offset where the code point that ends before APos starts (UTF-8 continuation bytes
// are 10xxxxxx).
size_t PrevCodePoint(std::string_view AText, size_t APos) {
  while (APos > 0) {
    --APos;
    if ((static_cast<unsigned char>(AText[APos]) & 0xC0) != 0x80) break;
  }
  return APos;
}

struct TExtensionException {
  std::string_view Tail;
  const char* Extension;
};
constexpr TExtensionException kExtensionExceptions[] = {
    {"flac", ".flac"}, {"aiff", ".aiff"}, {"*.rm", ".rm"}, {"*.ra", ".ra"}};

}  // namespace

std::string ExtensionFromDisplayText(std::string_view ADisplayText) {
  // Walk back over the last character, then four more.
  size_t end = PrevCodePoint(ADisplayText, ADisplayText.size());
  if (end == 0) return {};
  size_t start = end;
  for (int i = 0; i < 4; ++i) {
    if (start == 0) return {};
    start = PrevCodePoint(ADisplayText, start);
  }
  std::string_view tail = ADisplayText.substr(start, end - start);
  for (const auto& e : kExtensionExceptions)
    if (tail == e.Tail) return e.Extension;
  return std::string(tail);
}

std::string FormatExtension(int ACategory, int AFormat) {
  const TFormat* format = FindFormat(ACategory, AFormat);
  return format ? ExtensionFromDisplayText(format->DisplayText) : std::string();
}

int FormatCode(int ACategory, int AFormat) { return 100 * (ACategory + 1) + AFormat; }

std::optional<TFormatRef> DecodeFormatCode(int ACode) {
  if (ACode < 0) return std::nullopt;
  TFormatRef ref{ACode / 100 - 1, ACode - 100 * (ACode / 100)};
  if (!FindFormat(ref.Category, ref.Format)) return std::nullopt;
  return ref;
}

std::optional<TFormatRef> DecodeFormatCode(std::string_view ACodeText) {
  int code = 0;
  const char* first = ACodeText.data();
  const char* last = first + ACodeText.size();
  if (ACodeText.empty() || ACodeText.front() < '0' || ACodeText.front() > '9')
    return std::nullopt;
  auto [ptr, ec] = std::from_chars(first, last, code);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return DecodeFormatCode(code);
}
