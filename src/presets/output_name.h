// Output file names: where the converted file of an input goes, and the extension swap of a
// row's output name when its format changes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// The options dialog's choice for an output that already exists (its setting value).
enum TOverwriteChoice {
  ocOverwrite = 0,  // "直接覆盖输出文件"
  ocRename = 1,     // "自动重命名输出文件"
};

// True when a full output path is already promised to something else (for example another row
// of the file list), so it must not be chosen even if no file exists there yet.
using TNameTaken = std::function<bool(const std::string& APath)>;

// The output path for AInputPath: AOutputFolder + "/" + base + AExt, where base is the input's
// file name without its extension. That candidate is taken when it is free (no file, not even a
// dangling link, at the path; with ocOverwrite an existing file does not count) and not taken
// by ATaken. Otherwise the first of base_1, base_2, ... (+ AExt) at which no file exists and
// which ATaken does not claim is taken, whatever the overwrite choice.
// The result is never the input file itself (the same path, or a link to the same file): that
// candidate is treated as occupied even with ocOverwrite, so a.mp3 converted to MP3 into its
// own folder becomes a_1.mp3 instead of destroying its source.
// Returns the empty text when the input path has no file name, or no free name was found.
std::string OutputFileName(const std::string& AOutputFolder, const std::string& AInputPath,
                           const std::string& AExt, TOverwriteChoice AOverwrite,
                           const TNameTaken& ATaken = {});

// The file-name part of a path (after the last "/").
std::string FileNamePart(std::string_view APath);

// AFileName with its extension (from the last "." of the file-name part on) replaced by AExt;
// a name without extension gets AExt appended.
std::string ReplaceFileExt(std::string_view AFileName, std::string_view AExt);
