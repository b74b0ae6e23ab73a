#pragma once
// The replay format: a short, versioned text that holds what shapes one match
// (the names shown, who flies the blue plane, the state of the random
// generator and the few values kept from earlier matches) and the inputs of
// every match frame as the match applied them. Played back on the same
// rules, it gives the same match, frame for frame.
//
// This file only turns a record into text and text into a record; it touches
// no file, so every text can be checked on its own. The reader refuses
// anything that is not a whole, well-formed replay of a version it knows,
// with one line saying why; a replay whose closing line is missing (the
// program was closed or crashed during the match) is read up to its last
// whole frame.
//
//   skirmora replay 1             the first line: what it is and the format
//   kind local                    local (skirmora) or host (skirmora-host)
//   version 1.2.0                 the program that wrote it
//   name1 Spieler%201             texts with bytes below 33, % and 127 as %XX
//   ...                           further settings, one per line
//   frames                        then one line per match frame:
//   50 t2.53968263                keys of red and blue as hex digits (bit 1
//   10 q                          left, 2 right, 4 fire held, 8 fire released),
//   ...                           then the frame's events
//   end 2                         the number of frames: the match is whole

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "game/rules.h"

namespace game {

constexpr int32_t kReplayFormat = 1;
// The most frames a replay holds (four and a half hours at 60 frames a
// second; a longer match is recorded up to there) and the largest file read.
constexpr size_t kReplayMostFrames = 1000000;
constexpr size_t kReplayLargestFile = 64u * 1024u * 1024u;

enum class ReplayKind { Local, Host };

// One message of the network client as the host applied it: a new heading
// or a shot (in the order they came).
struct ReplayClientInput {
  bool fire = false;
  float heading = 0.0f;  // when not fire
};

struct ReplayFrame {
  // Local: red's and blue's keys. Host: the host's keys in keys[0] (cursor
  // left and right, Space held and released); keys[1] is unused.
  PlayerKeys keys[2];
  // Local: the frame clock ticked before this frame, giving this movement
  // factor (and speed to both planes).
  bool tick = false;
  float movementFactor = 0.0f;
  // Esc was let go in this frame (the match fades out, or ends on the host).
  bool quit = false;
  // Local: the frames-per-second text shown from this frame on.
  bool fpsTextChanged = false;
  std::string fpsText;
  // Host: bytes received in the frame (shown on its head-up display), and
  // what the client sent.
  int32_t bytes = 0;
  std::vector<ReplayClientInput> client;
  // Host: the round trip to the client shown ("ping: "), -1 while unknown.
  int32_t roundTripMs = -1;

  bool operator==(const ReplayFrame&) const;
};

// The shared random generator as a match found it.
struct ReplayRandom {
  std::array<uint32_t, 34> words{};
  int32_t p1 = 0;
  int32_t p2 = 10;
  bool operator==(const ReplayRandom&) const = default;
};

struct Replay {
  ReplayKind kind = ReplayKind::Local;
  std::string version;
  std::string name1;      // red's name (the host's on the host)
  std::string name2;      // blue's name (the client's on the host)
  bool computer = false;  // local: the computer flew the blue plane
  int32_t skill = 2;
  uint32_t opponentSeed = 0;
  ReplayRandom random;
  // Values a local match takes over from the program's earlier frames.
  float cloudOffset = 0.0f;
  int32_t fadeLevel = 255;
  std::string fpsText;
  int32_t engineFrequency[2] = {0, 0};
  int32_t diveMeasure[2] = {0, 0};
  int32_t smokeAngle = 0;
  // The plane pictures were turned back to 270 degrees by the end of an
  // earlier match (a picture is drawn as it was turned the last time).
  bool planesTurned = false;
  std::vector<ReplayFrame> frames;
  bool complete = false;  // the closing line was there
};

// The lines before the frames, ending with "frames".
std::string ReplayHeaderText(const Replay& replay);
// One frame's line.
std::string ReplayFrameText(const ReplayFrame& frame, ReplayKind kind);
// The closing line.
std::string ReplayEndText(size_t frames);
// A whole replay (with its closing line when it is complete).
std::string ReplayText(const Replay& replay);

// Reads a replay. True with the record filled in; false with a one-line
// reason in `error` (the record is then unspecified).
bool ReplayRead(std::string_view text, Replay* replay, std::string* error);

}  // namespace game
