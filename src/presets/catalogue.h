// The output preset catalogue: four categories of formats, the six option lists each format
// offers with their defaults, and each format's encoder parameter values. All of it is constant
// data (catalogue_data.cpp); the functions here only look it up. No toolkit, no state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The six option lists of the window, in the order the window fills them. The enum value is the
// index into per-list arrays (TOptionAssignment, TOptionTexts, TOptionIndexes).
enum TOptionList {
  olResolution,    // bsSkinComboBox1
  olVideoBitrate,  // bsSkinComboBox2
  olFrameRate,     // bsSkinComboBox9
  olAudioBitrate,  // bsSkinComboBox3
  olSampleRate,    // bsSkinComboBox10
  olAspect,        // bsSkinComboBox4
};
inline constexpr int kOptionListCount = 6;

// Orders in which the window walks the option lists.
inline constexpr std::array<TOptionList, 6> kOptionClearOrder = {
    olResolution, olVideoBitrate, olAudioBitrate, olAspect, olFrameRate, olSampleRate};
inline constexpr std::array<TOptionList, 6> kOptionFillOrder = {
    olResolution, olVideoBitrate, olFrameRate, olAudioBitrate, olSampleRate, olAspect};
// Lists disabled, in this order, after filling them for an audio format.
inline constexpr std::array<TOptionList, 4> kAudioDisableOrder = {
    olResolution, olVideoBitrate, olAspect, olFrameRate};
// Order of the six two-digit pairs in an option code.
inline constexpr std::array<TOptionList, 6> kOptionCodeOrder = {
    olResolution, olVideoBitrate, olAudioBitrate, olAspect, olFrameRate, olSampleRate};

struct TOptionListInfo {
  const char* Label;        // caption in front of the list, e.g. "视频分辨率："
  const char* ControlName;  // the window's name for the list, e.g. "bsSkinComboBox1"
  int Column;               // file-list column that holds the list's resolved value
};
// Indexed by TOptionList.
const TOptionListInfo& OptionListInfo(TOptionList AList);

// The item lists the option lists are filled from.
enum TItemList {
  ilR0, ilR1, ilR2, ilR3, ilR4, ilR5,
  ilVB0, ilVB1, ilVB2, ilVB3, ilVB4, ilVB5, ilVB6,
  ilFR0, ilFR1, ilFR2, ilFR3,
  ilAB0, ilAB1, ilAB2, ilAB3,
  ilSR0, ilSR1, ilSR2,
  ilAS0, ilAS1, ilAS2,
};
inline constexpr int kItemListCount = ilAS2 + 1;

// The entries of an item list, in order (UTF-8).
std::span<const char* const> ItemListItems(TItemList AList);
// "R0", "VB3", ... for messages and tests.
const char* ItemListName(TItemList AList);

// Which item list an option list shows for a format, and the entry selected by default.
struct TListChoice {
  TItemList List;
  int DefaultIndex;
};
using TOptionAssignment = std::array<TListChoice, kOptionListCount>;  // indexed by TOptionList

// A format's fixed encoder parameter values. Null pointers stand for the empty text. The
// output extension is not stored: it always follows from the display text.
struct TPresetValues {
  const char* FileExt;
  const char* VideoCodec;
  const char* VideoTag;
  const char* FrameSize;
  const char* FrameRate;
  const char* FrameAspectRatio;
  int32_t VideoBitrate;  // bit/s; -1 not set, -1000 no value
  const char* AudioCodec;
  const char* AudioChannels;
  const char* AudioSampleRate;
  int32_t AudioBitrate;  // bit/s; -1 not set, -1000 no value
  bool DisableVideo;
  const char* TargetType;
  const char* NormType;
};

struct TFormat {
  const char* DisplayText;  // ends with the output file pattern, e.g. "(*.mp3)"
  TOptionAssignment Options;
  TPresetValues Values;
};

struct TCategory {
  const char* DisplayText;
  int ImageIndex;  // into the category image list
  std::span<const TFormat> Formats;
};

inline constexpr int kCategoryCount = 4;
// The category whose formats have no video: the window disables the video lists for them.
inline constexpr int kAudioCategory = 0;

std::span<const TCategory> Categories();
// The formats of a category in list order; empty for an index outside the catalogue.
std::span<const TFormat> FormatsOf(int ACategory);
// nullptr when the pair names no format.
const TFormat* FindFormat(int ACategory, int AFormat);
// Image index of the format at list position AFormat: the list alternates two pictures.
int FormatImageIndex(int AFormat);
bool IsAudioCategory(int ACategory);

// Output extension taken from a display text: the four characters just before the last one;
// "flac", "aiff", "*.rm" and "*.ra" become ".flac", ".aiff", ".rm" and ".ra", anything else is
// the extension as it stands (".mp3"). Characters are counted as code points of UTF-8 text;
// a text of fewer than five characters gives the empty text.
std::string ExtensionFromDisplayText(std::string_view ADisplayText);
// The extension of a catalogue format; empty when the pair names no format.
std::string FormatExtension(int ACategory, int AFormat);

// Format code stored with a file row: 100 * (category + 1) + format.
int FormatCode(int ACategory, int AFormat);
struct TFormatRef {
  int Category;
  int Format;
};
// Splits a code into category = code div 100 - 1 and format = code - 100 * (code div 100).
// nullopt unless the result names a catalogue format.
std::optional<TFormatRef> DecodeFormatCode(int ACode);
// The same for the code as a row stores it: decimal digits only, nothing around them.
std::optional<TFormatRef> DecodeFormatCode(std::string_view ACodeText);
