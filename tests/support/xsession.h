#pragma once
// A private X server for end-to-end tests: Xvfb on a display number it picks
// itself, optionally a window manager, programs started on it (killed with
// the session), xdotool and screenshots read back as RGB pixels.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/command.h"

namespace xsession {

inline void SleepMs(int ms) {
  usleep(static_cast<useconds_t>(ms) * 1000);
}

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A child process killed and reaped when the object goes away; it also dies
// with the test process.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Stop(); }

  // Starts argv[0] (a full path) with the extra environment entries, stdin
  // from /dev/null and stdout and stderr into logPath. passedFd stays open.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
             const std::string& logPath, int passedFd = -1) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const std::string& x : extraEnv) {
        if (entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0) replaced = true;
      }
      if (!replaced) environment.push_back(entry);
    }
    environment.insert(environment.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || null < 0) {
      if (log >= 0) close(log);
      if (null >= 0) close(null);
      return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      dup2(null, 0);
      dup2(log, 1);
      dup2(log, 2);
      if (passedFd >= 0) fcntl(passedFd, F_SETFD, 0);
      execve(args[0], args.data(), env.data());
      _exit(127);
    }
    close(log);
    close(null);
    if (pid < 0) return false;
    pid_ = pid;
    reaped_ = false;
    return true;
  }

  bool Running() {
    if (reaped_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      reaped_ = true;
      status_ = status;
    }
    return !reaped_;
  }

  bool WaitExit(int waitMs) {
    for (int waited = 0; Running() && waited < waitMs; waited += 20) SleepMs(20);
    return !Running();
  }

  void Stop() {
    if (reaped_) return;
    kill(pid_, SIGKILL);
    int status = 0;
    if (waitpid(pid_, &status, 0) == pid_) status_ = status;
    reaped_ = true;
  }

  pid_t pid() const { return pid_; }
  int status() const { return status_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = true;
  int status_ = 0;
};

struct Geometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// A screenshot as 8-bit RGB.
struct Shot {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  bool Has(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  unsigned Pixel(int x, int y) const {
    if (!Has(x, y)) return 0xFFFFFFFFu;
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return rgb[at] << 16 | rgb[at + 1] << 8 | rgb[at + 2];
  }
};

class Session {
 public:
  ~Session() { wm_.Stop(), server_.Stop(); }

  // Starts Xvfb with one screen of the size (and the dpi), then openbox when
  // asked. False when the server did not come up.
  bool Start(int width, int height, bool windowManager, const std::string& logDir, int dpi = 96) {
    logDir_ = logDir;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    const bool started =
        server_.Start({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                       std::to_string(width) + "x" + std::to_string(height) + "x24", "-dpi",
                       std::to_string(dpi), "-nolisten", "tcp", "-noreset"},
                      {}, logDir + "/xvfb.log", fds[1]);
    close(fds[1]);
    std::string text;
    for (int waited = 0; started && text.find('\n') == std::string::npos && waited < 30000;
         waited += 100) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[32];
      const ssize_t got = read(fds[0], buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (text.find('\n') == std::string::npos) return false;
    display_ = ":" + std::to_string(std::atoi(text.c_str()));
    if (windowManager) {
      if (!wm_.Start({"/usr/bin/openbox"}, {"DISPLAY=" + display_}, logDir + "/openbox.log")) {
        return false;
      }
      SleepMs(300);
    }
    return true;
  }

  // Starts a program on the display (sound to nowhere).
  bool Run(Child& child, const std::vector<std::string>& argv, const std::string& log) {
    return child.Start(argv, {"DISPLAY=" + display_, "SDL_AUDIODRIVER=dummy"}, logDir_ + "/" + log);
  }

  std::string Out(const std::string& command) {
    std::string text = command::Output("DISPLAY=" + display_ + " timeout 20 " + command);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  bool Xdo(const std::string& args) {
    return std::system(("DISPLAY=" + display_ + " timeout 20 xdotool " + args + " >/dev/null 2>&1")
                           .c_str()) == 0;
  }

  // Holds a key long enough for a program that looks at its keys once a
  // frame, also a slow one (sanitizers, a busy machine), then lets it go.
  void Key(const std::string& keys) {
    Xdo("keydown " + keys);
    SleepMs(450);
    Xdo("keyup " + keys);
    SleepMs(350);
  }

  // The first visible window whose name is exactly `name` (and, when
  // given, whose size is width x height), waiting up to waitMs; "" if none.
  std::string FindWindow(const std::string& name, int waitMs, int width = 0, int height = 0) {
    for (int waited = 0; waited < waitMs; waited += 100) {
      std::istringstream ids(Out("xdotool search --onlyvisible --name '^" + name + "$'"));
      for (std::string id; ids >> id;) {
        const Geometry g = GeometryOf(id);
        if (width == 0 || (g.width == width && g.height == height)) return id;
      }
      SleepMs(100);
    }
    return {};
  }

  // The client area of the window on the screen (xwininfo gives the
  // absolute position also under a window manager that reparents).
  Geometry GeometryOf(const std::string& id) {
    Geometry g;
    std::istringstream lines(Out("xwininfo -id " + id));
    for (std::string line; std::getline(lines, line);) {
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string key = line.substr(0, colon);
      while (!key.empty() && key.front() == ' ') key.erase(key.begin());
      const int value = std::atoi(line.c_str() + colon + 1);
      if (key == "Absolute upper-left X") g.x = value;
      if (key == "Absolute upper-left Y") g.y = value;
      if (key == "Width") g.width = value;
      if (key == "Height") g.height = value;
    }
    return g;
  }

  // Waits until the window has the size; true when it came.
  bool WaitSize(const std::string& id, int width, int height, int waitMs) {
    for (int waited = 0; waited < waitMs; waited += 100) {
      const Geometry g = GeometryOf(id);
      if (g.width == width && g.height == height) return true;
      SleepMs(100);
    }
    return false;
  }

  // Takes a screenshot of the whole screen into `path` (PNG) and reads it.
  bool Screenshot(const std::string& path, Shot& shot) {
    const std::string ppm = path + ".ppm";
    if (std::system(("DISPLAY=" + display_ + " timeout 20 import -window root " + path +
                     " && convert " + path + " " + ppm)
                        .c_str()) != 0) {
      return false;
    }
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> shot.width >> shot.height >> max;
    in.get();
    if (magic != "P6" || max != 255 || shot.width <= 0 || shot.height <= 0) return false;
    shot.rgb.resize(static_cast<size_t>(shot.width) * shot.height * 3);
    in.read(reinterpret_cast<char*>(shot.rgb.data()),
            static_cast<std::streamsize>(shot.rgb.size()));
    std::remove(ppm.c_str());
    return static_cast<size_t>(in.gcount()) == shot.rgb.size();
  }

  const std::string& display() const { return display_; }

 private:
  Child server_;
  Child wm_;
  std::string display_;
  std::string logDir_;
};

}  // namespace xsession
