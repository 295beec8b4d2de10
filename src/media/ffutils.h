// Shared helpers of the media components: file sizes and durations as text, library error
// texts, file names to and from the media library, and the small types the probe and the player
// share. RunInMainThread and ProcessPendingMessages come from the dispatcher.
#pragma once

#include <cstdint>
#include <string>

#include "media/dispatcher.h"

// The library's "no time stamp" value; record fields without a value hold -1 instead.
inline constexpr int64_t NoTimeStamp = INT64_MIN;

// Seek flags; each bit equals the library's seek flag of the same meaning.
using TSeekFlags = unsigned;
inline constexpr TSeekFlags sfBackward = 1;
inline constexpr TSeekFlags sfByte = 2;
inline constexpr TSeekFlags sfAny = 4;
inline constexpr TSeekFlags sfFrame = 8;

// Picture types; each ordinal equals the library's picture type of the same meaning.
enum TPictureType { ptUnknown, ptI, ptP, ptB, ptS, ptSI, ptSP, ptBI };

struct TAVRational {
  int num = 0;
  int den = 0;
};

// The program folder with a trailing "/": the folder of the running executable, or the folder
// named by the environment variable VARNOSK_HOME when that is set (tests point it at a
// temporary folder). option.ini, LibAV/ and sounds/ are looked up there.
std::string ExeFolder();

// Size in bytes of an existing regular file, -1 when there is none by that name.
int64_t FileSizeOf(const std::string& AFileName);

// "%.2f GB", "%.2f MB", "%.2f KB" above 2^30, 2^20, 2^10 bytes, else "%d Byte".
std::string FileSizeText(int64_t ASize);

// "hh:mm:ss.zzz" of a time in microseconds (hours not wrapped), "N/A" for NoTimeStamp.
std::string DurationText(int64_t ATime);

// "<seconds>.<6-digit microseconds>" of a time in microseconds; a negative time gets one
// leading "-" (so -0.5 s reads "-0.500000").
std::string SecondsText(int64_t ATime);

// Seconds since 1970-01-01 UTC as local "yyyy-mm-dd hh:nn:ss".
std::string TimeStampText(int64_t ASeconds);

// AName + ": " + the text of a library error code ("Error number %d occurred" for codes
// without a text of their own).
std::string ErrorText(const std::string& AName, int AErrorCode);

// The head of AText before the first ASeparator (all of AText when there is none). With
// ARemove the head and the separator are cut from AText (AText becomes empty when there is no
// separator).
std::string SplitAt(std::string& AText, const std::string& ASeparator, bool ARemove);

// File names go to the library as they are (UTF-8). The result is the caller's own string, so
// any thread may call this at any time.
std::string ToLibFileName(const std::string& AFileName);
// A file name read back from the library; a leading "unicode:utf8:" is removed.
std::string FromLibFileName(const std::string& ALibName);
