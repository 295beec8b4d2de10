#include "media/engine_options_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <vector>

std::string FormatText(const char* AFormat, ...) {
  va_list args;
  va_start(args, AFormat);
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, AFormat, copy);
  va_end(copy);
  std::string text;
  if (size > 0) {
    std::vector<char> buffer(static_cast<size_t>(size) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), AFormat, args);
    text.assign(buffer.data(), static_cast<size_t>(size));
  }
  va_end(args);
  return text;
}

void AssertionFailure(const std::string& AMessage, const char* AFile, int ALine) {
  throw TAssertionFailure(AMessage + " (" + std::filesystem::path(AFile).filename().string() +
                          ", line " + std::to_string(ALine) + ")");
}

std::string LowerCase(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return AText;
}

std::string TrimText(const std::string& AText) {
  auto blank = [](unsigned char c) { return c <= ' '; };
  auto first = std::find_if_not(AText.begin(), AText.end(), blank);
  auto last = std::find_if_not(AText.rbegin(), AText.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

namespace {

template <class T>
bool ParseWhole(const std::string& AValue, T& AResult) {
  std::string text = TrimText(AValue);
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
    ++first;
  auto [end, ec] = std::from_chars(first, last, AResult);
  return first != last && ec == std::errc() && end == last;
}

}  // namespace

int OptionInt(const std::string& AValue) {
  int value = 0;
  if (!ParseWhole(AValue, value))
    throw std::invalid_argument("'" + AValue + "' is not a valid integer value");
  return value;
}

int64_t OptionInt64(const std::string& AValue) {
  int64_t value = 0;
  if (!ParseWhole(AValue, value))
    throw std::invalid_argument("'" + AValue + "' is not a valid integer value");
  return value;
}

double OptionFloat(const std::string& AValue) {
  double value = 0;
  if (!ParseWhole(AValue, value) || !std::isfinite(value))
    throw std::invalid_argument("'" + AValue + "' is not a valid floating point value");
  return value;
}
