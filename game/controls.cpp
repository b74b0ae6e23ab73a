#include "game/controls.h"

#include <cstdio>

#include "media/display.h"
#include "media/keyboard.h"
#include "platform/keymap.h"
#include "runtime/prefs.h"

namespace game {
namespace {

struct Action {
  const char* name;  // its key in the [Keys] group
  int32_t* key;
  int32_t standard;
  bool chosen = false;  // named in the file, and so far accepted
};

struct Reserved {
  int32_t key;
  const char* use;
};

constexpr Reserved kLocalReserved[] = {{platform::kScanEscape, "Esc (leave)"},
                                       {platform::kScanP, "pause"},
                                       {platform::kScanPause, "pause"},
                                       {platform::kScanF11, "full screen"}};
constexpr Reserved kNetworkReserved[] = {{platform::kScanEscape, "Esc (leave)"},
                                         {platform::kScanReturn, "Return (start, ready)"},
                                         {platform::kScanF11, "full screen"}};

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

}  // namespace

std::string KeyName(int32_t code) {
  const std::string name = platform::KeyNameOfScan(code);
  return name.empty() ? std::string("?") : name;
}

KeyBindings ReadKeyBindings(KeySet set, std::vector<std::string>& reports) {
  KeyBindings b;
  std::vector<Action> actions;
  if (set == KeySet::Local) {
    actions = {
        {"Red Left", &b.red.left, b.red.left},       {"Red Right", &b.red.right, b.red.right},
        {"Red Fire", &b.red.fire, b.red.fire},       {"Blue Left", &b.blue.left, b.blue.left},
        {"Blue Right", &b.blue.right, b.blue.right}, {"Blue Fire", &b.blue.fire, b.blue.fire}};
  } else {
    actions = {{"Net Left", &b.net.left, b.net.left},
               {"Net Right", &b.net.right, b.net.right},
               {"Net Fire", &b.net.fire, b.net.fire}};
  }
  PrefsGroup("Keys");
  for (Action& a : actions) {
    const std::string name = Trimmed(PrefsReadString(a.name, ""));
    if (name.empty()) continue;
    const int32_t code = platform::ScanFromKeyName(name);
    if (code == 0) {
      reports.push_back("[Keys] " + std::string(a.name) + " = " + name +
                        ": no key has that name; " + a.name + " stays on " + KeyName(a.standard));
      continue;
    }
    *a.key = code;
    a.chosen = true;
  }
  // A chosen key that another action or a fixed key has goes back to its
  // default; that may free or take another key, so look again until nothing
  // changes (each round puts at least one action back, so this ends).
  const Reserved* reserved = set == KeySet::Local ? kLocalReserved : kNetworkReserved;
  const size_t reservedCount =
      set == KeySet::Local ? std::size(kLocalReserved) : std::size(kNetworkReserved);
  for (bool changed = true; changed;) {
    changed = false;
    for (Action& a : actions) {
      if (!a.chosen) continue;
      std::string other;
      for (const Action& o : actions) {
        if (&o != &a && *o.key == *a.key) other = o.name;
      }
      for (size_t i = 0; i < reservedCount && other.empty(); ++i) {
        if (reserved[i].key == *a.key) other = reserved[i].use;
      }
      if (other.empty()) continue;
      reports.push_back("[Keys] " + std::string(a.name) + " = " + KeyName(*a.key) +
                        ": that key is already " + other + "; " + a.name + " stays on " +
                        KeyName(a.standard));
      *a.key = a.standard;
      a.chosen = false;
      changed = true;
    }
  }
  return b;
}

bool DisplayKeysFrame(DisplayKeysState& keys) {
  const bool enter = KeyDown(kKeyEnter) != 0;
  const bool f11 = KeyDown(platform::kScanF11) != 0;
  const bool alt = KeyDown(platform::kScanLeftAlt) != 0 || KeyDown(platform::kScanRightAlt) != 0;
  bool toggle = false;
  if (enter && !keys.enterDown && alt) {
    toggle = true;
    keys.swallowEnter = true;
    KeyReleased(kKeyEnter);  // marks Return as seen down, so its release can be taken below
  }
  if (f11 && !keys.f11Down) toggle = true;
  if (keys.swallowEnter && !enter) {
    KeyReleased(kKeyEnter);
    keys.swallowEnter = false;
  }
  keys.enterDown = enter;
  keys.f11Down = f11;
  if (!toggle) return false;
  return ScreenSetFullscreen(ScreenIsFullscreen() != 0 ? 0 : 1) != 0;
}

}  // namespace game
