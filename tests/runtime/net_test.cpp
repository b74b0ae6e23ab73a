#include "runtime/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/loopback.h"

// Every peer in these tests is on 127.0.0.1.
namespace {

using loopback::Connect;
using loopback::LocalPort;
using loopback::OpenDescriptorCount;

using Clock = std::chrono::steady_clock;

// A listening socket on 127.0.0.1 at a free port.
int RawListen(int backlog) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in a = loopback::Address(0);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void RawSend(int fd, const std::string& text) {
  ASSERT_EQ(send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
}

// What arrives on a test socket within a short wait ("" when nothing does;
// "<eof>" when the peer has closed).
std::string RawRead(int fd, int waitMs = 2000) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, waitMs) <= 0) return "";
  char buffer[512];
  const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n == 0) return "<eof>";
  if (n < 0) return "<error>";
  return std::string(buffer, static_cast<size_t>(n));
}

bool IsOpen(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

// Polls the server until it reports something. Loopback delivers at once, so
// the wait only guards against a slow machine.
int32_t NextServerEvent() {
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  for (;;) {
    const int32_t event = NetServerEvent();
    if (event != kNetEventNone || Clock::now() > deadline) return event;
    usleep(1000);
  }
}

int32_t NextClientEvent(int32_t connection) {
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  for (;;) {
    const int32_t event = NetClientEvent(connection);
    if (event != kNetEventNone || Clock::now() > deadline) return event;
    usleep(1000);
  }
}

std::string Receive(int32_t connection, size_t length) {
  std::vector<uint8_t> buffer(length);
  const int32_t n = NetReceive(connection, buffer);
  if (n <= 0) return n == 0 ? "<eof>" : "<none>";
  return std::string(buffer.begin(), buffer.begin() + n);
}

class Net : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = OpenDescriptorCount();
    ASSERT_EQ(NetworkInit(), 1);
  }
  void TearDown() override {
    NetworkEnd();
    for (int fd : raw_) close(fd);
  }

  // Opens the library's server on a free port; returns the port.
  uint16_t StartServer() {
    server_ = NetServerCreate(0);
    EXPECT_GT(server_, 0);
    return LocalPort(server_);
  }

  int Client(uint16_t port) {
    const int fd = Connect(port);
    EXPECT_GE(fd, 0);
    raw_.push_back(fd);
    return fd;
  }

  // A test client connected to the server and accepted by one poll.
  int32_t Accepted(uint16_t port, int* rawClient) {
    *rawClient = Client(port);
    EXPECT_EQ(NextServerEvent(), kNetEventConnect);
    return NetEventClient();
  }

  void CloseRaw(int fd) {
    close(fd);
    std::erase(raw_, fd);
  }

  int baseline_ = 0;
  int32_t server_ = 0;
  std::vector<int> raw_;
};

TEST_F(Net, ServerReportsOneEventPerPollNewcomersFirstThenLowestSlot) {
  const uint16_t port = StartServer();
  const int a = Client(port);
  const int b = Client(port);
  RawSend(b, "hi");

  // Both connections come before any data, in the order they arrived.
  ASSERT_EQ(NextServerEvent(), kNetEventConnect);
  const int32_t ca = NetEventClient();
  ASSERT_EQ(NextServerEvent(), kNetEventConnect);
  const int32_t cb = NetEventClient();
  EXPECT_NE(ca, cb);
  EXPECT_EQ(NetSendString(ca, "to-a"), 4);
  EXPECT_EQ(RawRead(a), "to-a");

  // Unread data is reported again and again.
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(NextServerEvent(), kNetEventData);
    EXPECT_EQ(NetEventClient(), cb);
  }
  // The lower slot wins once it has data too.
  RawSend(a, "x");
  ASSERT_EQ(NextServerEvent(), kNetEventData);
  EXPECT_EQ(NetEventClient(), ca);
  EXPECT_EQ(Receive(ca, 100), "x");
  ASSERT_EQ(NextServerEvent(), kNetEventData);
  EXPECT_EQ(NetEventClient(), cb);
  EXPECT_EQ(Receive(cb, 100), "hi");
  EXPECT_EQ(NetServerEvent(), kNetEventNone);
  // Accepted connections never wait: nothing queued reads as -1.
  EXPECT_EQ(NetReceive(ca, std::span<uint8_t>()), 0);
  EXPECT_EQ(Receive(ca, 100), "<none>");
}

