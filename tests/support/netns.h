#pragma once
// A network namespace of a test's own, for tests that start the real network
// programs: they listen on the fixed game port, so two runs on one machine
// (or two tests at once) would otherwise meet there.

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace netns {

// Moves this test process, and with it every program it starts afterwards,
// into a network namespace of its own whose only interface is loopback,
// brought up. Each ctest test runs in a process of its own, so no two runs
// meet on the game port. Done once per process. False when the system does
// not allow it (no privilege for namespaces): the test then runs in the
// machine's namespace.
inline bool EnterOwnNetwork() {
  static const bool entered = [] {
    if (unshare(CLONE_NEWNET) != 0) return false;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0) close(fd);
    return up;
  }();
  return entered;
}

}  // namespace netns
