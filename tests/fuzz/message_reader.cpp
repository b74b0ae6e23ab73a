// Feeds arbitrary bytes to the message reader in pieces whose sizes come from
// the input itself. Besides finding crashes and undefined behaviour, it checks
// that the reader never holds more than one message's worth of unfinished
// bytes, that no message contains the message end, and that reading the same
// bytes whole gives the same messages, in the same order, as reading them in pieces.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "netplay/protocol.h"
#include "netplay/reader.h"

namespace {

std::vector<std::string> Drain(netplay::MessageReader& reader) {
  std::vector<std::string> out;
  while (reader.HasMessage()) out.push_back(reader.TakeMessage());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the piece sizes.
  const size_t step = 1 + data[0] % 64;
  std::span<const uint8_t> bytes(data + 1, size - 1);

  netplay::MessageReader pieces;
  std::vector<std::string> fromPieces;
  for (size_t at = 0; at < bytes.size(); at += step) {
    pieces.Feed(bytes.subspan(at, std::min(step, bytes.size() - at)));
    if (pieces.UnfinishedBytes() > netplay::kLongestMessage) abort();
    for (std::string& m : Drain(pieces)) fromPieces.push_back(std::move(m));
  }

  netplay::MessageReader whole;
  whole.Feed(bytes);
  const std::vector<std::string> fromWhole = Drain(whole);
  if (fromWhole != fromPieces) abort();
  for (const std::string& m : fromWhole) {
    if (m.size() > netplay::kLongestMessage) abort();
    if (m.find(netplay::kMessageEnd) != std::string::npos) abort();
    // Reading any message must be safe as well.
    netplay::ReadPlaneState(m);
    netplay::ReadHeading(m);
    netplay::WelcomeCheck(m);
  }
  return 0;
}
