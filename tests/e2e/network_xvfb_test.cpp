// The network pair as a user sees it: skirmora-host and skirmora-join each run
// on a private X server, xdotool clicks their start windows and presses their
// keys, and screenshots (xwd, read here) show the lobbies and the match. The
// programs meet on 127.0.0.1 at the game port, inside a network namespace of
// the test's own where it may make one, so that no other run meets them
// there. Skips without xdotool, xwd or Xvfb, or when the programs are not
// built.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/command.h"
#include "tests/support/netns.h"
#include "tests/support/xsession.h"

namespace {

using command::Output;

using Clock = std::chrono::steady_clock;

constexpr int kGamePort = 6832;
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
// The programs' picture, scaled onto the X screen with its aspect kept.
constexpr double kPictureWidth = 800.0;
constexpr double kPictureHeight = 600.0;

// Generous bounds: the programs start and draw much slower under the
// sanitizers, down to a few frames a second on a busy machine.
constexpr int kStartWaitMs = 60000;
constexpr int kStepWaitMs = 30000;
constexpr int kExitWaitMs = 20000;
// The programs sample the keyboard once a frame: a key must stay down, and
// then up, for longer than their slowest frame to be seen at all.
constexpr int kKeyHoldMs = 500;
// Screenshots are looked at in every second pixel of every second line.
constexpr int kSurveyStep = 2;

void SleepMs(int ms) {
  usleep(static_cast<useconds_t>(ms) * 1000);
}

bool Before(Clock::time_point deadline) {
  return Clock::now() < deadline;
}

Clock::time_point After(int ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

// The full path of a program on PATH, or "".
std::string ToolPath(const std::string& name) {
  std::string path = Output("command -v " + name + " 2>/dev/null");
  while (!path.empty() && (path.back() == '\n' || path.back() == ' ')) path.pop_back();
  return path;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::string text(static_cast<size_t>(std::max<std::streamoff>(0, in.tellg())), '\0');
  in.seekg(0);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
  return text;
}

// True once nothing listens on the game port (waits up to waitMs). A port in
// TIME_WAIT does not count: the host binds with address reuse as well.
bool GamePortFree(int waitMs) {
  const Clock::time_point deadline = After(waitMs);
  do {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kGamePort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (bound) return true;
    SleepMs(200);
  } while (Before(deadline));
  return false;
}

// A program of these tests, killed and reaped when the object goes away (see
// xsession::Child): DISPLAY set to the display when it is not negative, no
// sound, and the host's replays in the build folder, not the user's.
class Child : public xsession::Child {
 public:
  bool Start(const std::vector<std::string>& argv, int display, const std::string& logPath,
             int passedFd = -1) {
    std::vector<std::string> environment = {"SDL_AUDIODRIVER=dummy",
                                            "XDG_DATA_HOME=" SKIRMORA_BINARY_DIR "/test-data"};
    if (display >= 0) environment.push_back("DISPLAY=:" + std::to_string(display));
    logPath_ = logPath;
    return xsession::Child::Start(argv, environment, logPath, passedFd);
  }

  void Kill() {
    if (Running()) kill(pid(), SIGKILL);
  }

  const std::string& logPath() const { return logPath_; }

 private:
  std::string logPath_;
};

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// Starts a private X server and returns its display number, or -1. The
// server writes the number it chose to a pipe once it takes connections. It
// must not reset when its last client leaves: a program connecting just then
// (while xdotool comes and goes looking for its window) would be turned away.
int StartXServer(Child& server, const std::string& xvfb, const std::string& logPath) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  const bool started =
      server.Start({xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0",
                    std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24",
                    "-nolisten", "tcp", "-noreset"},
                   -1, logPath, fds[1]);
  close(fds[1]);
  std::string text;
  const Clock::time_point deadline = After(kStartWaitMs);
  while (started && text.find('\n') == std::string::npos && Before(deadline)) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[32];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  close(fds[0]);
  if (text.find('\n') == std::string::npos) return -1;
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() ? static_cast<int>(number) : -1;
}

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

// A screenshot, sampled at every kSurveyStep-th pixel of every
// kSurveyStep-th line, and where the programs' 800 x 600 picture lies in it.
struct Picture {
  int width = 0;  // of the screen
  int height = 0;
  int columns = 0;  // of the samples
  int rows = 0;
  std::vector<Rgb> samples;
  double scale = 1.0;
  double left = 0.0;
  double top = 0.0;
};

uint32_t BigEndian32(const std::string& data, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(data[at + i]);
  return value;
}

// One colour channel of pixel values: its mask, scaled to 0..255.
struct Channel {
  explicit Channel(uint32_t m)
      : mask(m), shift(m == 0 ? 0 : std::countr_zero(m)), top(m == 0 ? 1 : m >> shift) {}
  int Of(uint32_t value) const { return static_cast<int>(((value & mask) >> shift) * 255 / top); }
  uint32_t mask;
  int shift;
  uint32_t top;
};

// Reads an XWD file: a big-endian header of 25 words, the window name, the
// colour map entries (12 bytes each), then the pixels line by line in the
// header's byte order, pixel size, line length and colour masks.
bool ReadXwd(const std::string& path, Picture& picture, std::string& error) {
  const std::string data = FileText(path);
  if (data.size() < 100) {
    error = path + ": too short for an XWD header";
    return false;
  }
  uint32_t h[25];
  for (size_t i = 0; i < 25; ++i) h[i] = BigEndian32(data, 4 * i);
  const uint32_t headerSize = h[0], version = h[1], format = h[2], width = h[4], height = h[5];
  const uint32_t byteOrder = h[7], bitsPerPixel = h[11], bytesPerLine = h[12];
  const uint32_t colours = h[19];
  const Channel red(h[14]), green(h[15]), blue(h[16]);
  if (version != 7 || format != 2 || width == 0 || height == 0 || width > 16384 || height > 16384 ||
      bitsPerPixel < 16 || bitsPerPixel > 32 || bitsPerPixel % 8 != 0 ||
      bytesPerLine < width * (bitsPerPixel / 8) || colours > 65536) {
    error = path + ": not a true-colour ZPixmap XWD file";
    return false;
  }
  const size_t start = static_cast<size_t>(headerSize) + static_cast<size_t>(colours) * 12;
  if (data.size() < start + static_cast<size_t>(height) * bytesPerLine) {
    error = path + ": pixel data cut short";
    return false;
  }
  const uint32_t bytes = bitsPerPixel / 8;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.columns = (picture.width + kSurveyStep - 1) / kSurveyStep;
  picture.rows = (picture.height + kSurveyStep - 1) / kSurveyStep;
  picture.samples.assign(static_cast<size_t>(picture.columns) * picture.rows, Rgb{});
  const auto* pixels = reinterpret_cast<const uint8_t*>(data.data()) + start;
  Rgb* out = picture.samples.data();
  for (uint32_t y = 0; y < height; y += kSurveyStep) {
    for (uint32_t x = 0; x < width; x += kSurveyStep) {
      const uint8_t* at = pixels + static_cast<size_t>(y) * bytesPerLine + x * bytes;
      uint32_t value = 0;
      for (uint32_t i = 0; i < bytes; ++i)
        value = value << 8 | at[byteOrder == 0 ? bytes - 1 - i : i];
      *out++ = {red.Of(value), green.Of(value), blue.Of(value)};
    }
  }
  picture.scale = std::min(width / kPictureWidth, height / kPictureHeight);
  picture.left = (width - kPictureWidth * picture.scale) / 2.0;
  picture.top = (height - kPictureHeight * picture.scale) / 2.0;
  return true;
}

// The colours that matter, as they come out of the programs' 16-bit screen.
bool IsSky(const Rgb& c) {  // 170,200,255 after 5-6-5
  return std::abs(c.r - 173) <= 12 && std::abs(c.g - 203) <= 12 && c.b >= 240;
}
bool IsCloudWhite(const Rgb& c) {
  return c.r >= 235 && c.g >= 235 && c.b >= 235;
}
bool IsPlaneRed(const Rgb& c) {
  return c.r >= 150 && c.g <= 90 && c.b <= 90;
}
bool IsPlaneBlue(const Rgb& c) {
  return c.b >= 150 && c.r <= 110 && c.g <= 150 && c.b - c.r >= 80;
}
bool IsConsoleText(const Rgb& c) {
  return c.r < 100 && c.g < 100 && c.b >= 40 && c.b > c.r + 20;
}
bool IsShotGlow(const Rgb& c) {
  return c.r >= 240 && c.g >= 120 && c.g <= 235 && c.b <= 140;
}

// Counts of a rectangle of the 800 x 600 picture (picture coordinates).
struct Census {
  double scale = 1.0;
  long pixels = 0, sky = 0, white = 0, red = 0, blue = 0, text = 0, shot = 0;
  double redX = 0, redY = 0, blueX = 0, blueY = 0;  // sums, in picture coordinates

