// Keyboard sampling over the platform's key snapshot, with the game
// controllers pressing keys of their own.
#include "media/keyboard.h"

#include <array>

#include "platform/keymap.h"
#include "platform/platform.h"

namespace {

enum class Device { None, Created, Acquired };

// The keys one controller holds.
struct PadKeys {
  int left;
  int right;
  int fire;
};

constexpr std::array<PadKeys, 3> kStandardPadKeys = {
    PadKeys{platform::kScanLeft, platform::kScanRight, platform::kScanRightCtrl},
    PadKeys{platform::kScanA, platform::kScanD, platform::kScanLeftCtrl},
    PadKeys{platform::kScanLeft, platform::kScanRight, platform::kScanSpace}};

struct KeyboardState {
  Device device = Device::None;
  std::array<uint8_t, 256> keys{};      // bit 7: down at the last successful poll
  std::array<uint8_t, 256> seenDown{};  // written only by KeyReleased
  bool mouse = false;
  int32_t layout = kControllerLayoutLocal;
  // The keys of the red and the blue controller of the local layout and of
  // every controller of the network layout.
  std::array<PadKeys, 3> padKeys = kStandardPadKeys;
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

// A stick counts as pushed beyond this distance from the centre; a trigger as
// pulled beyond this much.
constexpr int kStickDeadZone = 8000;
constexpr int kTriggerThreshold = 8000;

// The keys of the controller in the given player slot; null when it has none.
const PadKeys* KeysOfSlot(const std::array<PadKeys, 3>& keys, int32_t layout, int slot) {
  if (layout == kControllerLayoutNetwork) return &keys[2];
  if (slot == 0) return &keys[0];
  if (slot == 1) return &keys[1];
  return nullptr;
}

void Hold(std::array<uint8_t, 256>& keys, int code, bool held) {
  if (held) keys[static_cast<size_t>(code)] = 0x80;
}

// Adds the keys that the connected controllers hold to a fresh key sample.
void AddControllerKeys(const KeyboardState& s, std::array<uint8_t, 256>& keys) {
  platform::ControllerState pads[platform::kMaxControllers];
  platform::Current().ControllerSnapshot(pads);
  for (int slot = 0; slot < platform::kMaxControllers; ++slot) {
    const platform::ControllerState& pad = pads[slot];
    const PadKeys* own = KeysOfSlot(s.padKeys, s.layout, slot);
    if (!pad.connected || own == nullptr) continue;
    auto button = [&pad](uint32_t bit) { return (pad.buttons & bit) != 0; };
    const int x = pad.axes[platform::kAxisLeftX];
    const int y = pad.axes[platform::kAxisLeftY];
    const int trigger = pad.axes[platform::kAxisRightTrigger];
    Hold(keys, own->left, button(platform::kPadLeft) || x < -kStickDeadZone);
    Hold(keys, own->right, button(platform::kPadRight) || x > kStickDeadZone);
    Hold(keys, platform::kScanUp, button(platform::kPadUp) || y < -kStickDeadZone);
    Hold(keys, platform::kScanDown, button(platform::kPadDown) || y > kStickDeadZone);
    // The south button is fire and Return at once: the menu acts when Return
    // is let go, a match fires while its fire key is held.
    Hold(keys, own->fire, button(platform::kPadSouth) || trigger > kTriggerThreshold);
    Hold(keys, platform::kScanReturn, button(platform::kPadSouth) || button(platform::kPadStart));
    Hold(keys, platform::kScanEscape, button(platform::kPadEast) || button(platform::kPadBack));
  }
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
  if (!platform::Current().KeySnapshot(fresh.data())) {
    // Without the focus nothing is held: a key or button held when the
    // focus went counts as let go at once.
    s.keys.fill(0);
    return 0;
  }
  AddControllerKeys(s, fresh);
  for (size_t i = 0; i < fresh.size(); ++i) s.keys[i] = fresh[i] & 0x80;
  return 1;
}

void KeyboardControllerLayout(int32_t layout) {
  if (layout == kControllerLayoutLocal || layout == kControllerLayoutNetwork) {
    State().layout = layout;
  }
}

void KeyboardControllerKeys(int32_t layout, int32_t player, int32_t left, int32_t right,
                            int32_t fire) {
  KeyboardState& s = State();
  size_t index = 0;
  if (layout == kControllerLayoutLocal && (player == 0 || player == 1)) {
    index = static_cast<size_t>(player);
  } else if (layout == kControllerLayoutNetwork && player == 0) {
    index = 2;
  } else {
    return;
  }
  if (!ValidCode(left) || !ValidCode(right) || !ValidCode(fire)) return;
  s.padKeys[index] = PadKeys{left, right, fire};
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
  s.layout = kControllerLayoutLocal;
  s.padKeys = kStandardPadKeys;
}

void KeyboardEnd() {
  KeyboardStart();
}

void MouseEnd() {
  State().mouse = false;
}
