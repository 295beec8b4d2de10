// Presets: named lists of codec options, built in or read from files, and the target presets
// for disc and DV formats (TCustomFFmpeg::ApplyPreset / ApplyTarget).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// Names of the built-in presets, in table order.
std::span<const char* const> BuiltinPresetNames();
// The option text (name=value lines, LF-separated) of a built-in preset, names matched
// without regard to letter case; nothing when there is no such preset.
std::optional<std::string> BuiltinPresetText(std::string_view AName);