  double Share(long n) const { return pixels > 0 ? static_cast<double>(n) / pixels : 0.0; }
  // A count of surveyed pixels as an area of the picture.
  double Area(long n) const {
    return static_cast<double>(n) * kSurveyStep * kSurveyStep / (scale * scale);
  }
};

Census Survey(const Picture& p, double x0, double y0, double x1, double y1) {
  Census c;
  c.scale = p.scale;
  // The samples whose screen pixels lie in the rectangle.
  const auto first = [](double screen) {
    return std::max(0, static_cast<int>(std::ceil(screen / kSurveyStep)));
  };
  const int i0 = first(p.left + x0 * p.scale),
            i1 = std::min(p.columns, first(p.left + x1 * p.scale));
  const int j0 = first(p.top + y0 * p.scale), j1 = std::min(p.rows, first(p.top + y1 * p.scale));
  for (int j = j0; j < j1; ++j) {
    const Rgb* line = p.samples.data() + static_cast<size_t>(j) * p.columns;
    const double py = (j * kSurveyStep - p.top) / p.scale;
    for (int i = i0; i < i1; ++i) {
      const Rgb& colour = line[i];
      const double px = (i * kSurveyStep - p.left) / p.scale;
      ++c.pixels;
      c.sky += IsSky(colour);
      c.white += IsCloudWhite(colour);
      c.text += IsConsoleText(colour);
      c.shot += IsShotGlow(colour);
      if (IsPlaneRed(colour)) {
        ++c.red;
        c.redX += px;
        c.redY += py;
      }
      if (IsPlaneBlue(colour)) {
        ++c.blue;
        c.blueX += px;
        c.blueY += py;
      }
    }
  }
  return c;
}

Census Whole(const Picture& p) {
  return Survey(p, 0, 0, kPictureWidth, kPictureHeight);
}

// The console writes 16-pixel lines from the top-left corner.
bool ConsoleLineHasText(const Picture& p, int line) {
  const Census c = Survey(p, 0, 16.0 * line, kPictureWidth, 16.0 * line + 16);
  return c.Area(c.text) >= 40;
}

// Console text reaching further right than x (over ten lines from `first`).
bool ConsoleTextRightOf(const Picture& p, double x, int first = 0) {
  const Census c = Survey(p, x, 16.0 * first, kPictureWidth, 16.0 * (first + 10));
  return c.Area(c.text) >= 20;
}

// The match screen's "Verbindung verloren", black on white at the top middle.
bool ShowsConnectionLost(const Picture& p) {
  long black = 0;
  for (int j = 0; j < p.rows; ++j) {
    const double py = (j * kSurveyStep - p.top) / p.scale;
    if (py < 36 || py >= 60) continue;
    for (int i = 0; i < p.columns; ++i) {
      const double px = (i * kSurveyStep - p.left) / p.scale;
      if (px < 330 || px >= 520) continue;
      const Rgb& colour = p.samples[static_cast<size_t>(j) * p.columns + i];
      black += colour.r < 60 && colour.g < 60 && colour.b < 60;
    }
  }
  return black * kSurveyStep * kSurveyStep / (p.scale * p.scale) >= 40;
}

// A lobby: the plain sky, with at most the console text on it, no clouds.
bool IsLobby(const Picture& p) {
  const Census c = Whole(p);
  return c.Share(c.sky) >= 0.85 && c.Share(c.white) < 0.02;
}

// What is wrong with the frame of a match (sky in the middle, a cloud border
// along all four edges), or "" when nothing is.
std::string BorderProblems(const Picture& p) {
  std::ostringstream out;
  const Census middle = Survey(p, 160, 120, 640, 480);
  if (middle.Share(middle.sky) < 0.8) {
    out << "sky covers only " << middle.Share(middle.sky) << " of the middle; ";
  }
  const Census edges[4] = {Survey(p, 0, 0, kPictureWidth, 30),
                           Survey(p, 0, kPictureHeight - 30, kPictureWidth, kPictureHeight),
                           Survey(p, 0, 0, 30, kPictureHeight),
                           Survey(p, kPictureWidth - 30, 0, kPictureWidth, kPictureHeight)};
  const char* names[4] = {"top", "bottom", "left", "right"};
  for (int i = 0; i < 4; ++i) {
    if (edges[i].Share(edges[i].white) < 0.6) {
      out << "clouds cover only " << edges[i].Share(edges[i].white) << " of the " << names[i]
          << " edge; ";
    }
  }
  return out.str();
}

// BorderProblems, and both planes must be in sight.
std::string MatchProblems(const Picture& p) {
  std::string problems = BorderProblems(p);
  const Census c = Whole(p);
  if (c.Area(c.red) < 120) problems += "red plane area " + std::to_string(c.Area(c.red)) + "; ";
  if (c.Area(c.blue) < 120) problems += "blue plane area " + std::to_string(c.Area(c.blue)) + "; ";
  return problems;
}

// Where the host and the client draw the planes must agree: the client takes
// the positions from the host. The two screenshots are taken a moment apart,
// hence the tolerance.
std::string SyncProblems(const Picture& host, const Picture& join) {
  const Census h = Whole(host), j = Whole(join);
  if (h.red == 0 || h.blue == 0 || j.red == 0 || j.blue == 0) return "a plane is missing; ";
  const double red = std::hypot(h.redX / h.red - j.redX / j.red, h.redY / h.red - j.redY / j.red);
  const double blue =
      std::hypot(h.blueX / h.blue - j.blueX / j.blue, h.blueY / h.blue - j.blueY / j.blue);
  std::string problems;
  if (red > 100) problems += "red plane " + std::to_string(red) + " px apart on the two screens; ";
  if (blue > 100) {
    problems += "blue plane " + std::to_string(blue) + " px apart on the two screens; ";
  }
  return problems;
}

// The area of the picture that differs between two screenshots of a screen.
double DifferingArea(const Picture& a, const Picture& b) {
  if (a.samples.size() != b.samples.size()) return -1;
  long differing = 0;
  for (size_t i = 0; i < a.samples.size(); ++i) {
    const Rgb &x = a.samples[i], &y = b.samples[i];
    differing += x.r != y.r || x.g != y.g || x.b != y.b;
  }
  return static_cast<double>(differing) * kSurveyStep * kSurveyStep / (a.scale * a.scale);
}

class NetworkXvfbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xvfb_ = ToolPath("Xvfb");
    if (xvfb_.empty()) GTEST_SKIP() << "Xvfb is missing";
    if (ToolPath("xdotool").empty()) GTEST_SKIP() << "xdotool is missing";
    if (ToolPath("xwd").empty()) GTEST_SKIP() << "xwd is missing";
    for (const std::string& program : {HostPath(), JoinPath()}) {
      if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << program << " is not built";
    }
    if (!netns::EnterOwnNetwork()) {
      std::cout << "[ note ] no network namespace of its own: the test shares port " << kGamePort
                << " with the machine\n";
    }
    ASSERT_TRUE(GamePortFree(kStepWaitMs)) << "another program listens on port " << kGamePort;
    // The client remembers the host's address in a state folder of this test.
    stateHome_ = FilePath("state");
    std::system(("rm -rf '" + stateHome_ + "'").c_str());
    setenv("XDG_STATE_HOME", stateHome_.c_str(), 1);

