// The main window's current parameter set (the fields named Video_...), how a format's set is
// loaded into it, how the texts shown by the six option lists resolve into it, and the texts a
// file row's columns get from it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presets/catalogue.h"
#include "presets/output_name.h"

// Bitrate field values with a meaning of their own.
inline constexpr int32_t kBitrateNotSet = -1;   // the engine's default applies
inline constexpr int32_t kBitrateNoValue = -1000;  // nothing is handed on

struct TParameterSet {
  std::string Video_VideoCodec;         // empty: the engine chooses by output format
  std::string Video_VideoTag;           // four-character codec tag or empty
  std::string Video_FrameSize;          // "320*240"; empty: the source size
  std::string Video_FrameRate;          // "25", "29.97"; empty: the source rate
  std::string Video_FrameAspectRatio;   // "4:3", "16:9", "37:20", "47:20"; empty: the source's
  int32_t Video_VideoBitrate = kBitrateNotSet;  // bit/s
  std::string Video_AudioCodec;         // empty: the engine chooses by output format
  std::string Video_AudioChannels;      // "1", "2" or empty
  std::string Video_AudioSampleRate;    // Hz as text or empty
  int32_t Video_AudioBitrate = kBitrateNotSet;  // bit/s
  std::string Video_AudioVolume = "256";  // "256" = unchanged
  std::string Video_FileExt;            // stored with the output options only
  std::string Video_FileFormat;
  std::string Video_VideoFilters;
  std::string Video_TargetType;         // "vcd", "svcd", "dvd" or empty
  std::string Video_NormType;           // "PAL", "NTSC" or empty (automatic)
  bool Video_DisableVideo = false;      // the output has no video stream
  std::string Video_OutPutFileName;     // full output path of the file being added
  std::string Video_AddFileName;        // full input path of the file being added; set by the
                                        // file list, never reset here
};

// Every field to its neutral value except Video_AddFileName.
void ResetParameterSet(TParameterSet& AParams);

// ResetParameterSet, then the format's own values. False (and only the reset done) when the
// pair names no format.
bool LoadParameterSet(TParameterSet& AParams, int ACategory, int AFormat);

// LoadParameterSet, then Video_OutPutFileName := the output path of Video_AddFileName in
// AOutputFolder with the format's extension, by OutputFileName (empty when Video_AddFileName
// is empty or no free name exists). False when the pair names no format.
bool ApplyParameterSet(TParameterSet& AParams, int ACategory, int AFormat,
                       const std::string& AOutputFolder, TOverwriteChoice AOverwrite,
                       const TNameTaken& ATaken = {});

// Bitrate text of an option list ("816 kbps", "7.95 kbps") in bit/s, rounded to the nearest
// whole number (halves away from zero). The number is the text before "kbps", blanks trimmed;
// decimals are refused unless AAllowDecimals. nullopt for any other text.
std::optional<int32_t> ParseKbps(std::string_view AText, bool AAllowDecimals);

// Sets the one field that AList's shown text controls. False, and the field unchanged, when the
// text means nothing for that list (an unreadable bitrate, an unknown aspect text).
bool ResolveOptionText(TParameterSet& AParams, TOptionList AList, std::string_view AText);

// The texts the six option lists show, indexed by TOptionList.
using TOptionTexts = std::array<std::string, kOptionListCount>;

// Resolves all six shown texts into their fields (resolution, frame rate, video bitrate, sample
// rate, audio bitrate, aspect). Touches no file row.
void ReadOptionChoices(TParameterSet& AParams, const TOptionTexts& ATexts);

// One file-list cell: column number (0 = the row's caption) and its text.
struct TColumnText {
  int Column;
  std::string Text;
  bool operator==(const TColumnText&) const = default;
};

// The text of the column that holds AList's field (16 to 21).
TColumnText OptionColumnText(const TParameterSet& AParams, TOptionList AList);

// Columns 11 to 24 of a row, from the fields: codecs, channels, tag, FileExt, size, video
// bitrate, rate, audio bitrate, sample rate, aspect, "True"/"False" for no video, target, norm.
std::vector<TColumnText> ParameterColumnTexts(const TParameterSet& AParams);

// What a selected row gets after the window changed its format and has run ApplyParameterSet
// (whose ParameterColumnTexts it has written) and ReadOptionChoices:
//   3  ARowOutputName with the format's extension;
//   9  the format code;
//   10 the option code of the format's defaults (what the freshly filled lists show);
//   16 to 21 the fields as ReadOptionChoices left them, so the row converts with what the
//      lists show, as a row added with the same choices does (the set's own values for these
//      fields, written by ParameterColumnTexts, can differ from the lists' defaults).
// Empty when the pair names no format.
std::vector<TColumnText> FormatChangeColumnTexts(const TParameterSet& AParams, int ACategory,
                                                 int AFormat, std::string_view ARowOutputName);

// Option change while a row is selected: resolves AText into its field and returns the cells
// to rewrite: column 10 (ARowOptionCode with AList's pair set to AIndex; left out when
// ARowOptionCode does not decode) and the list's own column.
std::vector<TColumnText> ApplyOptionChange(TParameterSet& AParams, TOptionList AList, int AIndex,
                                           std::string_view AText,
                                           std::string_view ARowOptionCode);
