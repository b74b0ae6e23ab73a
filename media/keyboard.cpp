// Keyboard sampling over the platform's key snapshot.
#include "media/keyboard.h"

#include <array>

#include "platform/platform.h"

namespace {

enum class Device { None, Created, Acquired };

struct KeyboardState {
  Device device = Device::None;
  std::array<uint8_t, 256> keys{};      // bit 7: down at the last successful poll
  std::array<uint8_t, 256> seenDown{};  // written only by KeyReleased
  bool mouse = false;
};

KeyboardState& State() {
  static KeyboardState state;
  return state;
}

constexpr int kAnyKey = -1;
constexpr int kAnyKeyLimit = 255;  // the -1 forms look at codes 0 to 254

bool ValidCode(int32_t code) {
  return code >= 0 && code <= 255;
}

// Steps 1 and 2 of the release rule for one key.
bool ReleaseStep(KeyboardState& s, size_t code) {
  if (s.keys[code] & 0x80) {
    s.seenDown[code] = 1;
    return false;
  }
  if (s.seenDown[code] == 1) {
    s.seenDown[code] = 0;
    return true;
  }
  return false;
}

}  // namespace

int32_t KeyboardInit() {
  KeyboardState& s = State();
  s.device = Device::Created;
  return 1;
}

int32_t KeyboardPoll() {
  KeyboardState& s = State();
  if (s.device == Device::None) return 0;
  // The platform hands keys only to a focused window of ours; the device
  // counts as acquired from the first poll on and is taken again by the
  // next poll after a failed read.
  s.device = Device::Acquired;
  std::array<uint8_t, 256> fresh{};
  if (!platform::Current().KeySnapshot(fresh.data())) return 0;
  for (size_t i = 0; i < fresh.size(); ++i) s.keys[i] = fresh[i] & 0x80;
  return 1;
}

int32_t KeyDown(int32_t code) {
  KeyboardState& s = State();
  if (code == kAnyKey) {
    for (int i = 0; i < kAnyKeyLimit; ++i) {
      if (s.keys[static_cast<size_t>(i)] & 0x80) return 1;
    }
    return 0;
  }
  if (!ValidCode(code)) return 0;
  return s.keys[static_cast<size_t>(code)] & 0x80;
}

int32_t KeyReleased(int32_t code) {
  KeyboardState& s = State();
  if (code == kAnyKey) {
    bool any = false;
    for (int i = 0; i < kAnyKeyLimit; ++i) {
      if (ReleaseStep(s, static_cast<size_t>(i))) any = true;
    }
    return any ? 1 : 0;
  }
  if (!ValidCode(code)) return 0;
  return ReleaseStep(s, static_cast<size_t>(code)) ? 1 : 0;
}

int32_t MouseInit() {
  State().mouse = true;
  return 1;
}

void KeyboardStart() {
  KeyboardState& s = State();
  s.device = Device::None;
  s.keys.fill(0);
  s.seenDown.fill(0);
}

void KeyboardEnd() {
  KeyboardStart();
}

void MouseEnd() {
  State().mouse = false;
}
