#include "game/replay.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace game {
namespace {

constexpr std::string_view kFirstLine = "skirmora replay ";
// Movement factors, headings and the cloud offset beyond this are not of a
// real match (they stay finite, so the rules would cope, but the file is
// damaged).
constexpr float kLargestFloat = 1.0e6f;

std::string Escape(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c <= 0x20 || c == '%' || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c == 0x7F) return false;
    if (c != '%') {
      *out += static_cast<char>(c);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = HexDigit(text[i + 1]);
    const int lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

std::string FloatText(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

template <class Int>
bool ReadInt(std::string_view text, Int lo, Int hi, Int* out) {
  if (text.empty()) return false;
  Int v{};
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || at != end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ReadFloat(std::string_view text, float* out) {
  if (text.empty()) return false;
  float v = 0.0f;
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || at != end || !std::isfinite(v) || std::fabs(v) > kLargestFloat) {
    return false;
  }
  *out = v;
  return true;
}

// Splits at single spaces; an empty word (two spaces, a space at the end)
// stays in the list, which the readers refuse.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t start = 0;
  while (true) {
    size_t space = line.find(' ', start);
    if (space == std::string_view::npos) {
      words.push_back(line.substr(start));
      return words;
    }
    words.push_back(line.substr(start, space - start));
    start = space + 1;
  }
}

int KeysDigit(const PlayerKeys& k) {
  return (k.turnLeft ? 1 : 0) | (k.turnRight ? 2 : 0) | (k.fireHeld ? 4 : 0) |
         (k.fireReleased ? 8 : 0);
}

PlayerKeys KeysOf(int digit) {
  PlayerKeys k;
  k.turnLeft = (digit & 1) != 0;
  k.turnRight = (digit & 2) != 0;
  k.fireHeld = (digit & 4) != 0;
  k.fireReleased = (digit & 8) != 0;
  return k;
}

bool ReadFrame(std::string_view line, ReplayKind kind, ReplayFrame* frame) {
  *frame = ReplayFrame{};
  if (line.size() < 2) return false;
  const int red = HexDigit(line[0]);
  const int blue = HexDigit(line[1]);
  if (red < 0 || blue < 0 || (line[0] >= 'A' && line[0] <= 'F') ||
      (line[1] >= 'A' && line[1] <= 'F')) {
    return false;
  }
  if (kind == ReplayKind::Host && blue != 0) return false;
  frame->keys[0] = KeysOf(red);
  frame->keys[1] = KeysOf(blue);
  if (line.size() == 2) return true;
  if (line[2] != ' ') return false;
  bool seenBytes = false;
  bool seenPing = false;
  for (std::string_view word : Words(line.substr(3))) {
    if (word.empty()) return false;
    const char tag = word[0];
    const std::string_view value = word.substr(1);
    const bool local = kind == ReplayKind::Local;
    if (tag == 'q' && value.empty() && !frame->quit) {
      frame->quit = true;
    } else if (tag == 't' && local && !frame->tick) {
      if (!ReadFloat(value, &frame->movementFactor)) return false;
      frame->tick = true;
    } else if (tag == 's' && local && !frame->fpsTextChanged) {
      if (!Unescape(value, &frame->fpsText)) return false;
      frame->fpsTextChanged = true;
    } else if (tag == 'b' && !local && !seenBytes) {
      if (!ReadInt<int32_t>(value, 0, std::numeric_limits<int32_t>::max(), &frame->bytes)) {
        return false;
      }
      seenBytes = true;
    } else if (tag == 'p' && !local && !seenPing) {
      if (!ReadInt<int32_t>(value, 0, std::numeric_limits<int32_t>::max(), &frame->roundTripMs)) {
        return false;
      }
      seenPing = true;
    } else if (tag == 'h' && !local) {
      ReplayClientInput input;
      if (!ReadFloat(value, &input.heading)) return false;
      frame->client.push_back(input);
    } else if (tag == 'f' && !local && value.empty()) {
      ReplayClientInput input;
      input.fire = true;
      frame->client.push_back(input);
    } else {
      return false;
    }
  }
  return true;
}

// The header lines in their order; each reads its value into the record.
struct HeaderReader {
  Replay* r;

  bool Read(size_t index, std::string_view value) {
    std::vector<std::string_view> w = Words(value);
    switch (index) {
      case 0:
        if (value == "local") {
          r->kind = ReplayKind::Local;
        } else if (value == "host") {
          r->kind = ReplayKind::Host;
        } else {
          return false;
        }
        return true;
      case 1:
        return Unescape(value, &r->version);
      case 2:
        return Unescape(value, &r->name1);
      case 3:
        return Unescape(value, &r->name2);
      case 4: {
        int32_t computer = 0;
        if (!ReadInt<int32_t>(value, 0, 1, &computer)) return false;
        r->computer = computer == 1;
        return true;
      }
      case 5:
        return ReadInt<int32_t>(value, 1, 3, &r->skill);
      case 6:
        return ReadInt<uint32_t>(value, 0, std::numeric_limits<uint32_t>::max(), &r->opponentSeed);
      case 7:
        if (w.size() != 2 + r->random.words.size()) return false;
        if (!ReadInt<int32_t>(w[0], 0, 16, &r->random.p1)) return false;
        if (!ReadInt<int32_t>(w[1], 0, 16, &r->random.p2)) return false;
        for (size_t i = 0; i < r->random.words.size(); ++i) {
          if (!ReadInt<uint32_t>(w[i + 2], 0, std::numeric_limits<uint32_t>::max(),
                                 &r->random.words[i])) {
            return false;
          }
        }
        return true;
      case 8:
        return ReadFloat(value, &r->cloudOffset);
      case 9:
        return ReadInt<int32_t>(value, 0, 255, &r->fadeLevel);
      case 10:
        return Unescape(value, &r->fpsText);
      case 11:
        return w.size() == 2 && ReadInt<int32_t>(w[0], 0, 1000000, &r->engineFrequency[0]) &&
               ReadInt<int32_t>(w[1], 0, 1000000, &r->engineFrequency[1]);
      case 12:
        return w.size() == 2 && ReadInt<int32_t>(w[0], 0, 180, &r->diveMeasure[0]) &&
               ReadInt<int32_t>(w[1], 0, 180, &r->diveMeasure[1]);
      case 13:
        return ReadInt<int32_t>(value, -32768, 32767, &r->smokeAngle);
      case 14: {
        int32_t turned = 0;
        if (!ReadInt<int32_t>(value, 0, 1, &turned)) return false;
        r->planesTurned = turned == 1;
        return true;
      }
    }
    return false;
  }
};

const char* const kHeaderKeys[] = {"kind",  "version",       "name1",  "name2", "computer",
                                   "skill", "opponent-seed", "random", "cloud", "fade",
                                   "fps",   "engine",        "dive",   "smoke", "planes-turned"};
constexpr size_t kHeaderCount = sizeof kHeaderKeys / sizeof kHeaderKeys[0];

}  // namespace

bool ReplayFrame::operator==(const ReplayFrame& o) const {
  auto same = [](const PlayerKeys& a, const PlayerKeys& b) { return KeysDigit(a) == KeysDigit(b); };
  if (!same(keys[0], o.keys[0]) || !same(keys[1], o.keys[1]) || tick != o.tick || quit != o.quit ||
      fpsTextChanged != o.fpsTextChanged || bytes != o.bytes || roundTripMs != o.roundTripMs ||
      client.size() != o.client.size()) {
    return false;
  }
  if (tick && movementFactor != o.movementFactor) return false;
  if (fpsTextChanged && fpsText != o.fpsText) return false;
  for (size_t i = 0; i < client.size(); ++i) {
    if (client[i].fire != o.client[i].fire) return false;
    if (!client[i].fire && client[i].heading != o.client[i].heading) return false;
  }
  return true;
}

std::string ReplayHeaderText(const Replay& r) {
  std::string t = std::string(kFirstLine) + std::to_string(kReplayFormat) + "\n";
  t += std::string("kind ") + (r.kind == ReplayKind::Host ? "host" : "local") + "\n";
  t += "version " + Escape(r.version) + "\n";
  t += "name1 " + Escape(r.name1) + "\n";
  t += "name2 " + Escape(r.name2) + "\n";
  t += std::string("computer ") + (r.computer ? "1" : "0") + "\n";
  t += "skill " + std::to_string(r.skill) + "\n";
  t += "opponent-seed " + std::to_string(r.opponentSeed) + "\n";
  t += "random " + std::to_string(r.random.p1) + " " + std::to_string(r.random.p2);
  for (uint32_t w : r.random.words) t += " " + std::to_string(w);
  t += "\n";
  t += "cloud " + FloatText(r.cloudOffset) + "\n";
  t += "fade " + std::to_string(r.fadeLevel) + "\n";
  t += "fps " + Escape(r.fpsText) + "\n";
  t += "engine " + std::to_string(r.engineFrequency[0]) + " " +
       std::to_string(r.engineFrequency[1]) + "\n";
  t += "dive " + std::to_string(r.diveMeasure[0]) + " " + std::to_string(r.diveMeasure[1]) + "\n";
  t += "smoke " + std::to_string(r.smokeAngle) + "\n";
  t += std::string("planes-turned ") + (r.planesTurned ? "1" : "0") + "\n";
  t += "frames\n";
  return t;
}

std::string ReplayFrameText(const ReplayFrame& f, ReplayKind kind) {
  static const char kHex[] = "0123456789abcdef";
  std::string t;
  t += kHex[KeysDigit(f.keys[0])];
  t += kind == ReplayKind::Host ? '0' : kHex[KeysDigit(f.keys[1])];
  if (kind == ReplayKind::Local) {
    if (f.tick) t += " t" + FloatText(f.movementFactor);
    if (f.fpsTextChanged) t += " s" + Escape(f.fpsText);
  } else {
    if (f.bytes != 0) t += " b" + std::to_string(f.bytes);
    if (f.roundTripMs >= 0) t += " p" + std::to_string(f.roundTripMs);
    for (const ReplayClientInput& c : f.client) t += c.fire ? " f" : " h" + FloatText(c.heading);
  }
  if (f.quit) t += " q";
  t += "\n";
  return t;
}

std::string ReplayEndText(size_t frames) {
  return "end " + std::to_string(frames) + "\n";
}

std::string ReplayText(const Replay& r) {
  std::string t = ReplayHeaderText(r);
  for (const ReplayFrame& f : r.frames) t += ReplayFrameText(f, r.kind);
  if (r.complete) t += ReplayEndText(r.frames.size());
  return t;
}

bool ReplayRead(std::string_view text, Replay* r, std::string* error) {
  *r = Replay{};
  auto fail = [error](size_t line, const std::string& why) {
    *error = line > 0 ? "damaged at line " + std::to_string(line) + ": " + why : why;
    return false;
  };
  if (text.size() > kReplayLargestFile) return fail(0, "too large to be a replay");
  if (text.substr(0, kFirstLine.size()) != kFirstLine) return fail(0, "not a Skirmora replay");
  size_t at = 0;
  size_t lineNumber = 0;
  // The next whole line; false at the end of the text or at a line cut off.
  std::string_view line;
  bool cut = false;
  auto next = [&]() {
    if (at >= text.size()) return false;
    const size_t end = text.find('\n', at);
    if (end == std::string_view::npos) {
      cut = true;
      return false;
    }
    line = text.substr(at, end - at);
    at = end + 1;
    lineNumber += 1;
    return true;
  };
  auto truncated = [&]() { return fail(0, "truncated (it ends in the middle of a line)"); };

  if (!next()) return cut ? truncated() : fail(0, "not a Skirmora replay");
  int32_t format = 0;
  if (!ReadInt<int32_t>(line.substr(kFirstLine.size()), 1, std::numeric_limits<int32_t>::max(),
                        &format)) {
    return fail(0, "not a Skirmora replay");
  }
  if (format != kReplayFormat) {
    return fail(0, "written in replay format " + std::to_string(format) +
                       ", which this version does not know (it reads format " +
                       std::to_string(kReplayFormat) + ")");
  }
  HeaderReader header{r};
  for (size_t i = 0; i < kHeaderCount; ++i) {
    if (!next()) return cut ? truncated() : fail(0, "truncated (its settings are incomplete)");
    const std::string_view key = kHeaderKeys[i];
    if (line.substr(0, key.size()) != key ||
        (line.size() > key.size() && line[key.size()] != ' ')) {
      return fail(lineNumber, "\"" + std::string(key) + "\" expected");
    }
    std::string_view value = line.size() > key.size() ? line.substr(key.size() + 1) : "";
    if (!header.Read(i, value)) return fail(lineNumber, "a bad value for " + std::string(key));
  }
  if (!next()) return cut ? truncated() : fail(0, "truncated (its settings are incomplete)");
  if (line != "frames") return fail(lineNumber, "\"frames\" expected");

  while (next()) {
    if (line.substr(0, 4) == "end ") {
      size_t count = 0;
      if (!ReadInt<size_t>(line.substr(4), 0, kReplayMostFrames, &count) ||
          count != r->frames.size()) {
        return fail(lineNumber, "the closing line does not count the frames");
      }
      if (at != text.size()) return fail(lineNumber + 1, "text after the closing line");
      r->complete = true;
      return true;
    }
    if (r->frames.size() >= kReplayMostFrames) return fail(lineNumber, "too many frames");
    ReplayFrame frame;
    if (!ReadFrame(line, r->kind, &frame)) return fail(lineNumber, "not a frame");
    r->frames.push_back(std::move(frame));
  }
  if (cut) return truncated();
  return true;
}

}  // namespace game
