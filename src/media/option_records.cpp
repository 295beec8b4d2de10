#include "media/option_records.h"

#include <algorithm>
#include <cctype>
#include <charconv>

void TStreamInfo::Reset() { *this = TStreamInfo(); }
void TInputOptions::Reset() { *this = TInputOptions(); }
void TOutputOptions::Reset() { *this = TOutputOptions(); }

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
}

// A whole decimal number with an optional sign; anything else is NoTimeStamp.
int64_t TimeValue(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+')
    ++first;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (first == last || ec != std::errc() || end != last)
    return NoTimeStamp;
  return value;
}

void AppendLine(std::string& ext, const TOptionLine& line) {
  ext += line.first;
  ext += '=';
  ext += line.second;
  ext += '\n';
}

}  // namespace

std::vector<TOptionLine> OptionTextLines(const std::string& AText) {
  auto first = std::find_if_not(AText.begin(), AText.end(), IsBlankOrControl);
  auto last = std::find_if_not(AText.rbegin(), AText.rend(), IsBlankOrControl).base();
  std::string text = first < last ? std::string(first, last) : std::string();
  ReplaceAll(text, "\r\n", "\n");
  ReplaceAll(text, "\r", "\n");
  ReplaceAll(text, "<CRLF>", "\n");

  std::vector<TOptionLine> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty()) {
      size_t eq = line.find('=');
      if (eq == std::string::npos)
        lines.emplace_back(line, std::string());
      else
        lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    start = end + 1;
  }
  return lines;
}

TInputOptions InputOptionsFromText(const std::string& AText) {
  TInputOptions rec;
  for (const TOptionLine& line : OptionTextLines(AText)) {
    if (Lower(line.first) == "timestart")
      rec.TimeStart = TimeValue(line.second);
    else
      AppendLine(rec.ExtOptions, line);
  }
  return rec;
}

TOutputOptions OutputOptionsFromText(const std::string& AText) {
  TOutputOptions rec;
  for (const TOptionLine& line : OptionTextLines(AText)) {
    std::string name = Lower(line.first);
    if (name == "hook" || name == "customhook")
      rec.CustomHook = true;
    else if (name == "join")
      rec.Join = true;
    else if (name == "timestart")
      rec.TimeStart = TimeValue(line.second);
    else if (name == "timelength")
      rec.TimeLength = TimeValue(line.second);
    else
      AppendLine(rec.ExtOptions, line);
  }
  return rec;
}
