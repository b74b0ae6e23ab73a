#pragma once
// Headless media for match tests: the 16-bit screen and the network
// programs' images, so that shots are drawn and hit-tested as in the programs.

#include <gtest/gtest.h>

#include "game/passes.h"
#include "netplay/startup.h"
#include "platform/headless.h"
#include "runtime/program.h"

class NetMatchMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = &platform::UseHeadless();
    platform_->SetExecutablePath(::testing::TempDir() + "skirmora-net-test");
    ProgramStart(netplay::NetworkProgramHooks());
    ASSERT_TRUE(netplay::NetplayChecks());
    netplay::NetplayOpenScreen();
  }
  void TearDown() override { ProgramRunEndHooks(); }

  game::MatchEffects& Effects() { return game::MediaEffects(); }

  platform::HeadlessPlatform* platform_ = nullptr;
};
