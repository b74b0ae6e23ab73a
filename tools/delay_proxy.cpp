// A test tool, not part of the game: a relay for one connection at a time
// that holds back every chunk it passes on by a one-way delay and a jitter
// drawn evenly from -jitter to +jitter, in each direction, keeping the order
// of the bytes as TCP does. It listens on a loopback TCP port or on a Unix
// socket path and connects on to the other, so that the network programs can
// be tried over a slow line on one machine: the host and the relay's far end
// in one network namespace, the join program and the relay's near end in
// another, the two joined through the Unix socket.
//
//   tool_delay_proxy LISTEN CONNECT [DELAY_MS [JITTER_MS [SEED]]]
//   LISTEN and CONNECT: tcp:PORT (127.0.0.1 only) or unix:PATH
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

struct Endpoint {
  bool isUnix = false;
  int port = 0;
  std::string path;
};

bool ParseEndpoint(const std::string& text, Endpoint* out) {
  if (text.rfind("tcp:", 0) == 0) {
    out->isUnix = false;
    out->port = std::atoi(text.c_str() + 4);
    return out->port > 0 && out->port < 65536;
  }
  if (text.rfind("unix:", 0) == 0) {
    out->isUnix = true;
    out->path = text.substr(5);
    return !out->path.empty() && out->path.size() < sizeof(sockaddr_un::sun_path);
  }
  return false;
}

int Listen(const Endpoint& e) {
  const int fd = ::socket(e.isUnix ? AF_UNIX : AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  int result = -1;
  if (e.isUnix) {
    ::unlink(e.path.c_str());
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, e.path.c_str(), sizeof a.sun_path - 1);
    result = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(e.port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    result = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  if (result != 0 || ::listen(fd, 4) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int Connect(const Endpoint& e) {
  const int fd = ::socket(e.isUnix ? AF_UNIX : AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  int result = -1;
  if (e.isUnix) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, e.path.c_str(), sizeof a.sun_path - 1);
    result = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(e.port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    result = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  if (result != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

double NowMs() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

// One direction: chunks read from `from`, written to `to` when due.
struct Direction {
  int from = -1;
  int to = -1;
  std::deque<std::pair<double, std::string>> due;
  double lastDue = 0.0;
  bool closed = false;  // `from` reached its end: pass the end on once drained
  bool ended = false;   // and it was passed on
};

void Relay(int a, int b, double delayMs, double jitterMs, std::mt19937& random) {
  Direction dirs[2];
  dirs[0].from = a;
  dirs[0].to = b;
  dirs[1].from = b;
  dirs[1].to = a;
  std::uniform_real_distribution<double> spread(-jitterMs, jitterMs);
  for (;;) {
    const double now = NowMs();
    bool done = true;
    double next = now + 1000.0;
    for (Direction& d : dirs) {
      while (!d.due.empty() && d.due.front().first <= now) {
        const std::string& text = d.due.front().second;
        if (::send(d.to, text.data(), text.size(), MSG_NOSIGNAL) < 0) return;
        d.due.pop_front();
      }
      if (d.closed && d.due.empty() && !d.ended) {
        ::shutdown(d.to, SHUT_WR);
        d.ended = true;
      }
      if (!d.due.empty()) next = std::min(next, d.due.front().first);
      if (!d.closed || !d.due.empty()) done = false;
    }
    if (done) return;
    pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    if (dirs[0].closed) p[0].fd = -1;
    if (dirs[1].closed) p[1].fd = -1;
    const int wait = std::max(0, static_cast<int>(next - NowMs()));
    if (::poll(p, 2, wait) < 0) return;
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || (p[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char buffer[4096];
      const ssize_t n = ::recv(p[i].fd, buffer, sizeof buffer, 0);
      Direction& d = dirs[i];
      if (n <= 0) {
        d.closed = true;
        continue;
      }
      double at = NowMs() + std::max(0.0, delayMs + (jitterMs > 0.0 ? spread(random) : 0.0));
      at = std::max(at, d.lastDue);  // order is kept
      d.lastDue = at;
      d.due.push_back({at, std::string(buffer, static_cast<size_t>(n))});
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Endpoint listenAt;
  Endpoint connectTo;
  if (argc < 3 || !ParseEndpoint(argv[1], &listenAt) || !ParseEndpoint(argv[2], &connectTo)) {
    std::fprintf(stderr,
                 "usage: %s tcp:PORT|unix:PATH tcp:PORT|unix:PATH [DELAY_MS [JITTER_MS [SEED]]]\n",
                 argv[0]);
    return 2;
  }
  const double delayMs = argc > 3 ? std::atof(argv[3]) : 0.0;
  const double jitterMs = argc > 4 ? std::atof(argv[4]) : 0.0;
  std::mt19937 random(argc > 5 ? static_cast<uint32_t>(std::atoi(argv[5])) : 1u);
  std::signal(SIGPIPE, SIG_IGN);
  const int server = Listen(listenAt);
  if (server < 0) {
    std::perror("listen");
    return 1;
  }
  for (;;) {
    const int near = ::accept(server, nullptr, nullptr);
    if (near < 0) continue;
    if (!listenAt.isUnix) {
      int one = 1;
      ::setsockopt(near, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    const int far = Connect(connectTo);
    if (far < 0) {
      ::close(near);
      continue;
    }
    Relay(near, far, delayMs, jitterMs, random);
    ::close(near);
    ::close(far);
  }
}
