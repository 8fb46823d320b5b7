#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "corvex/runtime/filesystemname.h"
#include "corvex/system/platformhost.h"

namespace cvx {
namespace {

using Strings = std::vector<std::string>;

TEST(ZenityFilters, NamedGroupsAndBareExtensions) {
  EXPECT_EQ(ZenityFileFilters("Images:png,jpg;Text:txt"), (Strings{"Images | *.png *.jpg", "Text | *.txt"}));
  EXPECT_EQ(ZenityFileFilters("bmp"), (Strings{"Files | *.bmp"}));
  EXPECT_EQ(ZenityFileFilters("png,tga"), (Strings{"Files | *.png *.tga"}));
  EXPECT_EQ(ZenityFileFilters(""), Strings{});
}

TEST(ZenityFilters, SloppyFiltersGiveNoEmptyPatterns) {
  EXPECT_EQ(ZenityFileFilters("Images:png,,jpg;"), (Strings{"Images | *.png *.jpg"}));
  EXPECT_EQ(ZenityFileFilters("Nothing:;All:*"), (Strings{"All | *.*"}));
  EXPECT_EQ(ZenityFileFilters(":png"), (Strings{"Files | *.png"}));
  EXPECT_EQ(ZenityFileFilters(" Pictures : png , jpg "), (Strings{"Pictures | *.png *.jpg"}));
}

TEST(ZenityArguments, FileRequesterForOpeningAndSaving) {
  EXPECT_EQ(ZenityFileArguments("Open a picture", "Images:png,jpg", 0, "Medias\\fire.tga"),
            (Strings{"--file-selection", "--title=Open a picture", "--filename=Medias/fire.tga",
                     "--file-filter=Images | *.png *.jpg"}));
  EXPECT_EQ(ZenityFileArguments("", "", 1, ""), (Strings{"--file-selection", "--save", "--confirm-overwrite"}));
}

TEST(ZenityArguments, FolderRequesterOpensInsideTheInitialFolder) {
  EXPECT_EQ(ZenityFolderArguments("Pick", "/tmp/data"),
            (Strings{"--file-selection", "--directory", "--title=Pick", "--filename=/tmp/data/"}));
  EXPECT_EQ(ZenityFolderArguments("Pick", "/tmp/"),
            (Strings{"--file-selection", "--directory", "--title=Pick", "--filename=/tmp/"}));
  EXPECT_EQ(ZenityFolderArguments("", ""), (Strings{"--file-selection", "--directory"}));
}

// zenity reads its arguments only up to a 0 byte: an initial path holding one
// would open the requester on another file or folder, so it is left out.
TEST(ZenityArguments, AnInitialPathHoldingAZeroByteIsLeftOut) {
  const String cut = String("/tmp/keep") + String(std::string_view("\0", 1)) + String("/secret");
  EXPECT_EQ(ZenityFileArguments("Open", "", 0, cut), (Strings{"--file-selection", "--title=Open"}));
  EXPECT_EQ(ZenityFolderArguments("Pick", cut), (Strings{"--file-selection", "--directory", "--title=Pick"}));
}

// Puts a fake zenity first on PATH for the length of a test.
class FakeZenity : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cvx-zenity-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    log_ = dir_ + "/arguments";
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
    setenv("PATH", dir_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", oldPath_.c_str(), 1);
    std::remove((dir_ + "/zenity").c_str());
    std::remove(log_.c_str());
    rmdir(dir_.c_str());
  }
  // A script that logs its arguments one per line, prints output and exits.
  void Script(const std::string& output, int status) {
    std::ofstream script(dir_ + "/zenity");
    script << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << log_ << "'\nprintf '" << output << "'\nexit " << status << "\n";
    script.close();
    chmod((dir_ + "/zenity").c_str(), 0755);
  }
  Strings LoggedArguments() {
    std::ifstream in(log_);
    Strings lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string dir_, log_, oldPath_;
};

TEST_F(FakeZenity, TheChosenPathIsTheFirstOutputLine) {
  Script("/home/me/pictures/caf\\303\\251.png\\nsecond line\\n", 0);
  TPlatformHostSystem host;
  String chosen = host.ChooseFile("Save as", "Images:png", 1, "out.png");
  // The path keeps the file system's bytes (one unit per byte), as a listing
  // gives names, so that it opens again.
  EXPECT_EQ(FileSystemName(chosen), "/home/me/pictures/caf\xC3\xA9.png");
  EXPECT_EQ(chosen.Length(), 27);
  EXPECT_EQ(LoggedArguments(), (Strings{"--file-selection", "--title=Save as", "--save", "--confirm-overwrite",
                                        "--filename=out.png", "--file-filter=Images | *.png"}));
}

TEST_F(FakeZenity, CancelOrFailureGivesTheEmptyString) {
  Script("/ignored\\n", 1);
  TPlatformHostSystem host;
  EXPECT_TRUE(host.ChooseFile("t", "", 0, "").IsEmpty());
  EXPECT_TRUE(host.ChooseFolder("t", "/tmp").IsEmpty());
  EXPECT_EQ(LoggedArguments(), (Strings{"--file-selection", "--directory", "--title=t", "--filename=/tmp/"}));
}

TEST_F(FakeZenity, FolderOutputWithoutNewline) {
  Script("/srv/data", 0);
  TPlatformHostSystem host;
  EXPECT_EQ(host.ChooseFolder("", "").ToStd(), "/srv/data");
}

TEST_F(FakeZenity, WithoutZenityTheRequestersGiveTheEmptyString) {
  // PATH holds only the empty temporary folder: no script written.
  TPlatformHostSystem host;
  EXPECT_TRUE(host.ChooseFile("t", "bmp", 0, "").IsEmpty());
  EXPECT_TRUE(host.ChooseFolder("t", "").IsEmpty());
  EXPECT_TRUE(RunZenity({"--help"}).IsEmpty());
}

TEST_F(FakeZenity, LaunchUrlHandsTheUrlToXdgOpen) {
  // SDL opens URLs with xdg-open from PATH; a fake one records what it got.
  std::string opened = dir_ + "/opened";
  {
    std::ofstream script(dir_ + "/xdg-open");
    script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened << ".part' && /bin/mv '" << opened << ".part' '" << opened
           << "'\n";
  }
  chmod((dir_ + "/xdg-open").c_str(), 0755);
  TPlatformHostSystem host;
  host.LaunchURL(String::OfUtf8("https://example.invalid/caf\xC3\xA9?a=1&b=2"));
  std::string got;
  for (int i = 0; i < 500 && got.empty(); ++i) {
    std::ifstream in(opened);
    std::getline(in, got);
    if (got.empty()) usleep(10000);
  }
  EXPECT_EQ(got, "https://example.invalid/caf\xC3\xA9?a=1&b=2");
  std::remove(opened.c_str());
  std::remove((dir_ + "/xdg-open").c_str());
}

}  // namespace
}  // namespace cvx