TEST_F(Net, FileMarkerIsReportedOnlyForAllEightBytes) {
  const uint16_t port = StartServer();
  int raw = -1;
  const int32_t c = Accepted(port, &raw);
  RawSend(raw, "QZMGSFL");
  EXPECT_EQ(NextServerEvent(), kNetEventData);
  RawSend(raw, "E and more");
  usleep(20000);
  EXPECT_EQ(NextServerEvent(), kNetEventFile);
  EXPECT_EQ(Receive(c, 100), "QZMGSFLE and more");

  // The same on a connection made by NetConnect.
  const int32_t out = NetConnect("127.0.0.1", port);
  ASSERT_GT(out, 0);
  ASSERT_EQ(NextServerEvent(), kNetEventConnect);
  const int32_t in = NetEventClient();
  EXPECT_EQ(NetClientEvent(out), kNetEventNone);
  EXPECT_EQ(NetSendString(in, "QZMG"), 4);
  EXPECT_EQ(NextClientEvent(out), kNetEventData);
  EXPECT_EQ(NetSendString(in, "SFLE"), 4);
  usleep(20000);
  EXPECT_EQ(NetClientEvent(out), kNetEventFile);
  EXPECT_EQ(Receive(out, 100), "QZMGSFLE");
  EXPECT_EQ(NetClientEvent(out), kNetEventNone);
}

TEST_F(Net, ClientAndServerTalkAndReceivePartially) {
  const uint16_t port = StartServer();
  const int32_t out = NetConnect("127.0.0.1", port);
  ASSERT_GT(out, 0);
  ASSERT_EQ(NextServerEvent(), kNetEventConnect);
  const int32_t in = NetEventClient();

  int one = 0;
  socklen_t length = sizeof one;
  ASSERT_EQ(getsockopt(in, IPPROTO_TCP, TCP_NODELAY, &one, &length), 0);
  EXPECT_NE(one, 0);
  ASSERT_EQ(getsockopt(out, IPPROTO_TCP, TCP_NODELAY, &one, &length), 0);
  EXPECT_NE(one, 0);

  // Sends stop at the first NUL byte and add nothing; an empty text sends
  // nothing at all.
  EXPECT_EQ(NetSendString(out, ""), 0);
  EXPECT_EQ(NetSendString(out, std::string("HELLO\0ignored", 13)), 5);
  EXPECT_EQ(NetSendString(out, "WORLD#"), 6);
  usleep(20000);
  ASSERT_EQ(NextServerEvent(), kNetEventData);

  // A short buffer takes the first bytes and leaves the rest queued; nothing
  // is written past what was received.
  std::array<uint8_t, 8> buffer;
  buffer.fill(0xAA);
  ASSERT_EQ(NetReceive(in, std::span(buffer).first(4)), 4);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "HELL");
  EXPECT_EQ(buffer[4], 0xAA);
  EXPECT_EQ(NetServerEvent(), kNetEventData);
  EXPECT_EQ(Receive(in, 100), "OWORLD#");
  EXPECT_EQ(NetServerEvent(), kNetEventNone);

  // The other way, and the client's receive does not wait either.
  EXPECT_EQ(NetSendString(in, "welcome"), 7);
  ASSERT_EQ(NextClientEvent(out), kNetEventData);
  EXPECT_EQ(Receive(out, 3), "wel");
  EXPECT_EQ(Receive(out, 100), "come");
  EXPECT_EQ(NetClientEvent(out), kNetEventNone);
  EXPECT_EQ(Receive(out, 100), "<none>");

  // Both ends have the transport's round trip once bytes went both ways (a
  // fraction of a millisecond over loopback); other handles have none.
  EXPECT_GE(NetRoundTripUs(out), 0);
  EXPECT_LT(NetRoundTripUs(out), 1000000);
  EXPECT_GE(NetRoundTripUs(in), 0);
  EXPECT_EQ(NetRoundTripUs(0), -1);
  EXPECT_EQ(NetRoundTripUs(987654), -1);
}

