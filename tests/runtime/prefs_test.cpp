#include "runtime/prefs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/headless.h"
#include "runtime/program.h"

namespace {

namespace fs = std::filesystem;

// Each test gets its own program directory with its own preferences file.
class Prefs : public ::testing::Test {
 protected:
  void SetUp() override {
    oldDirectory_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "prefs-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    platform::UseHeadless().SetExecutablePath(dir_ + "/prog");
    ProgramStart(ProgramHooks{});
    ASSERT_EQ(ProgramDirectory(), dir_ + "/");
    PrefsInit();
  }

  void TearDown() override {
    PrefsClose();
    fs::current_path(oldDirectory_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void Write(const std::string& name, const std::string& content) {
    std::ofstream out(dir_ + "/" + name, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }

  // Writes the preferences file and opens it.
  void Open(const std::string& content) {
    Write("Preferences.prefs", content);
    ASSERT_NE(PrefsOpen("Preferences.prefs"), 0);
  }

  // Every operation on the open file, with names that may or may not be there.
  void ReadEverything() {
    for (const char* group : {"Data", "Start", "", "A"}) {
      PrefsGroup(group);
      for (const char* key : {"Name1", "Port", "Fullscreen", "A", "x"}) {
        PrefsReadString(key, "def");
        PrefsReadLong(key, 7);
      }
    }
  }

  fs::path oldDirectory_;
  std::string dir_;
};

TEST_F(Prefs, CrLfFileWithSpacesAndLetterCase) {
  Open("[Data]\r\nName1 = Bob \r\nPort=7000\r\n");
  EXPECT_EQ(PrefsGroup("data"), 1);
  EXPECT_EQ(PrefsReadString("NAME1", "x"), "Bob ");
  EXPECT_EQ(PrefsReadLong("port", 1), 7000);
  EXPECT_EQ(PrefsReadString("Port", "x"), "7000");
  EXPECT_EQ(PrefsReadString("Name", "x"), "x");  // names must have the exact length
  EXPECT_EQ(PrefsReadString("Name12", "x"), "x");
}

TEST_F(Prefs, LfAndCrLfFilesReadTheSame) {
  const std::string lines[] = {"; settings",        "Top=1",      "[Data]",  "Name1=Spieler Eins",
                               "  Name2 =  Zwei  ", "Port= 6832", "[Start]", "Color=32",
                               "Fullscreen=0",      "Empty="};
  for (const char* eol : {"\n", "\r\n"}) {
    std::string file;
    for (const std::string& line : lines) file += line + eol;
    Open(file);
    SCOPED_TRACE(eol[0] == '\r' ? "CR LF" : "LF");
    EXPECT_EQ(PrefsReadLong("Top", 0), 1);  // before any group: the lines before the first
    EXPECT_EQ(PrefsGroup("Data"), 1);
    EXPECT_EQ(PrefsReadString("Name1", ""), "Spieler Eins");
    EXPECT_EQ(PrefsReadString("Name2", ""), "Zwei  ");
    EXPECT_EQ(PrefsReadLong("Port", 0), 6832);
    EXPECT_EQ(PrefsReadLong("Color", 5), 5);  // in the next group
    EXPECT_EQ(PrefsGroup("START"), 1);
    EXPECT_EQ(PrefsReadLong("Color", 0), 32);
    EXPECT_EQ(PrefsReadLong("Fullscreen", 1), 0);
    EXPECT_EQ(PrefsReadString("Empty", "def"), "");
    EXPECT_EQ(PrefsReadLong("Empty", 9), 0);  // runs into the end of the text
    EXPECT_EQ(PrefsReadString("Name1", "def"), "def");
    PrefsClose();
  }
}

TEST_F(Prefs, IndentationAndComments) {
  Open(
      "[Data]\n"
      "   Name1=Spaces\n"
      "\tName2=Tab\n"
      ";Port=5\n"
      "  ;Color=3\n"
      "Key;x=semicolon inside\n"
      "Fullscreen\n"
      "Fullscreen=1\n");
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "Spaces");
  EXPECT_EQ(PrefsReadString("Name2", "d"), "d");  // a tab is not skipped
  EXPECT_EQ(PrefsReadLong("Port", 11), 11);
  EXPECT_EQ(PrefsReadLong("Color", 12), 12);
  EXPECT_EQ(PrefsReadString("Key;x", "d"), "semicolon inside");
  EXPECT_EQ(PrefsReadLong("Fullscreen", 9), 1);  // a line without '=' is skipped
}

TEST_F(Prefs, EmptyValuesAreFoundValues) {
  Open("[Data]\r\nName1=\r\nPort=\r\nnext=1\r\nColor=\r\n  42\r\nWidth=  abc\r\nLast=");
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "default"), "");
  EXPECT_EQ(PrefsReadLong("Port", 99), 0);    // next line starts with a letter
  EXPECT_EQ(PrefsReadLong("Color", 99), 42);  // the number runs on into the next line
  EXPECT_EQ(PrefsReadString("Color", "d"), "");
  EXPECT_EQ(PrefsReadLong("Width", 99), 0);
  EXPECT_EQ(PrefsReadLong("Last", 99), 0);  // the end of the text, not past it
  EXPECT_EQ(PrefsReadString("Last", "d"), "");
}

TEST_F(Prefs, NumbersLikeTheCLibrary) {
  Open(
      "[N]\nA=-12\nB=+7\nC=12abc\nD=0x10\nE=2147483647\nF=2147483648\nG=-2147483648\n"
      "H=-2147483649\nI=99999999999999999999\nJ=- 5\nK=\t\v\f33\n");
  ASSERT_EQ(PrefsGroup("n"), 1);
  EXPECT_EQ(PrefsReadLong("A", 0), -12);
  EXPECT_EQ(PrefsReadLong("B", 0), 7);
  EXPECT_EQ(PrefsReadLong("C", 0), 12);
  EXPECT_EQ(PrefsReadLong("D", 9), 0);
  EXPECT_EQ(PrefsReadLong("E", 0), INT32_MAX);
  // Out of range saturates.
  EXPECT_EQ(PrefsReadLong("F", 0), INT32_MAX);
  EXPECT_EQ(PrefsReadLong("G", 0), INT32_MIN);
  EXPECT_EQ(PrefsReadLong("H", 0), INT32_MIN);
  EXPECT_EQ(PrefsReadLong("I", 0), INT32_MAX);
  EXPECT_EQ(PrefsReadLong("J", 9), 0);
  EXPECT_EQ(PrefsReadLong("K", 0), 33);
}

TEST_F(Prefs, GroupRules) {
  Open(
      "Name1=Top\n"
      "[Data]\n"
      "Name1=First\n"
      " [Start]\n"
      "Port=1\n"
      "[Start]\n"
      "Name2=Later\n"
      "[Data]\n"
      "Name1=Second\n"
      "Name3=OnlyInSecond\n"
      "[ Spaced ]\n"
      "X=1\n"
      "[Tail]junk\n"
      "X=2\n"
      "[Open\n"
      "X=3\n");
  EXPECT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "First");  // the first occurrence wins
  EXPECT_EQ(PrefsReadString("Name3", "d"), "d");
  EXPECT_EQ(PrefsReadLong("Port", 0), 1);         // " [Start]" is no group line
  EXPECT_EQ(PrefsReadString("Name2", "d"), "d");  // stands after the next group line

