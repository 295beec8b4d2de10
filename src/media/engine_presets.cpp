// The built-in libx264 presets and preset application.
//
// The presets are written with the option names of the installed libx264 wrapper: the
// partition, motion-search, entropy-coder, direct-prediction and weighting switches are the
// encoder's private options (partitions, me_method, coder, direct-pred, mixed-refs, weightb,
// 8x8dct, fast-pskip, wpredp, sc_threshold, b_strategy, qp); the rest are generic codec options.
#include "media/engine_presets.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include <sys/stat.h>

#include "media/engine.h"
#include "media/engine_options_values.h"

namespace {

// The full line set every "full" preset starts from, in its fixed order.
constexpr const char kDefaultLines[] =
    "coder=1\n"
    "flags=+loop\n"
    "cmp=+chroma\n"
    "partitions=i8x8,i4x4,p8x8,b8x8\n"
    "me_method=hex\n"
    "subq=7\n"
    "me_range=16\n"
    "g=250\n"
    "keyint_min=25\n"
    "sc_threshold=40\n"
    "i_qfactor=0.71\n"
    "b_strategy=1\n"
    "qcomp=0.6\n"
    "qmin=10\n"
    "qmax=51\n"
    "qdiff=4\n"
    "bf=3\n"
    "refs=3\n"
    "direct-pred=1\n"
    "trellis=1\n"
    "mixed-refs=1\n"
    "weightb=1\n"
    "8x8dct=1\n"
    "fast-pskip=1\n"
    "wpredp=2\n";

// Fast analysis for a first pass.
#define FIRST_PASS "partitions=none\nme_method=dia\nsubq=2\nrefs=1\ntrellis=0\n"
#define ALL_PARTITIONS "partitions=i8x8,i4x4,p8x8,p4x4,b8x8\n"
#define NO_B_FRAMES "bf=0\nweightb=0\n"

struct TBuiltinPreset {
  const char* name;
  // nullptr: the preset is exactly Lines. Otherwise the preset named here (or kDefaultLines
  // for "") with each of Lines replacing the line of the same name, or added at the end.
  const char* base;
  const char* lines;
};

// Table order. The speed presets differ in motion search, sub-pixel refinement, reference
// count and partitions; the lossless ones use a constant quantiser of 0 without B-frames.
constexpr TBuiltinPreset kPresets[] = {
    {"libx264-baseline", nullptr, "coder=0\n" NO_B_FRAMES "8x8dct=0\nwpredp=0\n"},
    {"libx264-default", "", ""},
    {"libx264-fast", "", "subq=6\nrefs=2\nwpredp=1\n"},
    {"libx264-fast_firstpass", "libx264-fast", FIRST_PASS},
    {"libx264-faster", "", "subq=4\nrefs=2\nmixed-refs=0\nwpredp=1\n"},
    {"libx264-faster_firstpass", "libx264-faster", FIRST_PASS},
    {"libx264-fastfirstpass", "", FIRST_PASS},
    {"libx264-hq", "", "me_method=umh\nsubq=8\nb_strategy=2\nrefs=4\ndirect-pred=3\n"},
    {"libx264-ipod320", nullptr,
     "coder=0\n" NO_B_FRAMES "8x8dct=0\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0\n"},
    {"libx264-ipod640", nullptr,
     "coder=0\n" NO_B_FRAMES "refs=1\n8x8dct=0\nlevel=30\nmaxrate=10000000\n"
     "bufsize=10000000\nwpredp=0\n"},
    {"libx264-lossless_fast", "",
     "partitions=i8x8,i4x4\nsubq=3\nrefs=2\ntrellis=0\nmixed-refs=0\n" NO_B_FRAMES "qp=0\n"},
    {"libx264-lossless_max", "",
     ALL_PARTITIONS "me_method=esa\nsubq=9\nme_range=32\nrefs=16\ntrellis=0\n" NO_B_FRAMES
                    "qp=0\n"},
    {"libx264-lossless_medium", "", "subq=5\nrefs=2\ntrellis=0\n" NO_B_FRAMES "qp=0\n"},
    {"libx264-lossless_slow", "",
     "me_method=umh\nsubq=6\nrefs=4\ntrellis=0\n" NO_B_FRAMES "qp=0\n"},
    {"libx264-lossless_slower", "",
     ALL_PARTITIONS "me_method=umh\nsubq=8\nrefs=4\ntrellis=0\n" NO_B_FRAMES "qp=0\n"},
    {"libx264-lossless_ultrafast", "",
     "coder=0\npartitions=none\nme_method=dia\nsubq=0\nrefs=1\ntrellis=0\nmixed-refs=0\n"
     "8x8dct=0\nwpredp=0\n" NO_B_FRAMES "qp=0\n"},
    {"libx264-main", nullptr, "8x8dct=0\n"},
    {"libx264-max", "",
     ALL_PARTITIONS "me_method=tesa\nsubq=10\nme_range=24\nb_strategy=2\nrefs=16\n"
                    "direct-pred=3\ntrellis=2\nfast-pskip=0\n"},
    {"libx264-medium", "", ""},
    {"libx264-medium_firstpass", "libx264-medium", FIRST_PASS},
    {"libx264-normal", "", "subq=6\nrefs=2\ndirect-pred=3\ntrellis=0\nmixed-refs=0\n"},
    {"libx264-placebo", "",
     ALL_PARTITIONS "me_method=tesa\nsubq=10\nme_range=24\nb_strategy=2\nbf=16\nrefs=16\n"
                    "direct-pred=3\ntrellis=2\nfast-pskip=0\n"},
    {"libx264-placebo_firstpass", "libx264-placebo", FIRST_PASS},
    {"libx264-slow", "", "me_method=umh\nsubq=8\nb_strategy=2\nrefs=5\ndirect-pred=3\n"},
    {"libx264-slow_firstpass", "libx264-slow", FIRST_PASS},
    {"libx264-slower", "",
     ALL_PARTITIONS "me_method=umh\nsubq=9\nb_strategy=2\nrefs=8\ndirect-pred=3\ntrellis=2\n"},
    {"libx264-slower_firstpass", "libx264-slower", FIRST_PASS},
    // A thorough first pass: the analysis of libx264-hq with one reference and no trellis.
    {"libx264-slowfirstpass", "libx264-hq", "refs=1\ntrellis=0\n"},
    {"libx264-superfast", "",
     "partitions=i8x8,i4x4\nme_method=dia\nsubq=1\nrefs=1\ntrellis=0\nmixed-refs=0\n"
     "wpredp=1\n"},
    // The superfast and ultrafast analysis is already a fast first pass.
    {"libx264-superfast_firstpass", "libx264-superfast", "partitions=none\n"},
    {"libx264-ultrafast", "",
     "coder=0\nflags=-loop\npartitions=none\nme_method=dia\nsubq=0\nsc_threshold=0\n"
     "b_strategy=0\nbf=0\nrefs=1\ntrellis=0\nmixed-refs=0\nweightb=0\n8x8dct=0\nwpredp=0\n"},
    {"libx264-ultrafast_firstpass", "libx264-ultrafast", ""},
    {"libx264-veryfast", "",
     "subq=2\nrefs=1\ntrellis=0\nmixed-refs=0\nwpredp=1\n"},
    {"libx264-veryfast_firstpass", "libx264-veryfast", FIRST_PASS},
    {"libx264-veryslow", "",
     ALL_PARTITIONS "me_method=umh\nsubq=10\nme_range=24\nb_strategy=2\nbf=8\nrefs=16\n"
                    "direct-pred=3\ntrellis=2\n"},
    {"libx264-veryslow_firstpass", "libx264-veryslow", FIRST_PASS},
};

#undef FIRST_PASS
#undef ALL_PARTITIONS
#undef NO_B_FRAMES

constexpr auto kPresetNames = [] {
  std::array<const char*, std::size(kPresets)> names{};
  for (size_t i = 0; i < names.size(); ++i)
    names[i] = kPresets[i].name;
  return names;
}();

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

const TBuiltinPreset* FindPreset(std::string_view AName) {
  for (const TBuiltinPreset& p : kPresets)
    if (SameText(p.name, AName))
      return &p;
  return nullptr;
}

// Lines of a text without their line breaks, trimmed, empty ones dropped.
std::vector<std::string> TextLines(const std::string& AText) {
  std::string text = TrimText(AText);
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i <= text.size(); ++i) {
    char c = i < text.size() ? text[i] : '\n';
    if (c == '\r' || c == '\n') {
      line = TrimText(line);
      if (!line.empty())
        lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  return lines;
}

std::string LineName(const std::string& ALine) { return ALine.substr(0, ALine.find('=')); }

std::vector<std::string> ComposedLines(const TBuiltinPreset& APreset) {
  if (!APreset.base)
    return TextLines(APreset.lines);
  std::vector<std::string> lines;
  const TBuiltinPreset* base = *APreset.base ? FindPreset(APreset.base) : nullptr;
  lines = base ? ComposedLines(*base) : TextLines(kDefaultLines);
  for (const std::string& change : TextLines(APreset.lines)) {
    auto same = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return LineName(l) == LineName(change);
    });
    if (same != lines.end())
      *same = change;
    else
      lines.push_back(change);
  }
  return lines;
}

