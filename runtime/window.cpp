#include "runtime/window.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/keymap.h"
#include "platform/platform.h"
#include "runtime/frame.h"
#include "runtime/gadget_internal.h"

namespace {

constexpr size_t kInitialWindows = 10;
constexpr size_t kGrowth = 30;
// How long one platform wait lasts before the loop looks at every window again.
constexpr int kWaitSliceMs = 250;
constexpr int kWaitSliceManyMs = 20;

// One keyboard accelerator: a key with exactly these modifiers gives a command.
struct Accelerator {
  int key = 0;
  int mods = 0;
  int32_t command = 0;
};

struct WindowEntry {
  int32_t handle = 0;  // platform window id, 0 = free entry
  int32_t style = 0;
  std::string className;
  std::vector<Accelerator> accelerators;
  bool enabled = true;
  int32_t scale = 1;  // screen pixels per pixel of the window's contents
};

struct EventState {
  int32_t code = -1;  // set while a message is handled, -1 = none
  int32_t gadget = 0;
  int32_t type = 0;
};

struct WindowState {
  std::vector<WindowEntry> table = std::vector<WindowEntry>(kInitialWindows);
  int32_t current = 0;  // handle of the most recently opened window
  EventState event;
  size_t nextPoll = 0;                        // round-robin start among the open windows
  std::vector<int32_t> disabledByMessageBox;  // handles to enable again afterwards
};

WindowState& State() {
  static WindowState state;
  return state;
}

WindowEntry* EntryOf(int32_t number) {
  WindowState& s = State();
  if (number < 0 || static_cast<size_t>(number) >= s.table.size()) return nullptr;
  WindowEntry& e = s.table[static_cast<size_t>(number)];
  return e.handle != 0 ? &e : nullptr;
}

WindowEntry* EntryByHandle(int32_t handle) {
  if (handle == 0) return nullptr;
  for (WindowEntry& e : State().table) {
    if (e.handle == handle) return &e;
  }
  return nullptr;
}

void CloseEntry(WindowEntry& e) {
  WindowState& s = State();
  GadgetWindowClosed(e.handle);
  platform::Current().WindowDestroy(e.handle);
  if (s.current == e.handle) s.current = 0;
  e = WindowEntry{};
}

// The library window that has the keyboard focus, if any.
WindowEntry* ActiveEntry() {
  for (WindowEntry& e : State().table) {
    if (e.handle != 0 && platform::Current().WindowFocused(e.handle)) return &e;
  }
  return nullptr;
}

int32_t RawCode(const platform::WindowEvent& ev) {
  using platform::EventKind;
  switch (ev.kind) {
    case EventKind::None:
      return 0;
    case EventKind::Close:
      return kEventClose;
    case EventKind::Resized:
      return kEventSize;
    case EventKind::Moved:
      return kEventMove;
    case EventKind::FocusGained:
      return kEventFocusGained;
    case EventKind::FocusLost:
      return kEventFocusLost;
    case EventKind::KeyDown:
      return kEventKeyDown;
    case EventKind::KeyUp:
      return kEventKeyUp;
    case EventKind::Text:
      return kEventChar;
    case EventKind::MouseDown:
      return ev.button == 3 ? kEventRightDown : ev.button == 2 ? kEventMiddleDown : kEventLeftDown;
    case EventKind::MouseUp:
      return ev.button == 3 ? kEventRightUp : ev.button == 2 ? kEventMiddleUp : kEventLeftUp;
    case EventKind::MouseMove:
      return kEventMouseMove;
    case EventKind::Exposed:
      return kEventPaint;
  }
  return 0;
}

bool IsInput(platform::EventKind kind) {
  using platform::EventKind;
  return kind == EventKind::KeyDown || kind == EventKind::KeyUp || kind == EventKind::Text ||
         kind == EventKind::MouseDown || kind == EventKind::MouseUp || kind == EventKind::MouseMove;
}

// Looks up the window's accelerators; 0 when the event is not one of them.
int32_t TranslateAccelerator(const WindowEntry& e, const platform::WindowEvent& ev) {
  if (ev.kind != platform::EventKind::KeyDown) return 0;
  const int mods = ev.mods & (platform::kModShift | platform::kModCtrl | platform::kModAlt);
  for (const Accelerator& a : e.accelerators) {
    if (a.key == ev.key && a.mods == mods) return a.command;
  }
  return 0;
}

// Handles one event of window entry `e` and returns its event code.
int32_t Dispatch(WindowEntry& e, const platform::WindowEvent& ev) {
  WindowState& s = State();
  s.event.code = -1;
  int32_t raw = RawCode(ev);
  const int32_t handle = e.handle;
  if (ev.kind == platform::EventKind::Close) {
    // Asking is all: the window stays open until the program closes it.
    return kEventClose;
  }
  if (!e.enabled && IsInput(ev.kind)) return raw;
  if (int32_t command = TranslateAccelerator(e, ev)) {
    GadgetMoveFocus(handle, command == kCommandFocusNext);
  } else if (e.scale > 1 && (ev.kind == platform::EventKind::MouseDown ||
                             ev.kind == platform::EventKind::MouseUp ||
                             ev.kind == platform::EventKind::MouseMove)) {
    platform::WindowEvent scaled = ev;
    // Floor division, so that a position left of or above the window stays outside.
    auto down = [&e](int v) { return v >= 0 ? v / e.scale : -((-v + e.scale - 1) / e.scale); };
    scaled.x = down(ev.x);
    scaled.y = down(ev.y);
    GadgetHandleEvent(handle, scaled);
  } else {
    GadgetHandleEvent(handle, ev);
  }
  if (ev.kind == platform::EventKind::Resized) raw = kEventSize;
  if (s.event.code != -1) {
    raw = s.event.code;
    s.event.code = -1;
  }
  return raw;
}

// Takes the next waiting event of any open window, serving the windows in
// turn so that a busy window cannot starve another.
bool TakeAnyEvent(WindowEntry** from, platform::WindowEvent* ev) {
  WindowState& s = State();
  const size_t n = s.table.size();
  for (size_t i = 0; i < n; ++i) {
    size_t index = (s.nextPoll + i) % n;
    WindowEntry& e = s.table[index];
    if (e.handle == 0) continue;
    if (platform::Current().WindowPollEvent(e.handle, ev)) {
      s.nextPoll = (index + 1) % n;
      *from = &e;
      return true;
    }
  }
  return false;
}

// While a message box is up, every open window that takes input stops taking
// it; afterwards exactly those windows take input again, so a window that was
// disabled before the box stays disabled.
void DisableAll() {
  WindowState& s = State();
  s.disabledByMessageBox.clear();
  for (WindowEntry& e : s.table) {
    if (e.handle != 0 && e.enabled) {
      e.enabled = false;
      s.disabledByMessageBox.push_back(e.handle);
    }
  }
}

void EnableAll() {
  WindowState& s = State();
  for (int32_t handle : s.disabledByMessageBox) {
    if (WindowEntry* e = EntryByHandle(handle)) e->enabled = true;
  }
  s.disabledByMessageBox.clear();
}

}  // namespace

