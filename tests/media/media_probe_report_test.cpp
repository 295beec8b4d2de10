// The probe as a command-line tool.
#include <sstream>

#include <gtest/gtest.h>

#include "media/probe_report.h"
#include "media_probe_fixtures.h"

using namespace fixtures;

TEST(ProbeCommand, PrintsEachFileAndFailsWhenOneIsRefused) {
  TempDir dir;
  std::string video = MakeAVFile(dir);
  std::string audio = MakeAudioFile(dir);
  std::string missing = dir.Path("missing file.mp4");
  std::string text = dir.Write("notes.mp4", "not media\n");

  std::string expected_video, expected_audio;
  {
    TCustomMediaProbe probe;
    LoadLibraries(probe);
    ASSERT_TRUE(probe.LoadFile(video));
    expected_video = probe.FileInfoText();
    ASSERT_TRUE(probe.LoadFile(audio));
    expected_audio = probe.FileInfoText();
  }

  std::ostringstream all_good;
  EXPECT_EQ(RunProbeCommand({video, audio}, all_good), 0);
  EXPECT_EQ(all_good.str(), expected_video + expected_audio);

  std::ostringstream mixed;
  EXPECT_EQ(RunProbeCommand({missing, video, text}, mixed), 1);
  EXPECT_EQ(mixed.str(), "***File load error: " + missing + ": No such file or directory\n" +
                             expected_video + "***File load error: " + text +
                             ": Invalid data found when processing input\n");

  std::ostringstream none;
  EXPECT_EQ(RunProbeCommand({}, none), 1);
  EXPECT_EQ(none.str(), "Usage: varnosk --probe FILE...\n");
}
