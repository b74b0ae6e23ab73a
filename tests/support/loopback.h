#pragma once
// Plain-socket helpers for tests that talk to the programs' network code over
// 127.0.0.1: the test side uses the system's sockets directly, so the code
// under test is checked against the system, not against itself.

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace loopback {

inline sockaddr_in Address(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// The local port of a socket (0 when it has none).
inline uint16_t LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) return 0;
  return ntohs(a.sin_port);
}

// A blocking socket connected to 127.0.0.1:port, or -1.
inline int Connect(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in a = Address(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Closes with a reset instead of the orderly end, as a peer that vanished.
inline void Reset(int fd) {
  const linger abort{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close(fd);
}

// Waits (up to a second) until at least `bytes` bytes are waiting to be read
// on a socket of this process. True when they are.
inline bool WaitUntilWaiting(int fd, size_t bytes) {
  for (int i = 0; i < 1000; ++i) {
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) == 0 && static_cast<size_t>(waiting) >= bytes) return true;
    usleep(1000);
  }
  return false;
}

// Waits (up to a second) until a socket of this process sees its peer's end
// (a close or a reset). True when it does.
inline bool WaitUntilEnded(int fd) {
  for (int i = 0; i < 1000; ++i) {
    pollfd p{fd, POLLRDHUP, 0};
    if (poll(&p, 1, 1) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) return true;
  }
  return false;
}

// Open file descriptors of this process.
inline int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the directory stream itself
}

}  // namespace loopback