void WindowGadgetNotify(int32_t gadget, int32_t notification) {
  EventState& ev = State().event;
  ev.code = kEventGadget;
  ev.gadget = gadget;
  ev.type = notification;
}

bool WindowHandleIsOpen(int32_t handle) {
  return EntryByHandle(handle) != nullptr;
}

int32_t WindowStyleFromFlags(int32_t flags) {
  uint32_t style = static_cast<uint32_t>(flags) & ~3u;
  if (style == 0 || style == static_cast<uint32_t>(kWindowHidden)) {
    style |= static_cast<uint32_t>(kStyleCaption);
  }
  style ^= static_cast<uint32_t>(kStyleVisible);
  return static_cast<int32_t>(style);
}

int32_t WindowHandleScale(int32_t handle) {
  const WindowEntry* e = EntryByHandle(handle);
  return e != nullptr ? e->scale : 1;
}

int32_t WindowOpen(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                   int32_t flags, const std::string& title) {
  return WindowOpenScaled(number, x, y, width, height, flags, title, 1);
}

int32_t WindowOpenScaled(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                         int32_t flags, const std::string& title, int32_t scale) {
  WindowState& s = State();
  if (number < 0 || number > kWindowNumberLimit || scale < 1 || scale > 4) return 0;
  if (static_cast<size_t>(number) >= s.table.size()) {
    s.table.resize(static_cast<size_t>(number) + kGrowth);
  }
  WindowEntry& entry = s.table[static_cast<size_t>(number)];
  if (entry.handle != 0) CloseEntry(entry);

  platform::Platform& p = platform::Current();
  const int32_t style = WindowStyleFromFlags(flags);
  const int w = std::max(0, width) * scale;
  const int h = std::max(0, height) * scale;

  // The desktop's window manager draws the frame, so the outer rectangle is
  // the client rectangle.
  int left = x * scale;
  int top = y * scale;
  if (flags & kWindowCentre) {
    platform::Rect desk = p.DesktopBounds();
    left = desk.x + desk.width / 2 - std::min(w, desk.width) / 2;
    top = desk.y + desk.height / 2 - std::min(h, desk.height) / 2;
  } else if (flags & kWindowCentreOnActive) {
    platform::Rect desk = p.DesktopBounds();
    if (WindowEntry* active = ActiveEntry()) {
      platform::Rect a = p.WindowBounds(active->handle);
      left = std::max(desk.x, a.x - w / 2 + a.width / 2);
      top = std::max(desk.y, a.y - h / 2 + a.height / 2);
    } else {
      left = desk.x + desk.width / 2 - std::min(w, desk.width) / 2;
      top = desk.y + desk.height / 2 - std::min(h, desk.height) / 2;
    }
  }

  platform::WindowSpec spec;
  spec.title = title.substr(0, title.find('\0'));
  spec.x = left;
  spec.y = top;
  spec.width = w;
  spec.height = h;
  spec.hidden = (style & kStyleVisible) == 0;
  spec.resizable = (style & kStyleSizeBorder) != 0;
  spec.borderless = (style & kStyleCaption) == 0 && (style & kStylePopup) != 0;
  const int32_t handle = p.WindowCreate(spec);
  if (handle == 0) return 0;

  char className[32];
  std::snprintf(className, sizeof className, "WindowClass_%ld", static_cast<long>(number));
  entry.handle = handle;
  entry.style = style;
  entry.className = className;
  entry.accelerators = {{platform::kScanTab, 0, kCommandFocusNext},
                        {platform::kScanTab, platform::kModShift, kCommandFocusPrevious}};
  entry.enabled = true;
  entry.scale = scale;
  s.current = handle;
  return handle;
}