  EXPECT_EQ(PrefsGroup("Start"), 1);
  EXPECT_EQ(PrefsReadString("Name2", "d"), "Later");
  EXPECT_EQ(PrefsReadLong("Port", 5), 5);

  EXPECT_EQ(PrefsGroup("Spaced"), 0);  // nothing in the brackets is trimmed
  EXPECT_EQ(PrefsGroup(" Spaced "), 1);
  EXPECT_EQ(PrefsGroup("tail"), 1);
  EXPECT_EQ(PrefsReadLong("X", 0), 2);
  EXPECT_EQ(PrefsGroup("open"), 1);  // missing ']' at the line end is accepted
  EXPECT_EQ(PrefsReadLong("X", 0), 3);
  EXPECT_EQ(PrefsGroup("Dat"), 0);

  // A missing group makes every read give its default.
  EXPECT_EQ(PrefsGroup("Missing"), 0);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "d");
  EXPECT_EQ(PrefsReadLong("X", 4), 4);
}

TEST_F(Prefs, LineEndDetails) {
  // With CR LF a group line without ']' keeps the CR in its name.
  Open("[Open\r\nX=3\r\n[Last]");
  EXPECT_EQ(PrefsGroup("Open"), 0);
  EXPECT_EQ(PrefsGroup("Open\r"), 1);
  EXPECT_EQ(PrefsGroup("Last"), 1);  // the last line, without a line end
  EXPECT_EQ(PrefsReadLong("X", 8), 8);

  // LF CR line ends: the number reader steps over the CR after each LF, the
  // text reader does not and so never matches a key on such a line.
  Open("[Data]\n\rName1=Bob\n\rPort=5\n\r");
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "Bob");  // the group starts past the CR
  EXPECT_EQ(PrefsReadString("Port", "d"), "d");
  EXPECT_EQ(PrefsReadLong("Port", 0), 5);

  Open("[Data]\nName1=NoLineEnd");
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "NoLineEnd");

  // A NUL byte ends the text.
  Open(std::string("[Data]\nName1=A\0B\nPort=4\n", 24));
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "A");
  EXPECT_EQ(PrefsReadLong("Port", 9), 9);
}

