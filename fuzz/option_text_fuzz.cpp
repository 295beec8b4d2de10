// libFuzzer target: option text as records carry it (ExtOptions and the text forms of the
// task manager's operations). Built by scripts/fuzz.sh, not by the normal build.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/option_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string text(reinterpret_cast<const char*>(AData), ASize);
  for (const TOptionLine& line : OptionTextLines(text)) {
    // Lines never carry a break, and a name never an "=".
    if (line.first.find_first_of("\r\n") != std::string::npos ||
        line.second.find_first_of("\r\n") != std::string::npos ||
        line.first.find('=') != std::string::npos)
      std::abort();
  }
  TInputOptions in = InputOptionsFromText(text);
  TOutputOptions out = OutputOptionsFromText(text);
  // What the text forms put into ExtOptions reads back as the same lines.
  if (OptionTextLines(in.ExtOptions).size() > OptionTextLines(text).size() ||
      OptionTextLines(out.ExtOptions).size() > OptionTextLines(text).size())
    std::abort();
  return 0;
}
