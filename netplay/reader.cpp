#include "netplay/reader.h"

#include <array>

#include "netplay/protocol.h"
#include "runtime/net.h"

namespace netplay {

void MessageReader::Feed(std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) {
    const char c = static_cast<char>(b);
    if (c == kMessageEnd) {
      if (!skipping_ && messages_.size() < kMostMessagesPerFrame) {
        messages_.push_back(std::move(partial_));
      } else if (!skipping_) {
        ++dropped_;
      }
      partial_.clear();
      skipping_ = false;
      continue;
    }
    if (skipping_) continue;
    partial_.push_back(c);
    if (partial_.size() > kLongestMessage) {
      partial_.clear();
      skipping_ = true;
    }
  }
}

std::string MessageReader::TakeMessage() {
  std::string message = std::move(messages_.front());
  messages_.pop_front();
  return message;
}

void MessageReader::Clear() {
  messages_.clear();
  partial_.clear();
  skipping_ = false;
}

int32_t ReadWaiting(int32_t connection, MessageReader& reader, bool* closed) {
  std::array<uint8_t, 4096> buffer;
  int32_t total = 0;
  if (closed != nullptr) *closed = false;
  while (total < kReadBudgetPerFrame) {
    const int32_t n = NetReceive(connection, buffer);
    if (n <= 0) {
      // Nothing more to read: either nothing is waiting yet, or the peer has
      // gone and its last bytes are all in the reader now.
      if (closed != nullptr) *closed = n == 0 || NetPeerGone(connection) == 1;
      break;
    }
    reader.Feed(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
    total += n;
  }
  return total;
}

}  // namespace netplay
