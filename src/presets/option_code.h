// The option code a file row keeps: which entry of each of the six option lists was chosen,
// as six two-digit indexes joined without separator in the order resolution, video bitrate,
// audio bitrate, aspect, frame rate, sample rate ("000310040904").
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "presets/catalogue.h"

// One entry index per option list, indexed by TOptionList; -1 stands for "no entry selected".
using TOptionIndexes = std::array<int, kOptionListCount>;

// Indexes below 10 get a leading "0"; -1 is therefore written as the three characters "0-1",
// which makes the code unreadable on purpose (a row holding it cannot be restored).
std::string EncodeOptionCode(const TOptionIndexes& AIndexes);

// nullopt unless the code is exactly twelve decimal digits.
std::optional<TOptionIndexes> DecodeOptionCode(std::string_view ACode);

// Rewrites the pair of one list in a row's code; the other pairs stay as they are. False, and
// ACode untouched, when ACode does not decode.
bool SetOptionCodePair(std::string& ACode, TOptionList AList, int AIndex);

// The default entry of each list for a format; nullopt when the pair names no format.
std::optional<TOptionIndexes> DefaultOptionIndexes(int ACategory, int AFormat);

// True when every index names an entry of the list the format shows for it. A row whose stored
// indexes fail this cannot be restored into the option lists.
bool OptionIndexesFit(int ACategory, int AFormat, const TOptionIndexes& AIndexes);