    hostDisplay_ = StartXServer(hostX_, xvfb_, FilePath("host_xvfb.log"));
    ASSERT_GE(hostDisplay_, 0) << "the host's X server did not start";
    joinDisplay_ = StartXServer(joinX_, xvfb_, FilePath("join_xvfb.log"));
    ASSERT_GE(joinDisplay_, 0) << "the client's X server did not start";
    ASSERT_TRUE(host_.Start({HostPath()}, hostDisplay_, FilePath("host.log")));
    ASSERT_TRUE(join_.Start({JoinPath()}, joinDisplay_, FilePath("join.log")));
  }

  void TearDown() override {
    if (!HasFailure()) return;
    for (Child* c : {&host_, &join_}) {
      if (c->logPath().empty()) continue;
      std::string log = FileText(c->logPath());
      if (log.size() > 4000) log = "..." + log.substr(log.size() - 4000);
      std::cout << "--- " << c->logPath() << " ---\n" << log << "\n";
    }
  }

  static std::string HostPath() { return SKIRMORA_BINARY_DIR "/skirmora-host"; }
  static std::string JoinPath() { return SKIRMORA_BINARY_DIR "/skirmora-join"; }

  // A file in the temporary folder, named after the test.
  static std::string FilePath(const std::string& what) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "skirmora_net_" + info->name() + "_" + what;
  }

  static bool Xdo(int display, const std::string& args) {
    const std::string command =
        "DISPLAY=:" + std::to_string(display) + " timeout 10 xdotool " + args + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }

  // Holds the key long enough for the programs' once-a-frame sampling.
  static bool PressKey(int display, const std::string& key) {
    if (!Xdo(display, "keydown " + key)) return false;
    SleepMs(kKeyHoldMs);
    return Xdo(display, "keyup " + key);
  }

  // Waits for the start window and checks its size and place (centred).
  // Returns its client area's top-left corner through x and y.
  static void FindStartWindow(int display, int& x, int& y) {
    const std::string env = "DISPLAY=:" + std::to_string(display) + " timeout 10 xdotool ";
    const Clock::time_point deadline = After(kStartWaitMs);
    std::string seen;
    while (Before(deadline)) {
      std::istringstream ids(Output(env + "search --onlyvisible --name '^Skirmora$' 2>/dev/null"));
      std::string id;
      while (ids >> id) {
        seen = Output(env + "getwindowgeometry --shell " + id + " 2>/dev/null");
        int width = 0, height = 0;
        std::istringstream fields(seen);
        std::string field;
        while (fields >> field) {
          if (field.starts_with("X=")) x = std::atoi(field.c_str() + 2);
          if (field.starts_with("Y=")) y = std::atoi(field.c_str() + 2);
          if (field.starts_with("WIDTH=")) width = std::atoi(field.c_str() + 6);
          if (field.starts_with("HEIGHT=")) height = std::atoi(field.c_str() + 7);
        }
        if (width == 216 && height == 123) {
          EXPECT_NEAR(x, (kScreenWidth - 216) / 2, 1) << "the start window is not centred";
          EXPECT_NEAR(y, (kScreenHeight - 123) / 2, 1) << "the start window is not centred";
          return;
        }
      }
      SleepMs(200);
    }
    FAIL() << "no 216 x 123 start window titled Skirmora on :" << display
           << "; last seen: " << seen;
  }

  // Moves the pointer onto the spot first and clicks a moment later, as a
  // user does: a click that follows the pointer's entry into a window
  // within a few milliseconds is taken as the focus click and dropped.
  static bool Click(int display, int x, int y) {
    if (!Xdo(display, "mousemove " + std::to_string(x) + " " + std::to_string(y))) return false;
    SleepMs(500);
    return Xdo(display, "click 1");
  }

  // Takes a screenshot into the temporary folder and reads it.
  static bool Capture(int display, const std::string& what, Picture& picture, std::string& error) {
    const std::string path = FilePath(what + ".xwd");
    const std::string command = "DISPLAY=:" + std::to_string(display) +
                                " timeout 20 xwd -root -silent -out '" + path + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
      error = "xwd failed on :" + std::to_string(display);
      return false;
    }
    return ReadXwd(path, picture, error);
  }

  static void Capture(int display, const std::string& what, Picture& picture) {
    std::string error;
    ASSERT_TRUE(Capture(display, what, picture, error)) << error;
    std::cout << "[ screenshot ] " << FilePath(what + ".xwd") << "\n";
  }

  // Takes screenshots until one satisfies the condition or waitMs pass; the
  // last one stays on disk.
  static bool WaitForScreen(int display, const std::string& what,
                            const std::function<bool(const Picture&)>& condition,
                            int waitMs = kStepWaitMs) {
    const Clock::time_point deadline = After(waitMs);
    bool satisfied = false;
    do {
      Picture picture;
      std::string error;
      satisfied = Capture(display, what, picture, error) && condition(picture);
      if (!satisfied) SleepMs(300);
    } while (!satisfied && Before(deadline));
    std::cout << "[ screenshot ] " << FilePath(what + ".xwd") << "\n";
    return satisfied;
  }

  // From the start windows through both lobbies into the match.
  void ReachMatch() {
    int hostX = 0, hostY = 0, joinX = 0, joinY = 0;
    ASSERT_NO_FATAL_FAILURE(FindStartWindow(hostDisplay_, hostX, hostY));
    ASSERT_NO_FATAL_FAILURE(FindStartWindow(joinDisplay_, joinX, joinY));

    // "Host" leads the host into its lobby: nobody has joined, the console
    // tells the port and the host's addresses in two lines.
    ASSERT_TRUE(Click(hostDisplay_, hostX + 42, hostY + 102));
    ASSERT_TRUE(WaitForScreen(hostDisplay_, "host_lobby_empty", [](const Picture& p) {
      return IsLobby(p) && ConsoleLineHasText(p, 0) && ConsoleLineHasText(p, 1) &&
             !ConsoleLineHasText(p, 2);
    })) << "the host's lobby did not appear with its two opening lines";

    // "Client" connects the client: its console greets the host and asks
    // for Return (fourth line); the host's console names the new player.
    ASSERT_TRUE(Click(joinDisplay_, joinX + 172, joinY + 102));
    ASSERT_TRUE(WaitForScreen(joinDisplay_, "join_lobby", [](const Picture& p) {
      return IsLobby(p) && ConsoleLineHasText(p, 0) && ConsoleLineHasText(p, 3);
    })) << "the client's lobby never showed the connection";
    ASSERT_TRUE(WaitForScreen(hostDisplay_, "host_lobby_joined", [](const Picture& p) {
      return IsLobby(p) && ConsoleLineHasText(p, 2) && ConsoleLineHasText(p, 4) &&
             !ConsoleTextRightOf(p, 330, 2);
    })) << "the host's console did not show the client joining";
    EXPECT_EQ(FileText(stateHome_ + "/skirmora/last-host"), "127.0.0.1\n")
        << "the client did not remember the host's address";

    // Return on the client says it is ready; the host's console then shows
    // its long "press Return" line.
    bool ready = false;
    for (int attempt = 0; attempt < 3 && !ready; ++attempt) {
      ASSERT_TRUE(PressKey(joinDisplay_, "Return"));
      ready = WaitForScreen(
          hostDisplay_, "host_lobby_ready",
          [](const Picture& p) { return IsLobby(p) && ConsoleTextRightOf(p, 330, 2); },
          kStepWaitMs / 3);
    }
    ASSERT_TRUE(ready) << "the host never saw the client ready";

    // Return on the host starts the match on both screens.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
      ASSERT_TRUE(PressKey(hostDisplay_, "Return"));
      started = WaitForScreen(
          hostDisplay_, "host_match_start",
          [](const Picture& p) { return BorderProblems(p).empty(); }, kStepWaitMs / 3);
    }
    ASSERT_TRUE(started) << "the host's match did not start";
    ASSERT_TRUE(WaitForScreen(joinDisplay_, "join_match_start", [](const Picture& p) {
      return BorderProblems(p).empty();
    })) << "the client's match did not start";
  }

  // The client must go on drawing: two screenshots a second apart differ
  // (the cloud border drifts) and still show the match.
  void ExpectClientStillDrawing(const std::string& what) {
    ASSERT_TRUE(join_.Running()) << "the client ended: " << DescribeStatus(join_.status());
    Picture first, second;
    ASSERT_NO_FATAL_FAILURE(Capture(joinDisplay_, what + "_1", first));
    SleepMs(1000);
    ASSERT_NO_FATAL_FAILURE(Capture(joinDisplay_, what + "_2", second));
    EXPECT_GT(DifferingArea(first, second), 400) << "the client's screen stood still";
    EXPECT_EQ(BorderProblems(second), "");
    EXPECT_TRUE(join_.Running()) << "the client ended: " << DescribeStatus(join_.status());
  }

  // Esc ends the program with exit code 0. A press the program did not see
  // (it leaves it running) is repeated.
  void ExpectEscEnds(Child& program, int display, const std::string& who) {
    bool ended = false;
    for (int attempt = 0; attempt < 3 && !ended; ++attempt) {
      ASSERT_TRUE(PressKey(display, "Escape"));
      ended = program.WaitExit(kExitWaitMs / 2);
    }
    ASSERT_TRUE(ended) << who << " did not end on Esc";
    EXPECT_TRUE(WIFEXITED(program.status()) && WEXITSTATUS(program.status()) == 0)
        << who << " ended with " << DescribeStatus(program.status());
  }

  std::string xvfb_;
  std::string stateHome_;
  // Declared before the programs, so the programs go first when the fixture ends.
  Child hostX_, joinX_;
  Child host_, join_;
  int hostDisplay_ = -1;
  int joinDisplay_ = -1;
};

