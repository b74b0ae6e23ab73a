// Times the network programs' real frames (lobby and match, host and client)
// while the peer floods them over a loopback connection as fast as the
// socket takes it: a named client sending "ready:", a host sending "close:#",
// a host sending plane states that each announce a shot, and a client
// sending headings that each announce one. Prints the work of a frame
// (median, 99th percentile, most), the console's lines, the shots in the air
// and how much the process's memory grew over the timed frames, next to the
// same frames with a quiet peer. The frames run on the headless platform, so
// presenting costs no waiting.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "game/records.h"
#include "host/host_match.h"
#include "host/host_program.h"
#include "host/host_session.h"
#include "join/join_match.h"
#include "join/join_program.h"
#include "join/join_session.h"
#include "netplay/startup.h"
#include "platform/headless.h"
#include "runtime/lists.h"
#include "runtime/net.h"
#include "runtime/program.h"
#include "tests/support/loopback.h"

namespace {

constexpr int kWarmUpFrames = 20;
constexpr int kTimedFrames = 120;

double NowMs() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

double Percentile(std::vector<double> values, int percent) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, values.size() * static_cast<size_t>(percent) / 100)];
}

// Resident memory of this process in KiB.
long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Sends copies of `message` until the socket takes no more.
void Flood(int fd, const std::string& message) {
  if (message.empty()) return;  // a quiet peer, for comparison
  static std::string block;
  block.clear();
  while (block.size() < 16384) block += message;
  while (send(fd, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0) {
  }
}

void Drain(int fd) {
  char buffer[65536];
  while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
  }
}

struct Figures {
  std::vector<double> frames;
  size_t mostLines = 0;
  int mostShots = 0;
  long memoryStart = 0;
  long memoryEnd = 0;
};

// Runs warm-up and timed frames; `frame` runs one real frame and returns the
// console's lines and the shots in the air.
Figures Run(platform::HeadlessPlatform& hp, int peer, const std::string& message,
            const std::function<void(size_t*, int*)>& frame) {
  Figures f;
  for (int i = 0; i < kWarmUpFrames + kTimedFrames; ++i) {
    if (i == kWarmUpFrames) f.memoryStart = ResidentKiB();
    Flood(peer, message);
    hp.AdvanceMs(16);
    size_t lines = 0;
    int shots = 0;
    const double t0 = NowMs();
    frame(&lines, &shots);
    const double ms = NowMs() - t0;
    Drain(peer);
    if (i < kWarmUpFrames) continue;
    f.frames.push_back(ms);
    f.mostLines = std::max(f.mostLines, lines);
    f.mostShots = std::max(f.mostShots, shots);
  }
  f.memoryEnd = ResidentKiB();
  return f;
}

void Print(const char* name, const Figures& f) {
  std::printf("flood_%s_frame_median: %.3f ms\n", name, Percentile(f.frames, 50));
  std::printf("flood_%s_frame_p99: %.3f ms\n", name, Percentile(f.frames, 99));
  std::printf("flood_%s_frame_most: %.3f ms\n", name, Percentile(f.frames, 100));
  std::printf("flood_%s_console_lines: %zu lines\n", name, f.mostLines);
  std::printf("flood_%s_shots: %d shots\n", name, f.mostShots);
  std::printf("flood_%s_memory_growth: %ld KiB\n", name, f.memoryEnd - f.memoryStart);
}

// A listening socket of the test side on 127.0.0.1 at a port the system picks.
int Listen() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in a = loopback::Address(0);
  bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  listen(fd, 4);
  return fd;
}

void HostUnderFlood(platform::HeadlessPlatform& hp) {
  host::HostSession s;
  s.playerName = "Anna";
  const int32_t listening = NetServerCreate(0);
  const int peer = loopback::Connect(loopback::LocalPort(listening));
  for (int i = 0; i < 5; ++i) host::HostLobbyFrame(s);
  const std::string name = "name:Ben#";
  send(peer, name.data(), name.size(), MSG_NOSIGNAL);
  for (int i = 0; i < 5; ++i) host::HostLobbyFrame(s);
  Print("host_lobby_quiet", Run(hp, peer, "", [&](size_t* lines, int*) {
          host::HostLobbyFrame(s);
          *lines = s.console.lines.size();
        }));
  Print("host_lobby_ready", Run(hp, peer, "ready:Ben#", [&](size_t* lines, int*) {
          host::HostLobbyFrame(s);
          *lines = s.console.lines.size();
        }));
  // Enter starts the match with the flooding client.
  hp.SetKey(game::kKeyEnter, true);
  host::HostLobbyFrame(s);
  hp.SetKey(game::kKeyEnter, false);
  host::HostLobbyFrame(s);
  host::HostMatchBegin(s);
  Print("host_match_fire", Run(hp, peer, "winkel:90.000000:fire:#", [&](size_t*, int* shots) {
          host::HostMatchFrame(s);
          *shots = ListCount(s.match.shots);
        }));
  close(peer);
  NetServerClose();
}

void ClientUnderFlood(platform::HeadlessPlatform& hp) {
  join::JoinSession s;
  s.playerName = "Ben";
  s.addressText = "127.0.0.1";
  const int listener = Listen();
  s.connection = NetConnect("127.0.0.1", loopback::LocalPort(listener));
  s.link = join::Link::Connected;
  const int peer = accept(listener, nullptr, nullptr);
  const std::string welcome = "Welcome:SK:11:Anna#";
  send(peer, welcome.data(), welcome.size(), MSG_NOSIGNAL);
  for (int i = 0; i < 5; ++i) join::JoinLobbyFrame(s);
  Print("client_lobby_close", Run(hp, peer, "close:#", [&](size_t* lines, int*) {
          join::JoinLobbyFrame(s);
          *lines = s.console.lines.size();
        }));
  // The start, once the client has read the flood that fills the socket.
  const std::string start = "ready:Anna#";
  bool sent = false;
  for (int i = 0; i < 2000 && s.lobbyResult != join::kLobbyStartMatch; ++i) {
    if (!sent) sent = send(peer, start.data(), start.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0;
    join::JoinLobbyFrame(s);
  }
  join::JoinMatchBegin(s);
  Print("client_match_quiet", Run(hp, peer, "", [&](size_t*, int* shots) {
          join::JoinMatchFrame(s);
          *shots = ListCount(s.match.shots);
        }));
  Print("client_match_fire",
        Run(hp, peer, "plane:90.000000:400:300:100:100:fire:#", [&](size_t*, int* shots) {
          join::JoinMatchFrame(s);
          *shots = ListCount(s.match.shots);
        }));
  close(peer);
  close(listener);
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  platform::HeadlessPlatform& hp = platform::UseHeadless();
  hp.SetExecutablePath("/nonexistent/skirmora-host");
  ProgramStart(netplay::NetworkProgramHooks());
  if (!netplay::NetplayChecks()) {
    std::printf("startup failed\n");
    return 1;
  }
  netplay::NetplayOpenScreen();
  HostUnderFlood(hp);
  ClientUnderFlood(hp);
  ProgramRunEndHooks();
  return 0;
}
