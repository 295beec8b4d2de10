// The records that describe one input and one output of a conversion task, and the option text
// they carry in ExtOptions. The engine turns these into options of its option language; the
// records themselves are plain data the application fills and the task manager stores.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/ffutils.h"

enum TOptionTargetType { ttIgnore, ttVCD, ttSVCD, ttDVD };
enum TOptionNormType { ntAuto, ntPAL, ntNTSC };
// The norm used when automatic detection finds none; only ntPAL and ntNTSC are meaningful.
using TOptionNormDefault = TOptionNormType;

// Metadata of an output.
struct TStreamInfo {
  // Local date-time as a day count with fraction (0 = now at the time of writing, negative =
  // none).
  double TimeStamp = -1.0;
  int Year = -1;   // added as metadata only when > 0
  int Track = -1;  // added as metadata only when > 0
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;

  void Reset();
};

struct TInputOptions {
  std::string FileName;        // empty: filled from the file name the task is given
  std::string FileFormat;      // forced input format name
  int64_t TimeStart = NoTimeStamp;  // microseconds
  int ProgramID = -1;          // program to read from a multi-program input; -1 = any
  std::string ExtOptions;      // further options as option text
  int Tag = 0;                 // free for the application
  void* Data = nullptr;        // free for the application

  void Reset();
};

struct TOutputOptions {
  std::string FileName;  // empty: filled from the file name the task is given
  std::string FileExt;   // for the application only
  std::string FileFormat;
  int PacketSize = -1;
  int MuxRate = -1;
  float MuxDelay = -1.0f;    // seconds
  float MuxPreload = -1.0f;  // seconds
  std::string AudioCodec;    // "copy" = stream copy
  std::string AudioPreset;
  bool DisableAudio = false;
  int AudioVolume = -1;  // 256 = unchanged
  int AudioChannels = -1;
  int AudioSampleRate = -1;
  int AudioBitrate = -1;  // bit/s
  int AudioBitRateTolerance = -1;
  std::string AudioLanguage;
  int AudioSyncMethod = 0;
  std::string AudioTag;   // exactly 4 characters when set
  std::string VideoCodec; // "copy" = stream copy
  std::string VideoPreset;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  int CropTop = -1;
  int CropBottom = -1;
  int CropLeft = -1;
  int CropRight = -1;
  int GroupPictureSize = -1;
  int VideoBitrate = -1;  // bit/s
  int VideoMaxRate = -1;
  int VideoMinRate = -1;
  int VideoBitRateTolerance = -1;
  int VideoBufSize = -1;
  int VideoSyncMethod = -1;  // -1 = automatic
  std::string VideoTag;      // exactly 4 characters when set
  std::string VideoFilters;
  std::string VideoLanguage;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool InputSync = false;
  bool CopyTimestamp = false;
  int64_t TimeStart = NoTimeStamp;   // microseconds
  int64_t TimeLength = NoTimeStamp;  // microseconds; also the task's expected total duration
  TStreamInfo Info;
  TOptionTargetType TargetType = ttIgnore;
  TOptionNormType NormType = ntAuto;
  TOptionNormDefault NormDefault = ntPAL;
  bool CustomHook = false;  // raise the custom hook for every video frame
  bool Join = false;        // join all inputs of the task one after another into this output
  std::string ExtOptions;   // further options as option text
  int Tag = 0;              // free for the application
  void* Data = nullptr;     // free for the application

  void Reset();
};

// One line of option text: the part before the first "=" and the rest.
using TOptionLine = std::pair<std::string, std::string>;

// Splits option text into its lines: the whole text is trimmed of blanks and control
// characters, CR LF, CR, LF and the literal "<CRLF>" all break lines, each line is split at its
// first "=" (no "=": empty value). Lines are not trimmed; empty lines are skipped.
std::vector<TOptionLine> OptionTextLines(const std::string& AText);

// A record built from input option text: a line named TimeStart (any letter case) sets
// TimeStart (microseconds; not a whole number: NoTimeStamp); every other line is appended to
// ExtOptions as name=value and LF.
TInputOptions InputOptionsFromText(const std::string& AText);

// A record built from output option text: Hook or CustomHook set CustomHook, Join sets Join
// (their values are not read), TimeStart and TimeLength as for inputs (names in any letter
// case); every other line goes to ExtOptions.
TOutputOptions OutputOptionsFromText(const std::string& AText);
