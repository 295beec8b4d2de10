// Media fixtures for the probe tests, made at run time with the ffmpeg tool in a temporary
// folder that is removed afterwards. ffprobe serves as the independent oracle.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "media/media_probe.h"

namespace fixtures {

// Single-quoted for /bin/sh.
inline std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Output of a shell command (stdout and stderr), empty when it cannot run.
inline std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnosk-probe-XXXXXX").string();
    if (char* made = ::mkdtemp(pattern.data()))
      path_ = made;
    ::setenv("VARNOSK_HOME", path_.c_str(), 1);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Root() const { return path_; }

  // Runs ffmpeg with the given arguments, writing name in this folder; returns its path.
  std::string FFmpeg(const std::string& args, const std::string& name) const {
    std::string out = Path(name);
    std::string log = Capture("ffmpeg -hide_banner -loglevel error -nostdin -y " + args + " " +
                              ShellQuote(out));
    EXPECT_TRUE(std::filesystem::exists(out)) << "ffmpeg could not make " << name << ":\n" << log;
    return out;
  }

  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }

private:
  std::string path_;
};

// 25 fps video with AAC audio, file metadata (one key an ID3v2 frame name) and a stream
// language, in Matroska.
inline std::string MakeAVFile(const TempDir& dir, const std::string& name = "av.mkv") {
  return dir.FFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
      "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:v mpeg4 -c:a aac "
      "-metadata title='Probe Title' -metadata TCOM='Some Composer' "
      "-metadata:s:a:0 language=eng",
      name);
}

// 30000/1001 fps video in MP4 with a 90 kHz track time base.
inline std::string MakeNtscFile(const TempDir& dir) {
  return dir.FFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=30000/1001:duration=1 -c:v mpeg4 "
      "-video_track_timescale 90000",
      "ntsc.mp4");
}

inline std::string MakeAudioFile(const TempDir& dir) {
  return dir.FFmpeg(
      "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1.5 -c:a libmp3lame "
      "-metadata title='Only Audio'",
      "audio.mp3");
}

// MPEG-TS with one program (provider "Prov", service "Chan") holding video and audio.
inline std::string MakeTransportStream(const TempDir& dir) {
  return dir.FFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
      "-c:v mpeg2video -c:a mp2 -metadata service_provider=Prov -metadata service_name=Chan",
      "prog.ts");
}

// A counter video: 50 frames at 25 fps, 64x48, a key frame every 10 frames, each group I B B P
// B B P B B P (display order); frame N is flat grey with luma 16 + 4 N.
inline std::string MakeCounterVideo(const TempDir& dir, const std::string& name) {
  return dir.FFmpeg(
      "-f lavfi -i \"nullsrc=s=64x48:r=25:d=2,format=yuv420p,geq=lum='16+4*N':cb=128:cr=128\" "
      "-c:v mpeg4 -q:v 1 -g 10 -bf 2 -force_key_frames 'expr:eq(mod(n,10),0)'",
      name);
}
constexpr int kCounterFrames = 50;
constexpr int kCounterGop = 10;
constexpr int64_t kCounterFrameUs = 40000;
inline int CounterLuma(int frame) { return 16 + 4 * frame; }

// Loads the probe's libraries or fails the test.
inline void LoadLibraries(TCustomMediaProbe& probe) {
  ASSERT_TRUE(probe.LoadAVLib(ExeFolder() + "LibAV")) << probe.LastErrMsg();
}

}  // namespace fixtures