int32_t WindowHandle() {
  return State().current;
}

int32_t WindowPollEvent() {
  GadgetPaintPending();
  WindowEntry* from = nullptr;
  platform::WindowEvent ev;
  if (!TakeAnyEvent(&from, &ev)) return kEventNone;
  int32_t code = Dispatch(*from, ev);
  GadgetPaintPending();
  return code;
}

int32_t WindowWaitEvent() {
  WindowState& s = State();
  platform::Platform& p = platform::Current();
  for (;;) {
    GadgetPaintPending();
    WindowEntry* from = nullptr;
    platform::WindowEvent ev;
    if (TakeAnyEvent(&from, &ev)) {
      int32_t code = Dispatch(*from, ev);
      GadgetPaintPending();
      return code;
    }
    // Sleep on one window; events of the others wake the platform too, and
    // the next round looks at every window again.
    int32_t sleeper = 0;
    int open = 0;
    for (const WindowEntry& e : s.table) {
      if (e.handle == 0) continue;
      ++open;
      if (sleeper == 0 || e.handle == s.current) sleeper = e.handle;
    }
    if (open == 0) return kEventNone;
    if (p.WindowWaitEvent(sleeper, &ev, open == 1 ? kWaitSliceMs : kWaitSliceManyMs)) {
      if (WindowEntry* e = EntryByHandle(sleeper)) {
        int32_t code = Dispatch(*e, ev);
        GadgetPaintPending();
        return code;
      }
    }
  }
}

int32_t EventGadget() {
  return State().event.gadget;
}

int32_t EventType() {
  return State().event.type;
}

int32_t WindowNumberHandle(int32_t number) {
  WindowEntry* e = EntryOf(number);
  return e ? e->handle : 0;
}

int32_t WindowStyle(int32_t number) {
  WindowEntry* e = EntryOf(number);
  return e ? e->style : 0;
}

std::string WindowClassName(int32_t number) {
  WindowEntry* e = EntryOf(number);
  return e ? e->className : std::string();
}

bool WindowEnabled(int32_t number) {
  WindowEntry* e = EntryOf(number);
  return e != nullptr && e->enabled;
}

void WindowInit() {
  WindowEnd();
  WindowState& s = State();
  s.table.assign(kInitialWindows, WindowEntry{});
  s.current = 0;
  s.event = EventState{};
  s.nextPoll = 0;
  MessageBoxSetWindowHooks(&DisableAll, &EnableAll);
}

void WindowEnd() {
  WindowState& s = State();
  for (size_t i = s.table.size(); i-- > 0;) {
    if (s.table[i].handle != 0) CloseEntry(s.table[i]);
  }
  s.current = 0;
}
