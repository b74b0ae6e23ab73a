#pragma once
// Splits the byte stream of one connection into messages. Bytes arrive in
// whatever pieces the transport delivers: several messages in one read, or a
// message cut across two reads. The reader keeps the unfinished tail until
// its "#" arrives and queues every complete message in arrival order, so no
// message is lost or joined to its neighbour.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

namespace netplay {

// Longer than any message the programs send (a plane state is at most 39
// bytes); an unfinished message past this length is dropped, so a peer that
// never sends "#" cannot make the reader grow without bound.
constexpr size_t kLongestMessage = 1024;

// Most complete messages a reader holds. Every frame takes all of them, so
// this is a connection's budget of messages per frame: no real peer sends
// more than a few, and the ones past it are dropped, so that a flooding peer
// cannot make a frame handle (or print) without bound.
constexpr size_t kMostMessagesPerFrame = 64;

// Most bytes read from one connection in one frame, so that a flooding peer
// cannot hold a frame up.
constexpr int32_t kReadBudgetPerFrame = 64 * 1024;

class MessageReader {
 public:
  // Takes received bytes and queues the messages they complete, each without
  // its "#"; a message completed while kMostMessagesPerFrame are queued is
  // dropped.
  void Feed(std::span<const uint8_t> bytes);

  bool HasMessage() const { return !messages_.empty(); }
  // The oldest complete message; only when HasMessage().
  std::string TakeMessage();
  // Drops every queued message and any unfinished one.
  void Clear();

  size_t QueuedMessages() const { return messages_.size(); }
  size_t UnfinishedBytes() const { return partial_.size(); }
  // Complete messages dropped for want of room, since the reader was made.
  size_t DroppedMessages() const { return dropped_; }

 private:
  std::deque<std::string> messages_;
  std::string partial_;
  // An overlong message was dropped; its remaining bytes up to the next "#"
  // are dropped too, so its tail is not taken for a message of its own.
  bool skipping_ = false;
  size_t dropped_ = 0;
};

// Reads what the connection has waiting, up to kReadBudgetPerFrame bytes, into
// the reader. Returns the number of bytes read (0 when nothing was waiting or
// the connection is closed or unknown). With `closed`, tells whether the
// peer was found gone (closed its end, reset or broke) once everything it
// sent had been read; the bytes that came before the end are in the reader.
int32_t ReadWaiting(int32_t connection, MessageReader& reader, bool* closed = nullptr);

}  // namespace netplay
