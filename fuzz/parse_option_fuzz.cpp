// libFuzzer target: ParseOption with every name of the option table (and any other name), and
// whole input and output records whose ExtOptions come from the input. Refusals are expected;
// crashes, sanitizer reports and leaks are not. Built by scripts/fuzz.sh, not by the normal
// build.
//
// Input layout: byte 0 chooses the mode; for single options byte 1 chooses a table name (or,
// past the table, the name is the text up to the first NUL), the rest is the value.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "media/engine.h"
#include "media/engine_options_table.h"

namespace {

// Options that load modules or change the whole process are not fuzzed: vhook loads any shared
// object the value names, loglevel changes the one logger of the process.
bool Skipped(const std::string& AName) {
  return AName == "vhook" || AName == "loglevel";
}

bool SkippedText(const std::string& AText) {
  return AText.find("vhook") != std::string::npos || AText.find("loglevel") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 2)
    return 0;
  const int mode = AData[0] % 4;
  const std::string rest(reinterpret_cast<const char*>(AData + 1), ASize - 1);
  TFFmpeg engine(2);
  try {
    switch (mode) {
      case 0: {  // one table option
        auto table = OptionTable();
        std::string name = table[AData[1] % table.size()].Name;
        if (Skipped(name))
          return 0;
        engine.ParseOption(name, rest.substr(1));
        break;
      }
      case 1: {  // any name
        size_t nul = rest.find('\0');
        std::string name = rest.substr(0, nul);
        if (Skipped(name))
          return 0;
        engine.ParseOption(name, nul == std::string::npos ? "" : rest.substr(nul + 1));
        break;
      }
      case 2: {  // an output record
        if (SkippedText(rest))
          return 0;
        TOutputOptions rec = OutputOptionsFromText(rest);
        engine.ApplyOutputRecord(rec);
        engine.ApplyNewStreamLines(rec);  // no output: refused by the stream lines
        break;
      }
      default: {  // an input record, then the same text as output lines
        if (SkippedText(rest))
          return 0;
        engine.ApplyInputRecord(InputOptionsFromText(rest));
        engine.ApplyExtOptions(rest, false);
        break;
      }
    }
  } catch (const std::exception&) {
    // a refusal
  }
  return 0;
}
