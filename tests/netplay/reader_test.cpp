// The message reader and the console.
#include "netplay/reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "netplay/console.h"

namespace netplay {
namespace {

void Feed(MessageReader& reader, const std::string& bytes) {
  reader.Feed(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::vector<std::string> TakeAll(MessageReader& reader) {
  std::vector<std::string> out;
  while (reader.HasMessage()) out.push_back(reader.TakeMessage());
  return out;
}

using Messages = std::vector<std::string>;

TEST(MessageReader, EveryMessageOfOneReadInOrder) {
  MessageReader reader;
  Feed(reader, "name:Ben#ready:Ben#winkel:0.000000:#");
  EXPECT_EQ(TakeAll(reader), (Messages{"name:Ben", "ready:Ben", "winkel:0.000000:"}));
  // An empty message is still a message (it matches no keyword).
  Feed(reader, "##");
  EXPECT_EQ(TakeAll(reader), (Messages{"", ""}));
}

TEST(MessageReader, MessageCutAcrossReadsIsJoined) {
  MessageReader reader;
  Feed(reader, "plane:180.000000:598:1");
  EXPECT_FALSE(reader.HasMessage());
  Feed(reader, "50:152:400:#pla");
  EXPECT_EQ(TakeAll(reader), (Messages{"plane:180.000000:598:150:152:400:"}));
  Feed(reader, "ne:1:2:3:4:5:fire:#");
  EXPECT_EQ(TakeAll(reader), (Messages{"plane:1:2:3:4:5:fire:"}));
}

TEST(MessageReader, AnySplitGivesTheSameMessages) {
  const std::string stream =
      "Welcome:SK:11:Anna#name:J\xFCrgen#ready:#close:##plane:359.000000:-32:632:0:0:fire:#";
  MessageReader whole;
  Feed(whole, stream);
  const Messages expected = TakeAll(whole);
  ASSERT_EQ(expected.size(), 6u);
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    MessageReader reader;
    Messages got;
    size_t at = 0;
    while (at < stream.size()) {
      const size_t n = std::min(stream.size() - at, size_t{1} + random() % 12);
      Feed(reader, stream.substr(at, n));
      at += n;
      for (std::string& m : TakeAll(reader)) got.push_back(m);
    }
    EXPECT_EQ(got, expected);
  }
}

TEST(MessageReader, OverlongMessageIsDroppedAndReadingGoesOn) {
  MessageReader reader;
  Feed(reader, std::string(kLongestMessage, 'x') + "#");
  ASSERT_TRUE(reader.HasMessage());
  EXPECT_EQ(reader.TakeMessage().size(), kLongestMessage);

  // A megabyte without "#": the reader never holds more than one message's worth.
  const std::string chunk(4096, 'y');
  for (int i = 0; i < 256; ++i) {
    Feed(reader, chunk);
    EXPECT_LE(reader.UnfinishedBytes(), kLongestMessage);
  }
  EXPECT_FALSE(reader.HasMessage());
  // The dropped message's end is dropped with it; the next message comes through.
  Feed(reader, "yyyy#name:Ben#");
  EXPECT_EQ(TakeAll(reader), (Messages{"name:Ben"}));
}

TEST(MessageReader, ClearForgetsQueuedAndUnfinished) {
  MessageReader reader;
  Feed(reader, "close:#rea");
  reader.Clear();
  Feed(reader, "dy:Anna#");
  EXPECT_EQ(TakeAll(reader), (Messages{"dy:Anna"}));
}

TEST(Console, PrintCountDropAndTrimOneLineAFrame) {
  Console console;
  EXPECT_EQ(ConsoleLineCount(console), 0);
  ConsoleDropOldest(console);  // nothing to drop: nothing happens
  for (int i = 0; i < 23; ++i) ConsolePrint(console, "line " + std::to_string(i));
  EXPECT_EQ(ConsoleLineCount(console), 23);
  ConsoleTrim(console);
  EXPECT_EQ(ConsoleLineCount(console), 22);
  EXPECT_EQ(console.lines.front(), "line 1");
  ConsoleTrim(console);
  ConsoleTrim(console);
  ConsoleTrim(console);
  EXPECT_EQ(ConsoleLineCount(console), 20);
  EXPECT_EQ(console.lines.front(), "line 3");
  EXPECT_EQ(console.lines.back(), "line 22");
}

}  // namespace
}  // namespace netplay
