#include "runtime/program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

TEST(CommandLine, HelpAndVersionAreAnsweredEverythingElseIgnored) {
  const char* none[] = {"prog", "-x", "file"};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(CommandLineAnswered(3, none, "prog", "help text\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const char* version[] = {"prog", "--bogus", "--version"};
  testing::internal::CaptureStdout();
  EXPECT_TRUE(CommandLineAnswered(3, version, "prog", "help text\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("prog ") + ProgramVersion() + "\n");
  const char* help[] = {"prog", "--help"};
  testing::internal::CaptureStdout();
  EXPECT_TRUE(CommandLineAnswered(2, help, "prog", "help text\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Usage: prog\n\nhelp text\n");
  EXPECT_STRNE(ProgramVersion(), "0");
}
