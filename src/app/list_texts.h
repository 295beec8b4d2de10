// Texts the file list shows for times and sizes.
#pragma once

#include <QString>
#include <cstdint>

// "hh:mm:ss" of a whole number of seconds; the hours wrap at 24 (90061 s gives "01:01:01").
// Negative counts show as "00:00:00".
QString SecToDate(int64_t Sec);

// Bytes in megabytes, rounded to the hundredth, in the shortest decimal form with the locale's
// decimal separator, followed by "MB": 1572864 gives "1.5MB", 10485760 "10MB", 0 "0MB".
QString SizeToMBText(int64_t Bytes);
