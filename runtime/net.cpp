#include "runtime/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

// What a socket this library opened is used for. A pending socket is an
// outgoing connection whose attempt has not finished yet.
enum class SocketKind { Listening, Slot, Client, Pending };

struct OwnedSocket {
  int fd;
  SocketKind kind;
};

struct NetState {
  bool started = false;
  int32_t listening = 0;                      // 0 when no server is open
  std::array<int32_t, kNetMaxClients> slots;  // client socket, or -1 when free
  int32_t clientCount = 0;
  int32_t lastEvent = 0;
  // Every socket the library opened and has not closed. Operations on a
  // handle look it up here first, so numbers the library does not own (or no
  // longer owns: the system reuses closed numbers at once) are never touched.
  std::vector<OwnedSocket> owned;

  NetState() { slots.fill(-1); }
};

NetState& State() {
  static NetState state;
  return state;
}

constexpr char kFileMarker[8] = {'Q', 'Z', 'M', 'G', 'S', 'F', 'L', 'E'};

OwnedSocket* FindOwned(int32_t handle) {
  if (handle <= 0) return nullptr;
  for (OwnedSocket& s : State().owned) {
    if (s.fd == handle) return &s;
  }
  return nullptr;
}

// The handle names an owned socket that carries data: neither the listening
// socket nor a connection still being attempted.
bool IsDataConnection(const OwnedSocket* o) {
  return o != nullptr && o->kind != SocketKind::Listening && o->kind != SocketKind::Pending;
}