bool IsRegularFile(const std::string& APath) {
  struct stat st {};
  return ::stat(APath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::span<const char* const> BuiltinPresetNames() { return kPresetNames; }

std::optional<std::string> BuiltinPresetText(std::string_view AName) {
  const TBuiltinPreset* preset = FindPreset(AName);
  if (!preset)
    return std::nullopt;
  std::string text;
  for (const std::string& line : ComposedLines(*preset))
    text += line + "\n";
  return text;
}

void TCustomFFmpeg::ApplyPreset(const std::string& AKind, const std::string& AValue) {
  if (AKind.empty() || AValue.empty())
    return;
  const TEngineOptions& o = Options();
  std::string preset_name = AValue;
  std::optional<std::string> text;
  if (AKind[0] != 'f') {
    text = BuiltinPresetText(AValue);
    if (!text) {
      std::string codec;
      if (AKind[0] == 'v' && !o.video_codec_name.empty())
        codec = o.video_codec_name;
      else if (AKind[0] == 'a' && !o.audio_codec_name.empty())
        codec = o.audio_codec_name;
      else if (!o.subtitle_codec_name.empty())
        codec = o.subtitle_codec_name;
      if (!codec.empty()) {
        preset_name = codec + "-" + AValue;
        text = BuiltinPresetText(preset_name);
      }
    }
  }
  if (!text) {
    preset_name = AValue;
    if (!IsRegularFile(AValue))
      throw std::runtime_error(FormatText("Preset \"%s\" not found", AValue.c_str()));
    std::ifstream file(AValue, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    if (!file && !file.eof())
      throw std::runtime_error(FormatText("Preset \"%s\" not found", AValue.c_str()));
    text = content.str();
  }
  // A built-in preset names its encoder ("libx264-..."): when no encoder of the kind is chosen
  // yet, its private options are those of that encoder.
  TFFOptions::TChoice choice{o.video_codec_name, o.audio_codec_name, o.subtitle_codec_name,
                             o.format_name};
  if (const TBuiltinPreset* builtin = FindPreset(preset_name)) {
    std::string& codec = AKind[0] == 'a'   ? choice.audio_codec
                         : AKind[0] == 's' ? choice.subtitle_codec
                                           : choice.video_codec;
    const std::string table_name = builtin->name;
    if (codec.empty())
      codec = table_name.substr(0, table_name.find('-'));
  }
  for (const std::string& line : TextLines(*text)) {
    size_t eq = line.find('=');
    std::string name = eq == std::string::npos ? line : line.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (eq == std::string::npos || name.empty() || value.empty())
      throw std::runtime_error(FormatText("%s: Invalid syntax: \"%s\"", preset_name.c_str(),
                                          line.c_str()));
    const std::string lower = LowerCase(name);
    if (lower == "acodec" || lower == "vcodec" || lower == "scodec") {
      ParseOption(lower, value);
      choice = {o.video_codec_name, o.audio_codec_name, o.subtitle_codec_name, o.format_name};
    } else if (!ff_options_->SetDefaultOption(name, value, choice)) {
      throw std::runtime_error(
          FormatText("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                     preset_name.c_str(), line.c_str(), name.c_str(), value.c_str()));
    }
  }
}
