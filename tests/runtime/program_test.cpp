#include "runtime/program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "runtime/command_line.h"

namespace {

std::string& Trace() {
  static std::string trace;
  return trace;
}

void StartA() {
  Trace() += "a";
}
void StartB() {
  Trace() += "b";
}
void EndOne() {
  Trace() += "1";
}
void EndTwo() {
  Trace() += "2";
}
void EndThree() {
  Trace() += "3";
}

// Writes the trace where the death test can see it, as the process ends.
void EndReport() {
  std::fprintf(stderr, "trace=[%s]\n", Trace().c_str());
  std::fflush(stderr);
}

// An end hook that itself ends the program, as a library might after a
// message box: the remaining hooks must still run, each once.
void EndThatEndsAgain() {
  Trace() += "x";
  ProgramEnd();
}

TEST(Program, StartRunsHooksInOrderAndFindsTheDirectory) {
  platform::UseHeadless().SetExecutablePath("/opt/games/skirmora/skirmora");
  Trace().clear();
  ProgramStart(ProgramHooks{{StartA, StartB, nullptr}, {EndOne, EndTwo}});
  EXPECT_EQ(Trace(), "ab");
  EXPECT_EQ(ProgramDirectory(), "/opt/games/skirmora/");

  ProgramRunEndHooks();
  ProgramRunEndHooks();  // a second run does nothing
  EXPECT_EQ(Trace(), "ab12");

  platform::UseHeadless().SetExecutablePath("prog");
  ProgramStart(ProgramHooks{});
  EXPECT_EQ(ProgramDirectory(), "");
}

TEST(ProgramDeathTest, EndRunsEveryEndHookOnceInOrderAndExitsWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Trace().clear();
        ProgramStart(ProgramHooks{{StartA}, {EndOne, EndTwo, EndThree, EndReport}});
        ProgramEnd();
      },
      ::testing::ExitedWithCode(0), "trace=\\[a123\\]");

  EXPECT_EXIT(
      {
        Trace().clear();
        ProgramStart(ProgramHooks{{}, {EndOne, EndThatEndsAgain, EndTwo, EndReport}});
        ProgramEnd();
      },
      ::testing::ExitedWithCode(0), "trace=\\[1x2\\]");
}

}  // namespace

namespace {

const std::vector<CommandLineOption> kTestOptions = {{"--window", "", "a window"},
                                                     {"--replay", "FILE", "show a replay"}};

CommandLine Read(std::vector<const char*> words, std::string* out = nullptr,
                 std::string* err = nullptr) {
  words.insert(words.begin(), "prog");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  CommandLine line = CommandLineRead(static_cast<int>(words.size()), words.data(), "prog",
                                     "help text\n", kTestOptions);
  std::string o = testing::internal::GetCapturedStdout();
  std::string e = testing::internal::GetCapturedStderr();
  if (out) *out = o;
  if (err) *err = e;
  return line;
}

}  // namespace

TEST(CommandLine, HelpAndVersionAreAnsweredAndListTheOptions) {
  std::string out;
  CommandLine line = Read({"--bogus", "--version"}, &out);
  EXPECT_EQ(line.outcome, CommandLineOutcome::Answered);
  EXPECT_EQ(CommandLineExitCode(line), 0);
  EXPECT_EQ(out, std::string("prog ") + ProgramVersion() + "\n");
  for (const char* help : {"--help", "-h"}) {
    line = Read({"--window", help}, &out);
    EXPECT_EQ(line.outcome, CommandLineOutcome::Answered) << help;
    EXPECT_EQ(out,
              "Usage: prog [options]\n\nhelp text\n\n"
              "  --window       a window\n"
              "  --replay FILE  show a replay\n"
              "  -h, --help     show this text\n"
              "  --version      show the version\n")
        << help;
  }
  EXPECT_STRNE(ProgramVersion(), "0");
}

TEST(CommandLine, OptionsAndValuesAreTakenOtherWordsIgnoredUnknownOptionsReported) {
  std::string err;
  CommandLine line =
      Read({"file", "--window", "--nope", "--replay", "a b.txt", "-"}, nullptr, &err);
  EXPECT_EQ(line.outcome, CommandLineOutcome::Run);
  EXPECT_EQ(err, "prog: unknown option --nope ignored (see --help)\n");
  EXPECT_TRUE(line.Has("--window"));
  EXPECT_FALSE(line.Has("--nope"));
  EXPECT_EQ(line.Value("--replay"), "a b.txt");
  EXPECT_EQ(Read({"--replay=x", "--replay=y"}).Value("--replay"), "y");
  // The last of two contradicting options wins.
  EXPECT_EQ(CommandLineFullscreen(Read({})), -1);
  EXPECT_EQ(CommandLineFullscreen(
                CommandLineRead(3, std::vector<const char*>{"p", "--fullscreen", "--window"}.data(),
                                "p", "", DisplayOptions())),
            0);
  EXPECT_EQ(CommandLineFullscreen(
                CommandLineRead(3, std::vector<const char*>{"p", "--window", "--fullscreen"}.data(),
                                "p", "", DisplayOptions())),
            1);
}

TEST(CommandLine, AMissingOrUnwantedValueIsRefusedWithExitCode2) {
  std::string err;
  CommandLine line = Read({"--replay"}, nullptr, &err);
  EXPECT_EQ(line.outcome, CommandLineOutcome::Refused);
  EXPECT_EQ(CommandLineExitCode(line), 2);
  EXPECT_EQ(err, "prog: --replay needs a FILE\n");
  line = Read({"--window=yes"}, nullptr, &err);
  EXPECT_EQ(line.outcome, CommandLineOutcome::Refused);
  EXPECT_EQ(err, "prog: --window takes no value\n");
}

TEST(ProgramFind, NextToTheProgramFirstThenThePathAndOnlyRunnableFiles) {
  namespace fs = std::filesystem;
  const fs::path base = fs::path(::testing::TempDir()) / "program_find";
  fs::remove_all(base);
  fs::create_directories(base / "here");
  fs::create_directories(base / "bin");
  auto make = [](const fs::path& file, bool runnable) {
    std::ofstream(file) << "#!/bin/sh\n";
    fs::permissions(file, runnable ? fs::perms::owner_all : fs::perms::owner_read);
  };
  make(base / "here" / "near", true);
  make(base / "bin" / "near", true);
  make(base / "bin" / "far", true);
  make(base / "here" / "plain", false);
  platform::UseHeadless().SetExecutablePath((base / "here" / "skirmora").string());
  ProgramStart(ProgramHooks{});
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  ::setenv("PATH", ("relative:" + (base / "bin").string()).c_str(), 1);
  EXPECT_EQ(ProgramFind("near"), (base / "here" / "near").string());
  EXPECT_EQ(ProgramFind("far"), (base / "bin" / "far").string());
  EXPECT_EQ(ProgramFind("plain"), "");
  EXPECT_EQ(ProgramFind("missing"), "");
  EXPECT_EQ(ProgramFind("../bin/far"), "");
  ::setenv("PATH", path.c_str(), 1);
  fs::remove_all(base);
}