TEST_F(NetworkXvfbTest, MatchOnBothScreensAndTheClientOutlivesAKilledHost) {
  ASSERT_NO_FATAL_FAILURE(ReachMatch());

  // No shot is in the air yet.
  Picture host, join;
  ASSERT_NO_FATAL_FAILURE(Capture(hostDisplay_, "host_match_calm", host));
  ASSERT_NO_FATAL_FAILURE(Capture(joinDisplay_, "join_match_calm", join));
  // The picture is scaled by 1.6 onto this screen: where a plane's red meets
  // its yellow, the blended edge pixels can read as glow, a few at a time.
  // Six shots in the air show far more.
  const Census hostCalm = Whole(host), joinCalm = Whole(join);
  EXPECT_LT(hostCalm.Area(hostCalm.shot), 20);
  EXPECT_LT(joinCalm.Area(joinCalm.shot), 20);

  // The red plane turns left, the blue one right; then both fire three times.
  ASSERT_TRUE(Xdo(hostDisplay_, "keydown Left"));
  ASSERT_TRUE(Xdo(joinDisplay_, "keydown Right"));
  SleepMs(1000);
  ASSERT_TRUE(Xdo(hostDisplay_, "keyup Left"));
  ASSERT_TRUE(Xdo(joinDisplay_, "keyup Right"));
  for (int shot = 0; shot < 3; ++shot) {
    ASSERT_TRUE(Xdo(hostDisplay_, "keydown space"));
    ASSERT_TRUE(Xdo(joinDisplay_, "keydown space"));
    SleepMs(kKeyHoldMs);
    ASSERT_TRUE(Xdo(hostDisplay_, "keyup space"));
    ASSERT_TRUE(Xdo(joinDisplay_, "keyup space"));
    SleepMs(kKeyHoldMs);
  }
  ASSERT_NO_FATAL_FAILURE(Capture(hostDisplay_, "host_match_shots", host));
  ASSERT_NO_FATAL_FAILURE(Capture(joinDisplay_, "join_match_shots", join));
  const Census hostShots = Whole(host), joinShots = Whole(join);
  EXPECT_GE(hostShots.Area(hostShots.shot), 30) << "no shots on the host's screen";
  EXPECT_GE(joinShots.Area(joinShots.shot), 30) << "no shots on the client's screen";

  // Both screens show the sky, the cloud border and both planes at the same
  // places. A plane may be behind the clouds for a moment: look again then.
  std::string problems;
  const Clock::time_point deadline = After(kStepWaitMs);
  do {
    std::string error;
    if (!Capture(hostDisplay_, "host_match", host, error) ||
        !Capture(joinDisplay_, "join_match", join, error)) {
      problems = error;
      break;
    }
    problems = "host: " + MatchProblems(host) + "client: " + MatchProblems(join) +
               "both: " + SyncProblems(host, join);
    if (problems == "host: client: both: ") problems.clear();
    if (!problems.empty()) SleepMs(300);
  } while (!problems.empty() && Before(deadline));
  std::cout << "[ screenshot ] " << FilePath("host_match.xwd") << "\n"
            << "[ screenshot ] " << FilePath("join_match.xwd") << "\n";
  EXPECT_EQ(problems, "");
  EXPECT_FALSE(ShowsConnectionLost(join));
  EXPECT_FALSE(ShowsConnectionLost(host));

  // The host dies mid-match; the client goes on and still leaves on Esc.
  host_.Kill();
  ASSERT_TRUE(host_.WaitExit(kExitWaitMs));
  EXPECT_TRUE(WIFSIGNALED(host_.status()));
  EXPECT_TRUE(WaitForScreen(joinDisplay_, "join_connection_lost", ShowsConnectionLost))
      << "the client did not say that the connection was lost";
  ASSERT_NO_FATAL_FAILURE(ExpectClientStillDrawing("join_after_host_killed"));
  ASSERT_NO_FATAL_FAILURE(ExpectEscEnds(join_, joinDisplay_, "the client"));
}

TEST_F(NetworkXvfbTest, EscEndsTheHostMidMatchAndTheClientPlaysOn) {
  ASSERT_NO_FATAL_FAILURE(ReachMatch());
  ASSERT_TRUE(PressKey(hostDisplay_, "Left"));
  ASSERT_TRUE(PressKey(joinDisplay_, "space"));
  SleepMs(500);

  ASSERT_NO_FATAL_FAILURE(ExpectEscEnds(host_, hostDisplay_, "the host"));
  EXPECT_TRUE(WaitForScreen(joinDisplay_, "join_host_left", ShowsConnectionLost))
      << "the client did not say that the connection was lost";
  ASSERT_NO_FATAL_FAILURE(ExpectClientStillDrawing("join_after_host_left"));
  ASSERT_NO_FATAL_FAILURE(ExpectEscEnds(join_, joinDisplay_, "the client"));
}

}  // namespace
