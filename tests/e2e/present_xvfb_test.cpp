// The two ways a picture reaches the screen show the same pixels: skirmora's
// title picture in its window, presented through the accelerated renderer
// (forced with SKIRMORA_PRESENT; under Xvfb it runs on the software
// rasteriser) and through the window surface. Each run takes screenshots
// until two in a row agree, so the fade-in is over. (The fitted, scaled
// picture of both paths is covered by the scaler's own tests and the network
// programs' full screens.) Skips without xvfb-run or xwd, or when skirmora is
// not built.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/command.h"

namespace {

bool Have(const std::string& tool) {
  return !command::Output("command -v " + tool + " 2>/dev/null").empty();
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t BigEndian32(const std::string& data, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(data[at + i]);
  return value;
}

// The pixel bytes of an XWD screenshot of a 24-bit screen, or nothing when
// the file is not one.
struct Shot {
  uint32_t width = 0;
  uint32_t height = 0;
  std::string pixels;
};

Shot ReadShot(const std::string& path) {
  Shot shot;
  const std::string data = FileText(path);
  if (data.size() < 100) return shot;
  const uint32_t header = BigEndian32(data, 0), width = BigEndian32(data, 16);
  const uint32_t height = BigEndian32(data, 20), line = BigEndian32(data, 48);
  const uint32_t colours = BigEndian32(data, 76);
  const size_t start = static_cast<size_t>(header) + static_cast<size_t>(colours) * 12;
  // Xvfb's 24-bit screens keep four bytes a pixel, whatever the header's
  // bits per pixel say.
  if (width == 0 || line != width * 4 || colours > 65536 ||
      data.size() < start + static_cast<size_t>(line) * height) {
    return shot;
  }
  shot.width = width;
  shot.height = height;
  shot.pixels = data.substr(start, static_cast<size_t>(line) * height);
  return shot;
}

// Runs skirmora in its window on a private X server with the given
// presentation path; returns the settled screenshot and the program's
// standard error.
Shot TitleShot(const std::string& path, std::string& log) {
  const std::string dir = ::testing::TempDir() + "skirmora_present_" + path;
  mkdir(dir.c_str(), 0755);
  std::ofstream(dir + "/Preferences.prefs")
      << "[Data]\nName1=Spieler 1\nName2=Spieler 2\n[Start]\nColor=32\nFullscreen=" << 0 << "\n";
  std::ofstream(dir + "/run.sh") << "cd '" << dir
                                 << "' && cp '" SKIRMORA_BINARY_DIR
                                    "/skirmora' . && rm -f shot*.xwd\n"
                                 << "SDL_AUDIODRIVER=dummy SKIRMORA_DEBUG=1 SKIRMORA_PRESENT="
                                 << path << " ./skirmora 2>log.txt &\n"
                                 << "pid=$!\n"
                                 << "for i in $(seq 60); do\n"
                                 << "  sleep 0.3; xwd -root -silent -out shot_new.xwd || break\n"
                                 << "  if cmp -s shot_new.xwd shot.xwd; then break; fi\n"
                                 << "  mv shot_new.xwd shot.xwd\n"
                                 << "done\n"
                                 << "kill $pid; wait $pid\n";
  const std::string run =
      "timeout 120 xvfb-run -a -s '-screen 0 1280x1024x24 -nolisten tcp' bash '" + dir +
      "/run.sh' >/dev/null 2>&1";
  std::system(run.c_str());
  log = FileText(dir + "/log.txt");
  return ReadShot(dir + "/shot.xwd");
}

class PresentXvfbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"xvfb-run", "xwd", "cmp"}) {
      if (!Have(tool)) GTEST_SKIP() << tool << " is missing";
    }
    if (access(SKIRMORA_BINARY_DIR "/skirmora", X_OK) != 0) GTEST_SKIP() << "skirmora not built";
  }
};

// Pixels of the shot that are not black (the title picture, not the bars).
long Lit(const Shot& s) {
  long lit = 0;
  for (size_t i = 0; i + 4 <= s.pixels.size(); i += 4) {
    lit += (s.pixels[i] | s.pixels[i + 1] | s.pixels[i + 2]) != 0;
  }
  return lit;
}

TEST_F(PresentXvfbTest, RendererAndWindowSurfaceShowTheSamePicture) {
  std::string rendererLog, surfaceLog;
  const Shot renderer = TitleShot("renderer", rendererLog);
  const Shot surface = TitleShot("surface", surfaceLog);
  EXPECT_NE(rendererLog.find("presenting through the accelerated renderer"), std::string::npos)
      << rendererLog;
  EXPECT_NE(surfaceLog.find("presenting through the window surface"), std::string::npos)
      << surfaceLog;
  ASSERT_EQ(renderer.width, 1280u) << "no screenshot through the renderer";
  ASSERT_EQ(surface.width, 1280u) << "no screenshot through the window surface";
  ASSERT_EQ(renderer.pixels.size(), surface.pixels.size());
  // The title picture is on screen, 800 x 600 (it has dark parts of its own).
  EXPECT_GT(Lit(surface), 800L * 600 / 2);
  EXPECT_LE(Lit(surface), 800L * 600);
  long differing = 0;
  for (size_t i = 0; i < surface.pixels.size(); ++i) {
    if ((i & 3) == 3) continue;  // the unused fourth byte
    differing += renderer.pixels[i] != surface.pixels[i];
  }
  EXPECT_EQ(differing, 0) << "the window shows other pixels through the two paths";
}

}  // namespace