TEST_F(Prefs, MissingOrUnusableFilesGiveDefaults) {
  EXPECT_EQ(PrefsOpen("Preferences.prefs"), 0);
  EXPECT_EQ(PrefsGroup("Data"), 0);
  EXPECT_EQ(PrefsReadString("Name1", "Spieler 1"), "Spieler 1");
  EXPECT_EQ(PrefsReadString("Name1", ""), "");
  EXPECT_EQ(PrefsReadLong("Fullscreen", 1), 1);

  // A key read with an empty name gives the default.
  Open("[Data]\n=empty key\n");
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("", "d"), "d");

  // An empty file opens and gives defaults; a closed reader too.
  Open("");
  EXPECT_EQ(PrefsGroup("Data"), 0);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "d");
  PrefsClose();
  PrefsClose();
  EXPECT_EQ(PrefsGroup("Data"), 0);

  // A failed open forgets the file opened before it.
  Open("[Data]\nName1=Old\n");
  EXPECT_EQ(PrefsOpen("nothing-here.prefs"), 0);
  EXPECT_EQ(PrefsGroup("Data"), 0);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "d");

  // Neither a directory nor a pipe of that name is read (a pipe would block).
  ASSERT_EQ(mkdir((dir_ + "/dir.prefs").c_str(), 0700), 0);
  EXPECT_EQ(PrefsOpen("dir.prefs"), 0);
  ASSERT_EQ(mkfifo((dir_ + "/pipe.prefs").c_str(), 0600), 0);
  EXPECT_EQ(PrefsOpen("pipe.prefs"), 0);
  EXPECT_EQ(PrefsOpen(""), 0);
}

TEST_F(Prefs, OpenLooksInTheProgramDirectory) {
  Write("Preferences.prefs", "[Data]\nName1=Here\n");
  fs::current_path("/");
  ASSERT_NE(PrefsOpen("Preferences.prefs"), 0);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_));  // the directory stays changed
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "Here");
}

TEST_F(Prefs, GarbageAndHugeFilesNeitherCrashNorHang) {
  constexpr size_t kSize = 10 * 1024 * 1024;
  std::mt19937 rng(1234);

  // Random binary bytes, NUL bytes included.
  std::string binary(kSize, '\0');
  for (char& c : binary) c = static_cast<char>(rng());
  Open(binary);
  ReadEverything();

  // Random bytes with no NUL and no line end: one enormous line.
  for (char& c : binary) {
    if (c == '\0' || c == '\n') c = 'q';
  }
  Open(binary);
  ReadEverything();

  // One enormous line that looks like a group and a key.
  Open("[Data]" + std::string(kSize, 'A'));
  EXPECT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d"), "d");
  Open(std::string(kSize, '['));
  ReadEverything();
  Open(std::string(kSize, '\n'));
  EXPECT_EQ(PrefsGroup("Data"), 0);
  Open(std::string(kSize, '='));
  ReadEverything();
  Open(std::string(kSize, ' '));
  ReadEverything();

  // A huge value, and a number after 10 MB of white space.
  Open("[Data]\nName1=" + std::string(kSize, 'x') + "\nPort=" + std::string(kSize, '\n') + "42");
  ASSERT_EQ(PrefsGroup("Data"), 1);
  EXPECT_EQ(PrefsReadString("Name1", "d").size(), kSize);
  EXPECT_EQ(PrefsReadLong("Port", 0), 42);
  EXPECT_EQ(PrefsReadLong("Name1", 3), 0);

  // Many short lines: a key at the very end of a 10 MB group.
  std::string many = "[Data]\n";
  while (many.size() < kSize) many += "k=1\n";
  many += "Fullscreen=0\n";
  Open(many);
  ASSERT_EQ(PrefsGroup("data"), 1);
  EXPECT_EQ(PrefsReadLong("Fullscreen", 1), 0);
  EXPECT_EQ(PrefsReadLong("Missing", 5), 5);
}

}  // namespace
