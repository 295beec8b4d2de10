// The catalogue's tables, written once. Everything else reads them through catalogue.h.
#include "presets/catalogue.h"

namespace {

// ---- Item lists -------------------------------------------------------------------------------

constexpr const char* kR0[] = {"该格式无视频"};
// "1920*1200" stands twice on purpose: stored option codes count both entries.
constexpr const char* kR1[] = {
    "保持原分辨率", "128*96",   "176*144",   "240*176",   "320*240",   "352*240",   "352*288",
    "384*288",      "480*480",  "480*576",   "640*368",   "640*480",   "704*480",   "704*576",
    "720*480",      "720*576",  "800*600",   "852*480",   "1024*768",  "1280*720",  "1280*1024",
    "1600*1024",    "1600*1200", "1920*1080", "1920*1200", "1920*1200", "2048*1536", "2560*1600"};
constexpr const char* kR2[] = {"112*96",  "128*96",  "160*112", "160*120", "176*144", "192*144",
                               "208*176", "220*176", "320*208", "320*224", "320*240"};
constexpr const char* kR3[] = {
    "保持原分辨率", "128*96",  "176*144", "240*176", "320*240", "352*240", "352*288",
    "384*288",      "480*480", "480*576", "640*368", "640*480", "704*480", "704*576",
    "720*480",      "720*576", "800*600", "852*480", "1024*768"};
constexpr const char* kR4[] = {"128*96",  "176*144", "160*120", "320*240",
                               "352*288", "368*208", "640*480"};
constexpr const char* kR5[] = {"128*96",  "176*144", "160*120", "320*240", "352*288", "368*208",
                               "480*320", "480*368", "512*384", "640*272", "640*353", "640*480"};

constexpr const char* kVB0[] = {"无视频"};
constexpr const char* kVB1[] = {"128 kbps",  "288 kbps",  "528 kbps",  "816 kbps",
                                "1200 kbps", "1600 kbps", "1800 kbps", "2000 kbps"};
constexpr const char* kVB2[] = {"128 kbps",  "288 kbps",  "528 kbps",  "768 kbps", "816 kbps",
                                "1200 kbps", "1600 kbps", "1800 kbps", "2000 kbps"};
constexpr const char* kVB3[] = {"128 kbps",  "288 kbps",  "528 kbps",  "816 kbps", "1000 kbps",
                                "1200 kbps", "1600 kbps", "1800 kbps", "2000 kbps"};
constexpr const char* kVB4[] = {"8 kbps",   "16 kbps",  "24 kbps",  "32 kbps",  "48 kbps",
                                "56 kbps",  "64 kbps",  "80 kbps",  "96 kbps",  "128 kbps",
                                "160 kbps", "192 kbps", "256 kbps", "320 kbps", "384 kbps"};
constexpr const char* kVB5[] = {"128 kbps",  "288 kbps",  "528 kbps",  "600 kbps", "816 kbps",
                                "1200 kbps", "1600 kbps", "1800 kbps", "2000 kbps"};
constexpr const char* kVB6[] = {"192 kbps",  "384 kbps",  "600 kbps",  "768 kbps", "1000 kbps",
                                "1200 kbps", "1500 kbps", "1800 kbps", "2000 kbps"};

constexpr const char* kFR0[] = {"无视频"};
constexpr const char* kFR1[] = {"保持原帧速率", "10.00", "13.00", "15.00", "18.00", "20.00",
                                "23.00",        "23.97", "24.00", "25.00", "29.97", "30.00"};
constexpr const char* kFR2[] = {"1", "2", "3", "5", "10", "12", "15"};
constexpr const char* kFR3[] = {"保持原帧速率", "10.00", "12.00", "15.00", "20.00",
                                "23.98",        "24.00", "25.00", "29.97", "30.00"};

constexpr const char* kAB0[] = {"16 kbps",  "24 kbps",  "32 kbps",  "40 kbps",  "48 kbps",
                                "56 kbps",  "64 kbps",  "80 kbps",  "96 kbps",  "112 kbps",
                                "128 kbps", "144 kbps", "160 kbps", "192 kbps", "224 kbps",
                                "256 kbps", "320 kbps"};
constexpr const char* kAB1[] = {"4.75 kbps", "5.15 kbps", "5.9 kbps",  "6.7 kbps",
                                "7.4 kbps",  "7.95 kbps", "10.2 kbps", "12.2 kbps"};
constexpr const char* kAB2[] = {"5 kbps", "6 kbps", "7 kbps", "8 kbps", "10 kbps", "12 kbps"};
constexpr const char* kAB3[] = {"64 kbps", "96 kbps", "128 kbps", "160 kbps", "192 kbps"};

constexpr const char* kSR0[] = {"11025", "16000", "22050", "32000", "44100", "48000"};
constexpr const char* kSR1[] = {"8000"};
constexpr const char* kSR2[] = {"22050", "32000", "44100", "48000"};

constexpr const char* kAS0[] = {"无视频"};
constexpr const char* kAS1[] = {"保持原视频模式", "普通视频4:3模式", "宽屏视频16:9模式",
                                "宽屏视频37:20模式", "宽屏视频47:20模式"};
constexpr const char* kAS2[] = {"保持原视频模式", "普通视频4:3模式"};

struct TItemListDef {
  const char* Name;
  std::span<const char* const> Items;
};
// Indexed by TItemList.
constexpr TItemListDef kItemLists[kItemListCount] = {
    {"R0", kR0},   {"R1", kR1},   {"R2", kR2},   {"R3", kR3},   {"R4", kR4},   {"R5", kR5},
    {"VB0", kVB0}, {"VB1", kVB1}, {"VB2", kVB2}, {"VB3", kVB3}, {"VB4", kVB4}, {"VB5", kVB5},
    {"VB6", kVB6}, {"FR0", kFR0}, {"FR1", kFR1}, {"FR2", kFR2}, {"FR3", kFR3}, {"AB0", kAB0},
    {"AB1", kAB1}, {"AB2", kAB2}, {"AB3", kAB3}, {"SR0", kSR0}, {"SR1", kSR1}, {"SR2", kSR2},
    {"AS0", kAS0}, {"AS1", kAS1}, {"AS2", kAS2},
};

// Indexed by TOptionList.
constexpr TOptionListInfo kOptionLists[kOptionListCount] = {
    {"视频分辨率：", "bsSkinComboBox1", 16},
    {"视频比特率：", "bsSkinComboBox2", 17},
    {"视频帧率：", "bsSkinComboBox9", 18},
    {"音频比特率：", "bsSkinComboBox3", 19},
    {"音频采样率：", "bsSkinComboBox10", 20},
    {"视频缩放：", "bsSkinComboBox4", 21},
};

// ---- Formats ----------------------------------------------------------------------------------

// Short spellings for the tables below: R1(4) is entry 4 of list R1 preselected.
#define VARNOSK_CHOICE(L) \
  constexpr TListChoice L(int AIndex) { return {il##L, AIndex}; }
VARNOSK_CHOICE(R0) VARNOSK_CHOICE(R1) VARNOSK_CHOICE(R2) VARNOSK_CHOICE(R3) VARNOSK_CHOICE(R4)
VARNOSK_CHOICE(R5) VARNOSK_CHOICE(VB0) VARNOSK_CHOICE(VB1) VARNOSK_CHOICE(VB2)
VARNOSK_CHOICE(VB3) VARNOSK_CHOICE(VB4) VARNOSK_CHOICE(VB5) VARNOSK_CHOICE(VB6)
VARNOSK_CHOICE(FR0) VARNOSK_CHOICE(FR1) VARNOSK_CHOICE(FR2) VARNOSK_CHOICE(FR3)
VARNOSK_CHOICE(AB0) VARNOSK_CHOICE(AB1) VARNOSK_CHOICE(AB2) VARNOSK_CHOICE(AB3)
VARNOSK_CHOICE(SR0) VARNOSK_CHOICE(SR1) VARNOSK_CHOICE(SR2) VARNOSK_CHOICE(AS0)
VARNOSK_CHOICE(AS1) VARNOSK_CHOICE(AS2)
#undef VARNOSK_CHOICE

constexpr const char* none = nullptr;  // the empty text

// Each row: display text; option lists in fill order {resolution, video bitrate, frame rate,
// audio bitrate, sample rate, aspect}; parameter values {FileExt, VideoCodec, VideoTag,
// FrameSize, FrameRate, FrameAspectRatio, VideoBitrate, AudioCodec, AudioChannels,
// AudioSampleRate, AudioBitrate, DisableVideo, TargetType, NormType}.
constexpr TFormat kAudioFormats[] = {
    {"MP3 - MPEG Layer-3音频格式(*.mp3)", {R0(0), VB0(0), FR0(0), AB0(10), SR0(4), AS0(0)},
     {".mp3", none, none, none, none, none, -1, "libmp3lame", "2", "48000", 128000, true, none, none}},
    {"WMA - Windows媒体音频格式(*.wma)", {R0(0), VB0(0), FR0(0), AB0(10), SR0(4), AS0(0)},
     {".wma", none, none, none, none, none, -1, "wmav2", "2", "48000", 128000, true, none, none}},
    {"WAV - 波形音频格式(*.wav)", {R0(0), VB0(0), FR0(0), AB0(13), SR0(5), AS0(0)},
     {".wav", none, none, none, none, none, -1, none, "2", "48000", 128000, true, none, none}},
    {"AAC - 高级音频格式(*.aac)", {R0(0), VB0(0), FR0(0), AB0(10), SR0(5), AS0(0)},
     {".aac", none, none, none, none, none, -1, "libfaac", "2", "48000", 128000, true, none, none}},
    {"M4A - MPEG-4音频格式(*.m4a)", {R0(0), VB0(0), FR0(0), AB0(9), SR0(4), AS0(0)},
     {".m4a", none, none, none, none, none, -1, none, "2", "48000", 128000, true, none, none}},
    {"OGG - Ogg Vorbis音频格式(*.ogg)", {R0(0), VB0(0), FR0(0), AB0(10), SR0(4), AS0(0)},
     {".ogg", none, none, none, none, none, -1, "libvorbis", "2", "48000", 128000, true, none,
      none}},
    // The output path ends in ".ra"; the stored extension is ".rm".
    {"RA - RealAudio音频格式(*.ra)", {R0(0), VB0(0), FR0(0), AB0(9), SR0(4), AS0(0)},
     {".rm", none, none, none, none, none, -1, none, "2", "48000", 128000, true, none, none}},
    {"AC3 - 杜比数字AC-3音频格式(*.ac3)", {R0(0), VB0(0), FR0(0), AB0(10), SR0(4), AS0(0)},
     {".ac3", none, none, none, none, none, -1, "ac3", "2", "48000", 128000, true, none, none}},
    {"AIFF - 音频交换文件格式(*.aiff)", {R0(0), VB0(0), FR0(0), AB0(10), SR0(4), AS0(0)},
     {".aiff", none, none, none, none, none, -1, none, "2", "48000", 128000, true, none, none}},
    {"MP2 - MPEG Layer-2音频格式(*.mp2)", {R0(0), VB0(0), FR0(0), AB0(10), SR0(4), AS0(0)},
     {".mp2", none, none, none, none, none, -1, none, "2", "44100", 128000, true, none, none}},
    {"FLAC-音频格式(*.flac)", {R0(0), VB0(0), FR0(0), AB0(13), SR0(5), AS0(0)},
     {".flac", none, none, none, none, none, -1, "flac", "2", "48000", 128000, true, none, none}},
    {"MP4-MP4音频格式(*.m4a)", {R0(0), VB0(0), FR0(0), AB0(12), SR0(5), AS0(0)},
     {".m4a", none, none, none, none, none, -1, none, "2", "48000", 128000, true, none, none}},
    {"AMR-手机音频格式(*.amr)", {R0(0), VB0(0), FR0(0), AB1(4), SR1(0), AS0(0)},
     {".amr", none, none, none, none, none, -1, "libopencore_amrnb", "1", "8000", 7400, true, none,
      none}},
};

constexpr TFormat kVideoFormats[] = {
    {"AVI - 音频视频交错格式(*.avi)", {R1(0), VB1(3), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".avi", "mpeg4", "XVID", none, "25", none, 816000, "libmp3lame", "2", "44100", 128000, false,
      none, none}},
    {"MP4 - MPEG-4视频格式(*.mp4)", {R1(0), VB2(3), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".mp4", "mpeg4", none, none, "25", none, 816000, "libmp3lame", "2", "44100", 128000, false,
      none, none}},
    {"DivX - 视频格式(*.avi)", {R1(0), VB3(4), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".avi", "mpeg4", "DX50", none, "25", none, 816000, "libmp3lame", "2", "44100", 128000, false,
      none, none}},
    {"MOV - 苹果QuickTime视频格式(*.mov)", {R1(0), VB2(3), FR1(9), AB0(10), SR0(5), AS1(0)},
     {".mov", none, none, none, "25", none, 816000, "libfaac", "2", "44100", 128000, false, none,
      none}},
    {"XviD - 视频格式(*.avi)", {R1(0), VB3(4), FR1(0), AB0(10), SR0(4), AS1(0)},
     {".avi", "libxvid", none, none, "25", none, 816000, "libmp3lame", "2", "44100", 128000, false,
      none, none}},
    {"MKV - Matroska视频格式(*.mkv)", {R1(0), VB1(4), FR1(10), AB0(10), SR0(4), AS1(0)},
     {".mkv", "mpeg4", none, none, "25", none, 1200000, "libmp3lame", "2", "44100", 128000, false,
      none, none}},
    {"MPEG-1视频格式(*.mpg)", {R1(4), VB1(3), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".mpg", "mpeg1video", none, none, "25", none, 528000, none, "2", "44100", 128000, false, none,
      none}},
    {"MPEG-2视频格式(*.mpg)", {R1(0), VB1(3), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".mpg", "mpeg2video", none, none, "25", none, 816000, none, "2", "44100", 128000, false, none,
      none}},
    {"ASF - 高级流视频格式(*.asf)", {R1(0), VB1(3), FR1(0), AB0(10), SR0(5), AS1(0)},
     {".asf", "msmpeg4", none, none, "25", none, 816000, "wmav2", "2", "44100", 128000, false, none,
      none}},
    {"3GP - 视频格式(*.3gp)", {R2(4), VB4(9), FR2(5), AB2(5), SR1(0), AS2(0)},
     {".3gp", "mpeg4", none, "176*144", "12", "4:3", 128000, "libfaac", "1", "8000", 12000, false,
      none, none}},
    {"WMV - 视频格式(*.wmv)", {R1(0), VB5(3), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".wmv", "wmv2", none, none, "25", none, 816000, "wmav2", "2", "44100", 128000, false, none,
      none}},
    // Disc formats: the engine's target presets supply codecs, sizes and rates.
    {"DVD - 视频格式(*.mpg)", {R1(12), VB1(4), FR1(10), AB0(10), SR0(4), AS1(0)},
     {none, none, none, none, none, none, -1000, none, none, none, -1000, false, "dvd", "PAL"}},
    {"SVCD - 视频格式(*.mpg)", {R1(8), VB1(2), FR1(9), AB0(10), SR0(4), AS1(0)},
     {none, none, none, none, none, none, -1000, none, none, none, -1000, false, "svcd", "PAL"}},
    {"VCD - 视频格式(*.mpg)", {R1(4), VB1(2), FR1(9), AB0(10), SR0(4), AS1(0)},
     {none, none, none, none, none, none, -1000, none, none, none, -1000, false, "vcd", "PAL"}},
    {"RM - REAL视频格式(*.rm)", {R1(4), VB1(2), FR1(9), AB0(10), SR0(4), AS1(0)},
     {none, "rv20", none, "320*240", none, none, -1, none, none, none, -1, false, none, none}},
};

constexpr TFormat kMp4Formats[] = {
    {"MP4机播放的MP4视频格式(*.mp4)", {R3(4), VB1(3), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".mp4", "mpeg4", none, "320*240", "25", none, 528000, "libmp3lame", "2", "44100", 128000,
      false, none, none}},
    {"电脑上使用的MP4视频格式(*.mp4)", {R1(0), VB1(4), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".mp4", "mpeg4", none, none, "25", none, 768000, "libmp3lame", "2", "44100", 128000, false,
      none, none}},
    {"MPEG-4视频高清晰视频(*.mp4)", {R1(0), VB1(4), FR1(9), AB0(10), SR0(4), AS1(0)},
     {".mp4", "libx264", none, none, "25", none, 1200000, "libmp3lame", "2", "44100", 128000,
      false, none, none}},
    {"MP4 AVC视频(*.mp4)", {R1(0), VB1(4), FR1(10), AB0(10), SR0(4), AS1(0)},
     {".mp4", "libx264", none, "320*240", "25", none, 1200000, "libfaac", "2", "44100", 128000,
      false, none, none}},
    {"MP4 H264编码视频(*.mp4)", {R1(0), VB1(4), FR1(10), AB0(10), SR0(4), AS1(0)},
     {".mp4", "libx264", none, none, "25", none, 1200000, "libmp3lame", "2", "44100", 128000,
      false, none, none}},
};

constexpr TFormat kIpodFormats[] = {
    {"iPod (320X240) 高清晰视频(*.mp4)", {R4(3), VB6(4), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libx264", none, "320*240", "25", none, 512000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod (320X240) 高压缩视频(*.mp4)", {R4(3), VB6(2), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "320*240", "25", none, 768000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod (320X240) 标准视频(*.mp4)", {R4(3), VB6(3), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "640*480", "25", none, 768000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod Video2 TV OutPut视频(*.mp4)", {R4(6), VB6(3), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "640*480", "25", none, 768000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod Video2 (640X480)视频(*.mp4)", {R4(6), VB6(3), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "mpeg4", none, "640*480", "25", none, 600000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod Video2 (640X480)高清晰视频(*.mp4)", {R4(6), VB6(5), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libx264", none, "640*480", "25", none, 1200000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod Video2 (640X480)高压缩视频(*.mp4)", {R4(6), VB6(2), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "640*480", "25", none, 512000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod touch MPEG-4视频(*.mp4)", {R5(6), VB6(3), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "mpeg4", none, "320*240", "25", none, 600000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod touch MPEG-4 480P视频(*.mp4)", {R5(11), VB6(3), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "640*480", "25", none, 768000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod touch MPEG-4 480P高清晰视频(*.mp4)", {R5(11), VB6(5), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libx264", none, "640*480", "25", none, 1200000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod touch MPEG-4 480P高压缩视频(*.mp4)", {R5(11), VB6(2), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "640*480", "25", none, 512000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod touch MPEG-4 480P宽屏视频(*.mp4)", {R5(9), VB6(3), FR3(7), AB3(2), SR2(3), AS1(2)},
     {".mp4", "libxvid", none, "640*480", "25", "16:9", 1200000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod touch MPEG-4 (320X240)视频(*.mp4)", {R5(3), VB6(3), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "320*240", "25", none, 768000, "libfaac", "2", "48000", 128000,
      false, none, none}},
    {"iPod touch MPEG-4 (480X320)视频(*.mp4)", {R5(6), VB6(3), FR3(7), AB3(2), SR2(3), AS1(0)},
     {".mp4", "libxvid", none, "480*320", "25", none, 1000000, "libfaac", "2", "48000", 128000,
      false, none, none}},
};

constexpr TCategory kCategories[kCategoryCount] = {
    {"常用音频", 1, kAudioFormats},
    {"常用视频", 0, kVideoFormats},
    {"MP4视频", 10, kMp4Formats},
    {"iPod视频", 3, kIpodFormats},
};

}  // namespace

std::span<const TCategory> Categories() { return kCategories; }

std::span<const char* const> ItemListItems(TItemList AList) {
  if (AList < 0 || AList >= kItemListCount) return {};
  return kItemLists[AList].Items;
}

const char* ItemListName(TItemList AList) {
  if (AList < 0 || AList >= kItemListCount) return "";
  return kItemLists[AList].Name;
}

const TOptionListInfo& OptionListInfo(TOptionList AList) {
  // Out-of-range values are a programming error; clamp rather than read past the table.
  if (AList < 0 || AList >= kOptionListCount) return kOptionLists[0];
  return kOptionLists[AList];
}