TEST_F(Net, PeerClosingIsReportedOnceAndSendsToItFailSilently) {
  std::signal(SIGPIPE, SIG_DFL);  // a stray SIGPIPE would end the test program
  const uint16_t port = StartServer();
  int rawA = -1;
  int rawB = -1;
  const int32_t a = Accepted(port, &rawA);
  const int32_t b = Accepted(port, &rawB);
  RawSend(rawB, "pending");

  CloseRaw(rawA);
  usleep(20000);
  // A connection reset by the peer while the server still writes to it.
  for (int i = 0; i < 5; ++i) EXPECT_LE(NetSendString(a, "after close"), 11);
  EXPECT_EQ(NetSendString(a, "after close"), -1);

  ASSERT_EQ(NextServerEvent(), kNetEventLost);
  EXPECT_EQ(NetEventClient(), a);
  // Its socket is closed and gone from the table: only b is left.
  EXPECT_EQ(NetSendString(a, "x"), -1);
  EXPECT_EQ(NetServerEvent(), kNetEventData);
  EXPECT_EQ(NetEventClient(), b);
  EXPECT_EQ(Receive(b, 100), "pending");
  EXPECT_EQ(NetServerEvent(), kNetEventNone);

  // A peer that aborts (reset instead of an orderly close) is lost as well.
  const linger abort{1, 0};
  ASSERT_EQ(setsockopt(rawB, SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
  CloseRaw(rawB);
  usleep(20000);
  ASSERT_EQ(NetServerEvent(), kNetEventLost);
  EXPECT_EQ(NetEventClient(), b);
  EXPECT_EQ(NetServerEvent(), kNetEventNone);

  // The client side never reports a lost host; sending there fails silently.
  const int listener = RawListen(1);
  raw_.push_back(listener);
  const int32_t out = NetConnect("127.0.0.1", LocalPort(listener));
  ASSERT_GT(out, 0);
  const int host = accept(listener, nullptr, nullptr);
  ASSERT_GE(host, 0);
  close(host);
  usleep(20000);
  for (int i = 0; i < 5; ++i) NetSendString(out, "heading");
  EXPECT_EQ(NetSendString(out, "heading"), -1);
  EXPECT_EQ(NetClientEvent(out), kNetEventNone);
}

TEST_F(Net, PeerGoneOnlyOnceEverythingItSentIsRead) {
  const uint16_t port = StartServer();
  int raw = -1;
  const int32_t a = Accepted(port, &raw);
  EXPECT_EQ(NetPeerGone(a), 0);
  RawSend(raw, "last#");
  CloseRaw(raw);
  usleep(20000);
  EXPECT_EQ(NetPeerGone(a), 0);  // its last bytes are still waiting
  EXPECT_EQ(Receive(a, 100), "last#");
  EXPECT_EQ(NetPeerGone(a), 1);
  // A reset is gone too, also once the receive has reported it.
  int rawB = -1;
  const int32_t b = Accepted(port, &rawB);
  const linger abort{1, 0};
  ASSERT_EQ(setsockopt(rawB, SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
  CloseRaw(rawB);
  usleep(20000);
  uint8_t buffer[8];
  EXPECT_EQ(NetReceive(b, buffer), -1);
  EXPECT_EQ(NetPeerGone(b), 1);
  EXPECT_EQ(NetPeerGone(12345), -1);
}

TEST_F(Net, LocalAddressesAreDottedAndNeverLoopback) {
  for (const std::string& address : NetLocalAddresses()) {
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
    EXPECT_FALSE(address.starts_with("127.")) << address;
  }
}

TEST_F(Net, TableHolds254ClientsAndFreedSlotsAreReused) {
  const uint16_t port = StartServer();
  std::vector<int> raws;
  std::vector<int32_t> conns;
  for (int i = 0; i < kNetMaxClients; ++i) {
    int raw = -1;
    conns.push_back(Accepted(port, &raw));
    raws.push_back(raw);
    ASSERT_GT(conns.back(), 0) << i;
  }
  // A newcomer to a full table is turned away, unreported.
  const int extra = Client(port);
  EXPECT_EQ(NetServerEvent(), kNetEventNone);
  EXPECT_EQ(RawRead(extra), "<eof>");

  // A client that leaves frees its slot for the next one, which then takes
  // the lowest free slot: its data is reported before that of higher slots.
  CloseRaw(raws[100]);
  ASSERT_EQ(NextServerEvent(), kNetEventLost);
  EXPECT_EQ(NetEventClient(), conns[100]);
  int fresh = -1;
  const int32_t freshConn = Accepted(port, &fresh);
  RawSend(raws[200], "high");
  RawSend(fresh, "low");
  ASSERT_EQ(NextServerEvent(), kNetEventData);
  EXPECT_EQ(NetEventClient(), freshConn);

  // Dropping a client by hand frees its slot too.
  NetClose(conns[5]);
  EXPECT_EQ(RawRead(raws[5]), "<eof>");
  int another = -1;
  EXPECT_GT(Accepted(port, &another), 0);
  EXPECT_EQ(NetServerEvent(), kNetEventData);  // fresh, still unread

  // Closing only the listening socket stops new arrivals, not the polling of
  // the clients already in the table.
  NetClose(server_);
  EXPECT_EQ(Receive(freshConn, 100), "low");
  EXPECT_EQ(NextServerEvent(), kNetEventData);
  EXPECT_EQ(NetEventClient(), conns[200]);
}

TEST_F(Net, ConnectFailsQuicklyAndCleanly) {
  // A port nobody listens on: bind one, note it, give it back.
  const int probe = RawListen(1);
  const uint16_t port = LocalPort(probe);
  close(probe);

  const int before = OpenDescriptorCount();
  const auto start = Clock::now();
  EXPECT_EQ(NetConnect("127.0.0.1", port), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(NetConnect("", port), 0);
  EXPECT_EQ(NetConnect("127.0.0.1", -1), 0);
  EXPECT_EQ(NetConnect("127.0.0.1", 70000), 0);
  EXPECT_EQ(NetConnect(std::string("127.0.0.1\0x", 11), port), 0);
  EXPECT_EQ(OpenDescriptorCount(), before);

  // A host name resolves too.
  const int listener = RawListen(1);
  raw_.push_back(listener);
  EXPECT_GT(NetConnect("localhost", LocalPort(listener)), 0);
}

TEST_F(Net, ConnectGivesUpAfterABoundedWait) {
  // A listener whose queue is full drops further attempts without an answer.
  const int listener = RawListen(0);
  raw_.push_back(listener);
  const uint16_t port = LocalPort(listener);
  for (int i = 0; i < 4; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const sockaddr_in a = loopback::Address(port);
    connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    raw_.push_back(fd);
  }
  usleep(50000);
  const int before = OpenDescriptorCount();
  const auto start = Clock::now();
  EXPECT_EQ(NetConnect("127.0.0.1", port), 0);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(kNetConnectWaitMs - 100));
  EXPECT_LT(waited, std::chrono::milliseconds(kNetConnectWaitMs + 5000));
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// Polls a pending connection until its attempt has finished (0 when it has
// not within two seconds).
int32_t CheckUntilDone(int32_t connection) {
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  int32_t state = NetConnectCheck(connection);
  for (; state == 0 && Clock::now() < deadline; usleep(1000)) state = NetConnectCheck(connection);
  return state;
}

TEST_F(Net, ConnectStartCarriesNoDataUntilCheckedConnected) {
  const uint16_t port = StartServer();
  const int32_t out = NetConnectStart("localhost", port);
  ASSERT_GT(out, 0);
  // Pending until a check has seen it through, even when the peer answered.
  ASSERT_EQ(NextServerEvent(), kNetEventConnect);
  const int32_t in = NetEventClient();
  EXPECT_EQ(NetSendString(in, "WELCOME"), 7);
  usleep(20000);
  EXPECT_EQ(NetClientEvent(out), kNetEventNone);
  EXPECT_EQ(Receive(out, 100), "<none>");
  EXPECT_EQ(NetSendString(out, "x"), -1);
  ASSERT_EQ(CheckUntilDone(out), 1);
  EXPECT_EQ(NetConnectCheck(out), 1);
  int one = 0;
  socklen_t length = sizeof one;
  ASSERT_EQ(getsockopt(out, IPPROTO_TCP, TCP_NODELAY, &one, &length), 0);
  EXPECT_NE(one, 0);
  EXPECT_EQ(NetClientEvent(out), kNetEventData);
  EXPECT_EQ(Receive(out, 100), "WELCOME");
  EXPECT_EQ(NetSendString(out, "HELLO"), 5);
  ASSERT_EQ(NextServerEvent(), kNetEventData);
  EXPECT_EQ(Receive(in, 100), "HELLO");
}

TEST_F(Net, ConnectStartFailsOrIsGivenUpWithoutLeavingSockets) {
  const int probe = RawListen(1);
  const uint16_t closedPort = LocalPort(probe);
  close(probe);
  const int before = OpenDescriptorCount();
  const int32_t refused = NetConnectStart("127.0.0.1", closedPort);
  EXPECT_TRUE(refused == 0 || CheckUntilDone(refused) == -1);  // refused at once or later
  EXPECT_EQ(NetConnectCheck(refused), -1);
  EXPECT_EQ(NetConnectStart("127.0.0.1", 65536), 0);
  EXPECT_EQ(OpenDescriptorCount(), before);

  const int listener = RawListen(1);
  raw_.push_back(listener);
  const int32_t abandoned = NetConnectStart("127.0.0.1", LocalPort(listener));
  ASSERT_GT(abandoned, 0);
  NetClose(abandoned);
  EXPECT_EQ(NetConnectCheck(abandoned), -1);
  ASSERT_GT(NetConnectStart("127.0.0.1", LocalPort(listener)), 0);
  NetworkEnd();  // gives up pending attempts too
  EXPECT_EQ(OpenDescriptorCount(), before + 1);
}

TEST_F(Net, ServerPortInUseAndRestartOnTheSamePort) {
  const int taken = RawListen(1);
  raw_.push_back(taken);
  const int before = OpenDescriptorCount();
  EXPECT_EQ(NetServerCreate(LocalPort(taken)), 0);
  EXPECT_EQ(NetServerCreate(-1), 0);
  EXPECT_EQ(NetServerCreate(65536), 0);
  EXPECT_EQ(OpenDescriptorCount(), before);

  // The host closing first leaves its side of the connection lingering; a
  // restarted server binds the same port at once all the same.
  const uint16_t port = StartServer();
  int raw = -1;
  Accepted(port, &raw);
  NetServerClose();
  EXPECT_EQ(RawRead(raw), "<eof>");
  EXPECT_GT(NetServerCreate(port), 0);
  EXPECT_EQ(NetServerEvent(), kNetEventNone);

  // A second server replaces the first, which stops listening.
  const int32_t first = NetServerCreate(port);
  ASSERT_GT(first, 0);
  const int32_t second = NetServerCreate(0);
  ASSERT_GT(second, 0);
  EXPECT_LT(Connect(port), 0);
}

TEST_F(Net, NetworkEndClosesEverything) {
  const uint16_t port = StartServer();
  int rawA = -1;
  int rawB = -1;
  Accepted(port, &rawA);
  const int32_t b = Accepted(port, &rawB);
  const int listener = RawListen(1);
  raw_.push_back(listener);
  const int32_t out = NetConnect("127.0.0.1", LocalPort(listener));
  ASSERT_GT(out, 0);
  const int host = accept(listener, nullptr, nullptr);
  raw_.push_back(host);

  NetworkEnd();
  EXPECT_EQ(RawRead(rawA), "<eof>");
  EXPECT_EQ(RawRead(rawB), "<eof>");
  EXPECT_EQ(RawRead(host), "<eof>");
  EXPECT_LT(Connect(port), 0);
  EXPECT_EQ(OpenDescriptorCount(), baseline_ + static_cast<int>(raw_.size()));
  EXPECT_EQ(NetServerEvent(), kNetEventNone);
  EXPECT_EQ(NetSendString(b, "x"), -1);
  // Nothing opens until the socket system is started again.
  EXPECT_EQ(NetServerCreate(port), 0);
  EXPECT_EQ(NetConnect("127.0.0.1", LocalPort(listener)), 0);
  ASSERT_EQ(NetworkInit(), 1);
  EXPECT_GT(NetServerCreate(port), 0);
}

TEST_F(Net, StartingAgainEmptiesTheTableButKeepsConnectionsClosable) {
  const uint16_t port = StartServer();
  int raw = -1;
  const int32_t old = Accepted(port, &raw);
  RawSend(raw, "unread");
  ASSERT_EQ(NetworkInit(), 1);
  // The server still listens, but the old client is no longer polled.
  EXPECT_EQ(NetServerEvent(), kNetEventNone);
  int fresh = -1;
  EXPECT_NE(Accepted(port, &fresh), old);
  EXPECT_EQ(Receive(old, 100), "unread");
  NetClose(old);
  EXPECT_EQ(RawRead(raw), "<eof>");
}

TEST_F(Net, HandlesTheLibraryDoesNotOwnAreLeftAlone) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  raw_.push_back(pair[0]);
  raw_.push_back(pair[1]);
  RawSend(pair[1], "mine");

  for (int32_t h : {0, -1, -2, -2147483647 - 1, 1, 2, pair[0], 123456, 2147483647}) {
    NetClose(h);
    EXPECT_EQ(NetClientEvent(h), kNetEventNone) << h;
    EXPECT_EQ(Receive(h, 10), "<none>") << h;
    EXPECT_EQ(NetSendString(h, "x"), -1) << h;
    EXPECT_EQ(NetConnectCheck(h), -1) << h;
  }
  EXPECT_TRUE(IsOpen(1));
  EXPECT_TRUE(IsOpen(2));
  EXPECT_TRUE(IsOpen(pair[0]));
  EXPECT_EQ(RawRead(pair[0]), "mine");  // nothing consumed
  EXPECT_EQ(RawRead(pair[1], 50), "");  // nothing sent

  // A closed connection's number, reused by someone else, is not the
  // library's any more.
  const int listener = RawListen(1);
  raw_.push_back(listener);
  const int32_t out = NetConnect("127.0.0.1", LocalPort(listener));
  ASSERT_GT(out, 0);
  NetClose(out);
  const int reused = socket(AF_INET, SOCK_STREAM, 0);
  raw_.push_back(reused);
  ASSERT_EQ(reused, out);
  NetClose(out);
  EXPECT_TRUE(IsOpen(reused));

  // The listening socket is not a data connection.
  const int32_t server = NetServerCreate(0);
  ASSERT_GT(server, 0);
  EXPECT_EQ(Receive(server, 10), "<none>");
  EXPECT_EQ(NetSendString(server, "x"), -1);
  EXPECT_EQ(NetClientEvent(server), kNetEventNone);
  EXPECT_EQ(NetConnectCheck(server), -1);
  EXPECT_TRUE(IsOpen(server));
}

TEST(NetAddress, PacksFirstFieldLowest) {
  EXPECT_EQ(NetMakeAddress(127, 0, 0, 1), 127 + 16777216);
  EXPECT_EQ(NetMakeAddress(192, 168, 1, 20), 192 + 168 * 256 + 1 * 65536 + 20 * 16777216);
  EXPECT_EQ(NetMakeAddress(255, 255, 255, 255), -1);
  // Added, not masked: out-of-range fields carry into the next byte.
  EXPECT_EQ(NetMakeAddress(256 + 1, -1, 0, 0), 1);
  EXPECT_EQ(NetMakeAddress(0, 256, 0, 0), 65536);
}

}  // namespace
