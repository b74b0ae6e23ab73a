#pragma once
// A small TCP library over IPv4: a listening server with a table of client
// connections polled once per frame for one event at a time, an outgoing
// client connection polled for waiting data, raw receive, sending a text
// without terminator, closing, and the end-of-program clean-up.
//
// Connections are socket handles as signed 32-bit integers; 0 means "no
// connection" in results. Every operation that takes a connection does nothing
// (and reports failure) unless the value names a socket this library opened
// and has not closed yet, so stale or made-up numbers never touch sockets
// that belong to someone else.
//
// Nothing here raises SIGPIPE, and only NetConnect waits (NetConnectStart
// only for a host name's lookup): the listening socket, accepted connections
// and every receive and send are non-blocking.
// There is no message framing: the caller separates its own messages.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Results of NetServerEvent and NetClientEvent.
inline constexpr int32_t kNetEventNone = 0;
inline constexpr int32_t kNetEventConnect = 1;  // server only: a new client
inline constexpr int32_t kNetEventData = 2;     // bytes are waiting
inline constexpr int32_t kNetEventFile = 3;     // waiting bytes start with "QZMGSFLE"
inline constexpr int32_t kNetEventLost = 4;     // server only: a client went away

// Number of client slots in the server's table.
inline constexpr int32_t kNetMaxClients = 254;

// How long NetConnect waits for the peer to answer before giving up.
inline constexpr int32_t kNetConnectWaitMs = 10000;

// Starts the socket system (1 on success, 0 otherwise), marks all client slots
// free and sets the client count to 0. May be called again.
int32_t NetworkInit();

// Opens a listening server on all local IPv4 addresses at the given port
// (0 to 65535; 0 picks a free one). Returns the listening socket, or 0 when
// the port cannot be opened (for example because it is in use). A server
// opened before is closed first, with all its clients.
int32_t NetServerCreate(int32_t port);

// Polls the server for at most one event: first a new connection (1), then,
// slot by slot from the lowest, waiting data (2, or 3 for the file-transfer
// marker) or a lost client (4: the socket is closed and its slot freed). 0
// when nothing happened. Data stays queued until read with NetReceive, so an
// unread client is reported again on the next call. Clients in the table are
// still polled when only the listening socket was closed (with NetClose).
int32_t NetServerEvent();

// The connection the last non-zero NetServerEvent was about. After event 4 it
// still names the closed socket, so the caller can find its own record.
int32_t NetEventClient();

// Connects to a dotted IPv4 address or host name at the given port, waiting
// at most kNetConnectWaitMs. Returns the connection, or 0 (leaving no socket
// open) when the name cannot be resolved or the connection fails.
int32_t NetConnect(const std::string& host, int32_t port);

// Starts a connection to a dotted IPv4 address (or a host name, which is
// looked up first and may wait for the lookup) at the given port without
// waiting for the peer. Returns a pending connection (> 0), or 0 (leaving no
// socket open) when the address cannot be used or the attempt fails at once.
// A pending connection carries no data: NetReceive and NetSendString give -1
// and NetClientEvent 0 until NetConnectCheck has reported it connected.
// NetClose gives the attempt up; NetworkEnd closes pending connections too.
int32_t NetConnectStart(const std::string& host, int32_t port);

// Looks at a pending connection without waiting: 1 when it is connected (from
// then on it is an ordinary client connection, as NetConnect returns, with
// TCP_NODELAY set), 0 while the attempt is still going on, -1 when it failed
// (the socket is then closed and the handle forgotten) or the handle is
// unknown. The attempt has no time limit of its own beyond the system's; the
// caller gives up with NetClose. Any other open data connection gives 1, the
// listening socket -1 (it stays open).
int32_t NetConnectCheck(int32_t connection);

// Polls one connection for waiting data: 2 when bytes are waiting (3 when at
// least 8 are and they start with the file-transfer marker), else 0. A lost
// connection also reads as 0.
int32_t NetClientEvent(int32_t connection);

// One receive of at most buffer.size() bytes. Returns the number of bytes
// stored (no terminator is added), 0 when the peer has closed (or the buffer
// is empty), -1 on error, when nothing is waiting or for an unknown handle.
int32_t NetReceive(int32_t connection, std::span<uint8_t> buffer);

// Tells without waiting whether the peer of a data connection has gone: it
// closed its end and nothing it sent is left unread, or the connection was
// reset or broke. 1 when gone, 0 while it is open or bytes are still
// waiting, -1 for an unknown handle or one that carries no data.
int32_t NetPeerGone(int32_t connection);

// The IPv4 addresses of this machine's interfaces that are up, in the order
// the system lists them, without the loopback range 127.0.0.0/8 and without
// repeats, each in the dotted form. Only reads the interface list; nothing is
// sent. Empty when there is none or the list cannot be read.
std::vector<std::string> NetLocalAddresses();

// One send of the text's bytes up to its first NUL byte, with no length or
// terminator added and no retry. Returns the number of bytes the transport
// accepted (0 for an empty text), or -1; a peer that has gone only yields -1.
int32_t NetSendString(int32_t connection, const std::string& text);

// Closes a connection (a client of the server's table also leaves its slot,
// so its number can be reused safely). Unknown values, 0 and negative values
// do nothing.
void NetClose(int32_t connection);

// Closes every client connection of the server's table, then the listening
// socket.
void NetServerClose();

// The transport's own estimate of a connection's round trip, in
// microseconds (the kernel's smoothed figure); -1 for an unknown handle or
// when there is none. A relay between the two ends hides the true figure:
// the kernel sees only the way to the relay.
int32_t NetRoundTripUs(int32_t connection);

// Packs the IPv4 address a.b.c.d into one value with a in the lowest byte:
// a + b * 256 + c * 65536 + d * 16777216. The fields are added, not masked,
// so fields outside 0..255 spill into their neighbours.
int32_t NetMakeAddress(int32_t a, int32_t b, int32_t c, int32_t d);

// End hook: closes the server and every other connection still open, then
// ends the use of the socket system until the next NetworkInit.
void NetworkEnd();
