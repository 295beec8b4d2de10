// The output record of a file row: filled from the parameter fields when the file is added,
// written into the row's hidden columns, and updated from those columns when a run builds the
// row's task.
#pragma once

#include <array>
#include <string>

#include "media/option_records.h"
#include "presets/parameter_set.h"

// A row's texts by column number (0 to 24).
using TRowTexts = std::array<std::string, 25>;

// The fields of AOptions the parameter set decides (codecs, preset, sizes, rates, channels,
// target and norm, volume, bitrates); the others keep their values.
void FillOutputRecord(const TParameterSet& AParams, TOutputOptions& AOptions);

// Columns 11 to 24 of a row just added: 11 to 21 from the record (numbers as decimal text),
// 22 to 24 empty.
void WriteAddedRowColumns(const TOutputOptions& AOptions, TRowTexts& ARow);

// Updates AOptions from columns 11 to 24 of ARow as a run does before it builds the row's task
// (exact, case-sensitive comparisons; "AUTO" and empty columns keep what the record holds).
void UpdateOutputRecordFromColumns(const TRowTexts& ARow, TOutputOptions& AOptions);
