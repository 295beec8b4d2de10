// Media for the engine tests, made at test time with the ffmpeg tool, and ffprobe as the
// independent judge of what the engine wrote.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace enginetest {

// Single-quoted for /bin/sh.
inline std::string Quote(const std::string& AText) {
  std::string out = "'";
  for (char c : AText)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Output (stdout and stderr) of a shell command; AStatus gets its exit status.
inline std::string Run(const std::string& ACommand, int* AStatus = nullptr) {
  std::string out;
  int status = -1;
  if (FILE* p = ::popen((ACommand + " 2>&1").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    status = ::pclose(p);
  }
  if (AStatus)
    *AStatus = status;
  return out;
}

// Runs ffmpeg with AArgs writing AOutput; a failure fails the test.
inline std::string FFmpeg(const std::string& AArgs, const std::string& AOutput) {
  int status = 0;
  std::string log = Run("ffmpeg -hide_banner -loglevel error -nostdin -y " + AArgs + " " +
                            Quote(AOutput),
                        &status);
  EXPECT_EQ(status, 0) << "ffmpeg could not make " << AOutput << ":\n" << log;
  return AOutput;
}

// A clip of ASeconds: a moving test picture of ASize at 25 fps and a stereo tone.
inline std::string MakeClip(const std::string& APath, double ASeconds,
                            const std::string& ASize = "320x240",
                            const std::string& ACodecs = "-c:v mpeg4 -q:v 4 -c:a mp2") {
  const std::string d = std::to_string(ASeconds);
  return FFmpeg("-f lavfi -i testsrc=size=" + ASize + ":rate=25:duration=" + d +
                    " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + d +
                    " -ac 2 " + ACodecs + " -shortest",
                APath);
}

// A stereo tone of ASeconds (the file name's extension chooses the format).
inline std::string MakeTone(const std::string& APath, double ASeconds, int ARate = 44100) {
  return FFmpeg("-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(ARate) +
                    ":duration=" + std::to_string(ASeconds) + " -ac 2",
                APath);
}

// What ffprobe says about a file.
struct TProbed {
  struct TStream {
    std::map<std::string, std::string> fields;
    std::string operator[](const std::string& AKey) const {
      auto it = fields.find(AKey);
      return it == fields.end() ? std::string() : it->second;
    }
    int Int(const std::string& AKey) const { return std::atoi((*this)[AKey].c_str()); }
    double Double(const std::string& AKey) const { return std::atof((*this)[AKey].c_str()); }
  };
  bool ok = false;
  std::string log;
  std::map<std::string, std::string> format;
  std::vector<TStream> streams;

  double Duration() const {
    auto it = format.find("duration");
    return it == format.end() ? -1.0 : std::atof(it->second.c_str());
  }
  // The first stream of ACodecType ("video", "audio"), or nullptr.
  const TStream* First(const std::string& ACodecType) const {
    for (const TStream& s : streams)
      if (s["codec_type"] == ACodecType)
        return &s;
    return nullptr;
  }
  int Count(const std::string& ACodecType) const {
    int n = 0;
    for (const TStream& s : streams)
      n += s["codec_type"] == ACodecType;
    return n;
  }
};

// Probes APath; with ACountFrames the streams' frames are decoded and counted (nb_read_frames),
// which also proves the file decodes to its end.
inline TProbed Probe(const std::string& APath, bool ACountFrames = false) {
  TProbed p;
  int status = 0;
  p.log = Run(std::string("ffprobe -v error ") + (ACountFrames ? "-count_frames " : "") +
                  "-show_entries format=duration,format_name:stream=codec_type,codec_name,width,"
                  "height,r_frame_rate,avg_frame_rate,sample_rate,channels,duration,"
                  "nb_read_frames,bit_rate -of flat " + Quote(APath),
              &status);
  p.ok = status == 0;
  std::istringstream lines(p.log);
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (key.rfind("format.", 0) == 0) {
      p.format[key.substr(7)] = value;
    } else if (key.rfind("streams.stream.", 0) == 0) {
      std::string rest = key.substr(15);
      size_t dot = rest.find('.');
      if (dot == std::string::npos)
        continue;
      size_t index = std::stoul(rest.substr(0, dot));
      if (p.streams.size() <= index)
        p.streams.resize(index + 1);
      p.streams[index].fields[rest.substr(dot + 1)] = value;
    }
  }
  return p;
}

// The first picture of a file as RGB24 rows, decoded by the ffmpeg tool into AScratch.
inline std::string FirstPictureRGB(const std::string& APath, const std::string& AScratch) {
  FFmpeg("-i " + Quote(APath) + " -frames:v 1 -f rawvideo -pix_fmt rgb24", AScratch);
  std::string bytes;
  if (FILE* f = std::fopen(AScratch.c_str(), "rb")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
      bytes.append(buf, n);
    std::fclose(f);
  }
  return bytes;
}

// Whether every pixel of the top-left quarter of an AWidth x AHeight RGB24 picture is white.
inline bool TopLeftQuarterWhite(const std::string& APicture, int AWidth, int AHeight) {
  if (APicture.size() != static_cast<size_t>(AWidth) * AHeight * 3)
    return false;
  for (int y = 0; y < AHeight / 2; ++y)
    for (int x = 0; x < AWidth / 2 * 3; ++x)
      if (static_cast<unsigned char>(APicture[static_cast<size_t>(y) * AWidth * 3 + x]) < 235)
        return false;
  return true;
}

}  // namespace enginetest
