#include "presets/output_name.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

// A fresh temporary folder per test, removed afterwards.
class OutputName : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnosk-names-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& AName) const { return (fs::path(dir_) / AName).string(); }
  void Touch(const std::string& AName, const std::string& AContent = "x") const {
    std::ofstream(Path(AName)) << AContent;
  }
  std::string dir_;
};

TEST_F(OutputName, NumberingWithRenameAgainstOverwrite) {
  struct Case {
    std::vector<std::string> Present;
    TOverwriteChoice Choice;
    const char* Expected;
  };
  const Case cases[] = {
      {{}, ocRename, "a.mp3"},
      {{}, ocOverwrite, "a.mp3"},
      {{"a.mp3"}, ocRename, "a_1.mp3"},
      {{"a.mp3"}, ocOverwrite, "a.mp3"},
      {{"a.mp3", "a_1.mp3"}, ocRename, "a_2.mp3"},
      {{"a_1.mp3"}, ocRename, "a.mp3"},
      {{"a.mp3", "a_2.mp3"}, ocRename, "a_1.mp3"},
      {{"a.wav"}, ocRename, "a.mp3"},  // another extension is no clash
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Present) + (c.Choice == ocRename ? " rename" : " over"));
    fs::path out = fs::path(dir_) / "out";
    fs::remove_all(out);
    fs::create_directories(out);
    for (const auto& name : c.Present) Touch("out/" + name);
    EXPECT_EQ(OutputFileName(out.string(), "/elsewhere/in/a.wav", ".mp3", c.Choice),
              (out / c.Expected).string());
  }
}

TEST_F(OutputName, ClipAviToMp4) {
  Touch("clip.mp4");
  EXPECT_EQ(OutputFileName(dir_, "/videos/clip.avi", ".mp4", ocRename), Path("clip_1.mp4"));
  EXPECT_EQ(OutputFileName(dir_, "/videos/clip.avi", ".mp4", ocOverwrite), Path("clip.mp4"));
}

TEST_F(OutputName, NeverTheInputItself) {
  Touch("a.mp3", "the source");
  const std::string input = Path("a.mp3");
  // Same folder, same extension: overwrite would destroy the source.
  EXPECT_EQ(OutputFileName(dir_, input, ".mp3", ocOverwrite), Path("a_1.mp3"));
  EXPECT_EQ(OutputFileName(dir_, input, ".mp3", ocRename), Path("a_1.mp3"));
  Touch("a_1.mp3");
  EXPECT_EQ(OutputFileName(dir_, input, ".mp3", ocOverwrite), Path("a_2.mp3"));
  // The folder spelt differently still names the same file.
  EXPECT_EQ(OutputFileName(dir_ + "/", input, ".mp3", ocOverwrite), Path("a_2.mp3"));
  EXPECT_EQ(OutputFileName(dir_ + "/./", input, ".mp3", ocOverwrite), dir_ + "/./a_2.mp3");

  // Through a link to the folder, and an output name that is a hard link to the input.
  fs::create_directory_symlink(dir_, Path("alias"));
  EXPECT_EQ(OutputFileName(Path("alias"), input, ".mp3", ocOverwrite),
            Path("alias") + "/a_2.mp3");
  fs::create_directory(Path("other"));
  fs::create_hard_link(input, Path("other/a.mp3"));
  EXPECT_EQ(OutputFileName(Path("other"), input, ".mp3", ocOverwrite), Path("other/a_1.mp3"));

  // A different extension is a different file: overwrite keeps the plain name.
  Touch("a.ogg");
  EXPECT_EQ(OutputFileName(dir_, input, ".ogg", ocOverwrite), Path("a.ogg"));
  std::ifstream source(input);
  std::string content;
  std::getline(source, content);
  EXPECT_EQ(content, "the source");
}

TEST_F(OutputName, DanglingLinkCountsAsPresent) {
  fs::create_symlink(Path("missing-target"), Path("a.mp3"));
  EXPECT_EQ(OutputFileName(dir_, "/in/a.wav", ".mp3", ocRename), Path("a_1.mp3"));
}

TEST_F(OutputName, NamesTakenByOthersAreSkipped) {
  std::set<std::string> taken = {Path("a.mp3"), Path("a_1.mp3")};
  auto is_taken = [&](const std::string& p) { return taken.count(p) > 0; };
  EXPECT_EQ(OutputFileName(dir_, "/in/a.wav", ".mp3", ocRename, is_taken), Path("a_2.mp3"));
  // Overwriting a file on disk is the user's choice; taking another row's name is not.
  EXPECT_EQ(OutputFileName(dir_, "/in/a.wav", ".mp3", ocOverwrite, is_taken), Path("a_2.mp3"));
  Touch("a_2.mp3");
  EXPECT_EQ(OutputFileName(dir_, "/in/a.wav", ".mp3", ocOverwrite, is_taken), Path("a_3.mp3"));
  // A predicate that claims everything ends the search with no name.
  EXPECT_EQ(OutputFileName(dir_, "/in/a.wav", ".mp3", ocRename,
                           [](const std::string&) { return true; }),
            "");
}

TEST_F(OutputName, BaseNames) {
  struct Case {
    const char* Input;
    const char* Expected;
  };
  const Case cases[] = {
      {"/in/my.holiday.clip.avi", "my.holiday.clip.mp4"},
      {"/in/noext", "noext.mp4"},
      {"/in.d/noext", "noext.mp4"},
      {"/in/.hidden", ".hidden.mp4"},
      {"relative.avi", "relative.mp4"},
      {"/in/视频 文件.avi", "视频 文件.mp4"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OutputFileName(dir_, c.Input, ".mp4", ocRename), Path(c.Expected)) << c.Input;
  EXPECT_EQ(OutputFileName(dir_, "", ".mp4", ocRename), "");
  EXPECT_EQ(OutputFileName(dir_, "/in/", ".mp4", ocRename), "");
}

TEST(ReplaceFileExt, SwapsTheLastExtension) {
  struct Case {
    const char* Name;
    const char* Ext;
    const char* Expected;
  };
  const Case cases[] = {
      {"a.mp3", ".ra", "a.ra"},        {"a.mp3", ".flac", "a.flac"},
      {"a.b.mp3", ".ra", "a.b.ra"},    {"noext", ".mp4", "noext.mp4"},
      {"dir.d/noext", ".mp4", "dir.d/noext.mp4"}, {".hidden", ".mp4", ".hidden.mp4"},
      {"", ".mp4", ".mp4"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplaceFileExt(c.Name, c.Ext), c.Expected) << c.Name;
  EXPECT_EQ(FileNamePart("/a/b/c.mp3"), "c.mp3");
  EXPECT_EQ(FileNamePart("c.mp3"), "c.mp3");
}

}  // namespace
