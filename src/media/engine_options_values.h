// Conversions of option values, with the texts of their errors, shared by the option table,
// the record application and the presets.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// printf-style formatting into a string.
std::string FormatText(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));

// A failed internal check: the message followed by " (<file>, line <n>)".
class TAssertionFailure : public std::logic_error {
public:
  using std::logic_error::logic_error;
};
// Throws TAssertionFailure for AMessage at AFile (its name only is shown) and ALine.
[[noreturn]] void AssertionFailure(const std::string& AMessage, const char* AFile, int ALine);

// Decimal numbers; blanks around them are allowed. Anything else (also a number out of range)
// throws std::invalid_argument "'<value>' is not a valid integer value" or
// "'<value>' is not a valid floating point value".
int OptionInt(const std::string& AValue);
int64_t OptionInt64(const std::string& AValue);
double OptionFloat(const std::string& AValue);
// A flag is on unless its value is exactly "0" (an empty value switches it on).
inline bool OptionFlag(const std::string& AValue) { return AValue != "0"; }

std::string LowerCase(std::string AText);
// AText without leading and trailing blanks and control characters.
std::string TrimText(const std::string& AText);
