// The join program's memory of the last host address, in a state folder of
// the test's own (XDG_STATE_HOME points into the test's temporary folder).
#include "join/last_address.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

class LastAddress : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/skirmora-state-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    const char* home = std::getenv("HOME");
    home_ = home != nullptr ? home : "";
    setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", home_.c_str(), 1);
    std::system(("rm -rf '" + root_ + "'").c_str());
  }

  std::string root_;
  std::string home_;
};

TEST_F(LastAddress, KeptInTheStateFolderAndReadBack) {
  const std::string path = join::LastAddressPath();
  EXPECT_EQ(path, root_ + "/state/skirmora/last-host");
  EXPECT_EQ(join::LastAddressLoad(path), "127.0.0.1");  // nothing kept yet
  ASSERT_TRUE(join::LastAddressSave(path, "192.168.1.20"));
  EXPECT_EQ(join::LastAddressLoad(path), "192.168.1.20");
  ASSERT_TRUE(join::LastAddressSave(path, "10.0.0.2"));
  EXPECT_EQ(join::LastAddressLoad(path), "10.0.0.2");
  // Nothing is left beside it.
  EXPECT_EQ(std::system(("test $(ls -A '" + root_ + "/state/skirmora' | wc -l) -eq 1").c_str()), 0);
  // What is not an address is neither written nor read.
  EXPECT_FALSE(join::LastAddressSave(path, "999.1.1.1"));
  EXPECT_EQ(join::LastAddressLoad(path), "10.0.0.2");
  for (const char* junk : {"", "10.0.0", "10.0.0.2 and more", "\n\n\n"}) {
    std::ofstream(path) << junk;
    EXPECT_EQ(join::LastAddressLoad(path), "127.0.0.1") << junk;
  }
  std::ofstream(path) << std::string(10000, '1');
  EXPECT_EQ(join::LastAddressLoad(path), "127.0.0.1");
}

TEST_F(LastAddress, HomeStateFolderWhenUnsetAndNothingWithoutAFolder) {
  unsetenv("XDG_STATE_HOME");
  setenv("HOME", root_.c_str(), 1);
  EXPECT_EQ(join::LastAddressPath(), root_ + "/.local/state/skirmora/last-host");
  setenv("XDG_STATE_HOME", "relative/not/used", 1);
  EXPECT_EQ(join::LastAddressPath(), root_ + "/.local/state/skirmora/last-host");
  unsetenv("XDG_STATE_HOME");
  unsetenv("HOME");
  EXPECT_EQ(join::LastAddressPath(), "");
  EXPECT_EQ(join::LastAddressLoad(""), "127.0.0.1");
  EXPECT_FALSE(join::LastAddressSave("", "10.0.0.2"));
  // A folder that cannot be made: nothing written, nothing read.
  const std::string blocked = root_ + "/file";
  std::ofstream(blocked) << "x";
  EXPECT_FALSE(join::LastAddressSave(blocked + "/skirmora/last-host", "10.0.0.2"));
}

}  // namespace