void Forget(int fd) {
  auto& owned = State().owned;
  for (size_t i = 0; i < owned.size(); ++i) {
    if (owned[i].fd == fd) {
      owned.erase(owned.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

// Closes an owned socket and forgets it.
void CloseOwned(int fd) {
  Forget(fd);
  ::close(fd);
}

// Handle 0 means "no connection", so a socket must never get the number 0
// (possible when standard input is closed): move it to a higher number.
int KeepOffZero(int fd) {
  if (fd != 0) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
  ::close(fd);
  return moved;
}

int NewStreamSocket() {
  return KeepOffZero(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

void SetNoDelay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(fd, F_SETFL, wanted) == 0;
}

int32_t FreeSlot() {
  const auto& slots = State().slots;
  for (int32_t i = 0; i < kNetMaxClients; ++i) {
    if (slots[static_cast<size_t>(i)] == -1) return i;
  }
  return -1;
}

// Errors of a peek that mean the connection is gone for good.
bool IsLostError(int error) {
  return error == ECONNABORTED || error == ECONNRESET || error == ENOTCONN || error == EPIPE ||
         error == ESHUTDOWN || error == ETIMEDOUT;
}

// Waits until a non-blocking connect has finished or the wait is over.
bool FinishConnect(int fd) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kNetConnectWaitMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    return error == 0;
  }
}

// Finds the IPv4 address of a dotted address or host name and puts the port
// into it. False when the arguments cannot be used or the name is unknown.
bool LookUp(const std::string& host, int32_t port, sockaddr_in* address) {
  if (port < 0 || port > 65535 || host.empty()) return false;
  if (host.find('\0') != std::string::npos) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::memcpy(address, found->ai_addr, sizeof *address);
  ::freeaddrinfo(found);
  address->sin_port = htons(static_cast<uint16_t>(port));
  return true;
}

// Opens a non-blocking socket and starts connecting it. Returns the socket,
// or -1 (nothing left open) when the attempt failed at once. *connected
// tells whether it is connected already; otherwise the attempt goes on.
int StartConnect(const sockaddr_in& address, bool* connected) {
  const int fd = NewStreamSocket();
  if (fd < 0) return -1;
  // The connection is used with non-blocking calls only, so the attempt
  // runs non-blocking as well and can be waited for, polled or given up.
  if (!SetBlocking(fd, false)) {
    ::close(fd);
    return -1;
  }
  *connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!*connected && errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int32_t NetworkInit() {
  NetState& s = State();
  // POSIX sockets need no start-up; sends use MSG_NOSIGNAL, so no signal
  // handling has to change either.
  s.started = true;
  // Clients still in the table stay open and owned (NetClose and NetworkEnd
  // still close them) but are no longer polled.
  for (int32_t fd : s.slots) {
    if (fd == -1) continue;
    if (OwnedSocket* o = FindOwned(fd)) o->kind = SocketKind::Client;
  }
  s.slots.fill(-1);
  s.clientCount = 0;
  return 1;
}

int32_t NetServerCreate(int32_t port) {
  NetState& s = State();
  if (!s.started || port < 0 || port > 65535) return 0;
  NetServerClose();
  const int fd = NewStreamSocket();
  if (fd < 0) return 0;
  s.lastEvent = 0;
  s.clientCount = 0;

  // Address reuse lets a restarted host bind at once while connections of
  // its previous run linger; a port another program listens on stays refused.
  const int one = 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!SetBlocking(fd, false) ||
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 100) != 0) {
    ::close(fd);
    return 0;
  }
  SetNoDelay(fd);
  s.owned.push_back({fd, SocketKind::Listening});
  s.listening = fd;
  return fd;
}

int32_t NetServerEvent() {
  NetState& s = State();
  // Without a listening socket (it was closed on its own) there is nothing
  // to accept, but the clients already in the table are still polled.
  int fd = s.listening != 0 ? ::accept4(s.listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)
                            : -1;
  if (fd >= 0) {
    fd = KeepOffZero(fd);
    const int32_t slot = s.clientCount < kNetMaxClients ? FreeSlot() : -1;
    if (fd > 0 && slot >= 0) {
      SetNoDelay(fd);
      s.slots[static_cast<size_t>(slot)] = fd;
      s.owned.push_back({fd, SocketKind::Slot});
      ++s.clientCount;
      s.lastEvent = fd;
      return kNetEventConnect;
    }
    // The table is full: the newcomer is turned away at once.
    if (fd > 0) ::close(fd);
  }

  for (int32_t& fd_slot : s.slots) {
    if (fd_slot == -1) continue;
    const int32_t client = fd_slot;
    s.lastEvent = client;
    char peek[8];
    const ssize_t n = ::recv(client, peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
      const bool marker = n == 8 && std::memcmp(peek, kFileMarker, 8) == 0;
      return marker ? kNetEventFile : kNetEventData;
    }
    if (n == 0 || IsLostError(errno)) {
      CloseOwned(client);
      fd_slot = -1;
      --s.clientCount;
      return kNetEventLost;
    }
  }
  return kNetEventNone;
}

int32_t NetEventClient() {
  return State().lastEvent;
}

int32_t NetConnect(const std::string& host, int32_t port) {
  const int32_t connection = NetConnectStart(host, port);
  if (connection == 0) return 0;
  // Waits (bounded) for the attempt; the check then makes it a connection.
  if (NetConnectCheck(connection) == 0 && !FinishConnect(connection)) {
    NetClose(connection);
    return 0;
  }
  return NetConnectCheck(connection) == 1 ? connection : 0;
}

int32_t NetConnectStart(const std::string& host, int32_t port) {
  NetState& s = State();
  sockaddr_in address{};
  if (!s.started || !LookUp(host, port, &address)) return 0;
  bool connected = false;
  const int fd = StartConnect(address, &connected);
  if (fd < 0) return 0;
  if (connected) SetNoDelay(fd);
  s.owned.push_back({fd, connected ? SocketKind::Client : SocketKind::Pending});
  return fd;
}

int32_t NetConnectCheck(int32_t connection) {
  OwnedSocket* o = FindOwned(connection);
  if (o == nullptr || o->kind == SocketKind::Listening) return -1;
  if (o->kind != SocketKind::Pending) return 1;
  pollfd p{connection, POLLOUT, 0};
  const int ready = ::poll(&p, 1, 0);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
  // Finished one way or the other: the socket's pending error tells which.
  int error = 0;
  socklen_t length = sizeof error;
  if (ready < 0 || ::getsockopt(connection, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
      error != 0 || (p.revents & POLLOUT) == 0) {
    CloseOwned(connection);
    return -1;
  }
  SetNoDelay(connection);
  o->kind = SocketKind::Client;
  return 1;
}

int32_t NetClientEvent(int32_t connection) {
  if (!IsDataConnection(FindOwned(connection))) return kNetEventNone;
  int waiting = 0;
  if (::ioctl(connection, FIONREAD, &waiting) != 0 || waiting <= 0) return kNetEventNone;
  if (waiting >= 8) {
    char peek[8];
    if (::recv(connection, peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT) == 8 &&
        std::memcmp(peek, kFileMarker, 8) == 0) {
      return kNetEventFile;
    }
  }
  return kNetEventData;
}

int32_t NetReceive(int32_t connection, std::span<uint8_t> buffer) {
  if (!IsDataConnection(FindOwned(connection))) return -1;
  if (buffer.empty()) return 0;
  // The count is returned as a signed 32-bit value, so one receive takes at
  // most that many bytes.
  const size_t length = std::min(buffer.size(), static_cast<size_t>(INT32_MAX));
  const ssize_t n = ::recv(connection, buffer.data(), length, MSG_DONTWAIT);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t NetPeerGone(int32_t connection) {
  if (!IsDataConnection(FindOwned(connection))) return -1;
  char peek;
  const ssize_t n = ::recv(connection, &peek, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) return 0;
  // A reset is reported once, by the first receive after it; from then on
  // the connection reads as closed.
  return n == 0 || IsLostError(errno) ? 1 : 0;
}

std::vector<std::string> NetLocalAddresses() {
  std::vector<std::string> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    const in_addr address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
    if ((ntohl(address.s_addr) >> 24) == 127) continue;
    char text[INET_ADDRSTRLEN];
    if (::inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) continue;
    if (std::find(found.begin(), found.end(), text) == found.end()) found.emplace_back(text);
  }
  ::freeifaddrs(list);
  return found;
}

int32_t NetSendString(int32_t connection, const std::string& text) {
  if (!IsDataConnection(FindOwned(connection))) return -1;
  const size_t length = ::strnlen(text.data(), text.size());
  if (length == 0) return 0;
  const ssize_t n = ::send(connection, text.data(), length, MSG_NOSIGNAL | MSG_DONTWAIT);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

void NetClose(int32_t connection) {
  NetState& s = State();
  const OwnedSocket* o = FindOwned(connection);
  if (o == nullptr) return;
  if (o->kind == SocketKind::Listening) {
    s.listening = 0;
  } else if (o->kind == SocketKind::Slot) {
    for (int32_t& slot : s.slots) {
      if (slot == connection) {
        slot = -1;
        --s.clientCount;
      }
    }
  }
  CloseOwned(connection);
}

void NetServerClose() {
  NetState& s = State();
  for (int32_t& slot : s.slots) {
    if (slot == -1) continue;
    CloseOwned(slot);
    slot = -1;
  }
  s.clientCount = 0;
  if (s.listening != 0) {
    CloseOwned(s.listening);
    s.listening = 0;
  }
}

int32_t NetRoundTripUs(int32_t connection) {
  const OwnedSocket* socket = FindOwned(connection);
  if (socket == nullptr || socket->kind == SocketKind::Listening) return -1;
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(socket->fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return -1;
  if (info.tcpi_state != TCP_ESTABLISHED) return -1;
  return static_cast<int32_t>(std::min<uint32_t>(info.tcpi_rtt, INT32_MAX));
}

int32_t NetMakeAddress(int32_t a, int32_t b, int32_t c, int32_t d) {
  // The fields are added, not masked; the sum wraps modulo 2^32.
  const uint32_t v = static_cast<uint32_t>(a) + static_cast<uint32_t>(b) * 256u +
                     static_cast<uint32_t>(c) * 65536u + static_cast<uint32_t>(d) * 16777216u;
  return static_cast<int32_t>(v);
}

void NetworkEnd() {
  NetState& s = State();
  NetServerClose();
  while (!s.owned.empty()) CloseOwned(s.owned.back().fd);
  s.lastEvent = 0;
  s.started = false;
}
