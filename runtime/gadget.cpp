#include "runtime/gadget.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/font.h"
#include "platform/keymap.h"
#include "platform/platform.h"
#include "runtime/gadget_internal.h"

namespace {

constexpr size_t kInitialGadgets = 30;
constexpr size_t kGrowth = 30;
constexpr int32_t kFirstControlHandle = 0x1000;
constexpr uint32_t kFaceColour = 0xF0F0F0;

// What a window with gadgets keeps besides the gadgets themselves.
struct Surface {
  int32_t focus = -1;    // gadget with the keyboard focus, -1 = none
  int32_t capture = -1;  // gadget that holds the mouse (pressed button, text drag)
  bool active = true;    // the window has the keyboard focus
  bool dirty = true;     // needs repainting and presenting
  GadgetCanvas canvas;
};

struct GadgetState {
  std::vector<GadgetEntry> table = std::vector<GadgetEntry>(kInitialGadgets);
  int32_t parent = 0;  // window handle of GadgetListCreate
  int32_t nextHandle = kFirstControlHandle;
  uint64_t nextOrder = 1;
  std::map<int32_t, Surface> surfaces;  // by window handle
};

GadgetState& State() {
  static GadgetState state;
  return state;
}

GadgetEntry* Find(int32_t number) {
  GadgetState& s = State();
  if (number < 0 || static_cast<size_t>(number) >= s.table.size()) return nullptr;
  GadgetEntry& g = s.table[static_cast<size_t>(number)];
  return g.handle != 0 ? &g : nullptr;
}

Surface* SurfaceOf(int32_t windowHandle) {
  auto& surfaces = State().surfaces;
  auto it = surfaces.find(windowHandle);
  return it == surfaces.end() ? nullptr : &it->second;
}

void MarkDirty(int32_t windowHandle) {
  if (Surface* s = SurfaceOf(windowHandle)) s->dirty = true;
}

std::string CutAtNul(const std::string& text) {
  return text.substr(0, text.find('\0'));
}

bool TakesFocus(GadgetKind kind) {
  return kind != GadgetKind::Text;
}

bool NotifiesFocus(GadgetKind kind) {
  return kind == GadgetKind::String || kind == GadgetKind::IPAddress;
}

// The gadgets of a window in creation order, as numbers.
std::vector<int32_t> Children(int32_t windowHandle) {
  GadgetState& s = State();
  std::vector<int32_t> out;
  for (size_t i = 0; i < s.table.size(); ++i) {
    if (s.table[i].handle != 0 && s.table[i].parent == windowHandle) {
      out.push_back(static_cast<int32_t>(i));
    }
  }
  std::sort(out.begin(), out.end(), [&](int32_t a, int32_t b) {
    return s.table[static_cast<size_t>(a)].order < s.table[static_cast<size_t>(b)].order;
  });
  return out;
}

void Destroy(int32_t number) {
  GadgetEntry* g = Find(number);
  if (g == nullptr) return;
  const int32_t parent = g->parent;
  *g = GadgetEntry{};
  if (Surface* surface = SurfaceOf(parent)) {
    if (surface->focus == number) surface->focus = -1;
    if (surface->capture == number) surface->capture = -1;
    surface->dirty = true;
  }
}

int32_t Create(GadgetKind kind, int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
               const std::string& text) {
  GadgetState& s = State();
  if (number < 0 || number > kGadgetNumberLimit) return 0;
  if (!WindowHandleIsOpen(s.parent)) return 0;
  if (static_cast<size_t>(number) >= s.table.size()) {
    s.table.resize(static_cast<size_t>(number) + kGrowth);
  }
  Destroy(number);
  GadgetEntry& g = s.table[static_cast<size_t>(number)];
  g.handle = s.nextHandle;
  s.nextHandle = s.nextHandle == INT32_MAX ? kFirstControlHandle : s.nextHandle + 1;
  g.kind = kind;
  g.parent = s.parent;
  g.order = s.nextOrder++;
  g.x = x;
  g.y = y;
  g.width = std::max(0, width);
  g.height = std::max(0, height);
  g.text = CutAtNul(text);
  Surface& surface = s.surfaces[s.parent];
  surface.dirty = true;
  return g.handle;
}

void IpGoTo(GadgetEntry& g, int part, bool atEnd, bool select);

// --- Focus -------------------------------------------------------------------

// Gives the focus to gadget `number` (-1: to none), with the focus
// notifications of the text and IP fields. `byKeyboard` selects a text
// field's whole text, as focus moved by Tab does.
void SetFocus(int32_t windowHandle, int32_t number, bool byKeyboard) {
  Surface* surface = SurfaceOf(windowHandle);
  if (surface == nullptr || surface->focus == number) return;
  const int32_t old = surface->focus;
  surface->focus = number;
  surface->dirty = true;
  if (GadgetEntry* g = Find(old)) {
    g->partSelected = false;
    if (NotifiesFocus(g->kind)) WindowGadgetNotify(old, kNotifyFocusLost);
  }
  if (GadgetEntry* g = Find(number)) {
    if (byKeyboard && g->kind == GadgetKind::String) {
      g->anchor = 0;
      g->caret = g->text.size();
    }
    if (byKeyboard && g->kind == GadgetKind::IPAddress) IpGoTo(*g, 0, true, true);
    if (NotifiesFocus(g->kind)) WindowGadgetNotify(number, kNotifyFocusGained);
  }
}

// --- Text field ----------------------------------------------------------------

int StringTextWidth(const GadgetEntry& g) {
  return std::max(0, g.width - 2 * kFieldPadding);
}

// Keeps the caret inside the visible part of the field.
void ScrollToCaret(GadgetEntry& g) {
  const int visible = StringTextWidth(g);
  const int caretX = GadgetTextWidth(g.text.substr(0, g.caret));
  if (caretX - g.scroll > visible - 1) g.scroll = caretX - visible + 1;
  if (caretX < g.scroll) g.scroll = std::max(0, caretX - visible / 3);
  const int full = GadgetTextWidth(g.text);
  // No empty room at the right while the text is longer than the field.
  if (full - g.scroll < visible - 1) g.scroll = std::max(0, full - visible + 1);
}

// Byte offset in the text closest to pixel column x of the field's text.
size_t OffsetAt(const GadgetEntry& g, int x) {
  const int target = x + g.scroll;
  size_t lo = GadgetOffsetAtPixel(g.text, target);
  // Pick the nearer side of the character under the target.
  if (lo > 0) {
    int before = GadgetTextWidth(g.text.substr(0, lo - 1));
    int after = GadgetTextWidth(g.text.substr(0, lo));
    if (target - before < after - target) --lo;
  }
  return lo;
}

bool HasSelection(const GadgetEntry& g) {
  return g.anchor != g.caret;
}

// Removes the selected text; true when there was any.
bool DeleteSelection(GadgetEntry& g) {
  if (!HasSelection(g)) return false;
  size_t from = std::min(g.anchor, g.caret);
  size_t to = std::max(g.anchor, g.caret);
  g.text.erase(from, to - from);
  g.caret = g.anchor = from;
  return true;
}

bool Refuses(const GadgetEntry& g, char c) {
  return g.refused.find(c) != std::string::npos;
}

// Drops the refused bytes from the field's text and cuts it to the field's
// length, keeping the caret and selection inside.
void FitText(GadgetEntry& g) {
  std::erase_if(g.text, [&](char c) { return Refuses(g, c); });
  g.text.resize(std::min(g.text.size(), g.maxLength));
  g.caret = std::min(g.caret, g.text.size());
  g.anchor = std::min(g.anchor, g.text.size());
}

bool StringType(GadgetEntry& g, const std::string& typed) {
  std::string insert;
  for (char c : typed) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 32 && b != 127 && !Refuses(g, c)) insert.push_back(c);
  }
  if (insert.empty()) return false;
  bool changed = DeleteSelection(g);
  const size_t room = g.maxLength - std::min(g.text.size(), g.maxLength);
  insert.resize(std::min(insert.size(), room));
  if (!insert.empty()) {
    g.text.insert(g.caret, insert);
    g.caret += insert.size();
    changed = true;
  }
  g.anchor = g.caret;
  return changed;
}

// Returns true when the text changed.
bool StringKey(GadgetEntry& g, int key, int mods) {
  const bool shift = (mods & platform::kModShift) != 0;
  const bool ctrl = (mods & platform::kModCtrl) != 0;
  auto move = [&](size_t to) {
    g.caret = to;
    if (!shift) g.anchor = to;
  };
  switch (key) {
    case platform::kScanBackspace:
      if (DeleteSelection(g)) return true;
      if (g.caret == 0) return false;
      g.text.erase(g.caret - 1, 1);
      g.anchor = --g.caret;
      return true;
    case platform::kScanDelete:
      if (DeleteSelection(g)) return true;
      if (g.caret >= g.text.size()) return false;
      g.text.erase(g.caret, 1);
      return true;
    case platform::kScanLeft:
      if (!shift && HasSelection(g)) {
        move(std::min(g.anchor, g.caret));
      } else {
        move(g.caret > 0 ? g.caret - 1 : 0);
      }
      return false;
    case platform::kScanRight:
      if (!shift && HasSelection(g)) {
        move(std::max(g.anchor, g.caret));
      } else {
        move(std::min(g.text.size(), g.caret + 1));
      }
      return false;
    case platform::kScanHome:
      move(0);
      return false;
    case platform::kScanEnd:
      move(g.text.size());
      return false;
    case platform::kScanA:
      if (ctrl) {
        g.anchor = 0;
        g.caret = g.text.size();
      }
      return false;
    default:
      return false;
  }
}

// --- IP address field --------------------------------------------------------

int32_t IpValue(const GadgetEntry& g) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t part = 0;
    for (char c : g.parts[static_cast<size_t>(i)])
      part = part * 10 + static_cast<uint32_t>(c - '0');
    value |= std::min(part, 255u) << (8 * i);
  }
  return static_cast<int32_t>(value);
}

void IpGoTo(GadgetEntry& g, int part, bool atEnd, bool select) {
  g.part = part;
  g.caret = atEnd ? g.parts[static_cast<size_t>(part)].size() : 0;
  g.partSelected = select && !g.parts[static_cast<size_t>(part)].empty();
}

bool IpType(GadgetEntry& g, const std::string& typed) {
  bool changed = false;
  for (char c : typed) {
    const bool digit = c >= '0' && c <= '9';
    // A digit after a full part goes on into the next one instead of being lost.
    if (digit && !g.partSelected && g.part < 3 && g.caret == 3 &&
        g.parts[static_cast<size_t>(g.part)].size() == 3) {
      IpGoTo(g, g.part + 1, false, true);
    }
    std::string& part = g.parts[static_cast<size_t>(g.part)];
    if (digit) {
      if (g.partSelected) {
        part.clear();
        g.caret = 0;
        g.partSelected = false;
      }
      if (part.size() >= 3) continue;
      part.insert(g.caret, 1, c);
      ++g.caret;
      if (std::stoi(part) > 255) {
        part = "255";
        g.caret = 3;
      }
      changed = true;
      // A full part moves on to the next one.
      if (part.size() == 3 && g.caret == 3 && g.part < 3) IpGoTo(g, g.part + 1, false, true);
    } else if (c == '.' || c == ' ') {
      if (!part.empty() && g.part < 3 && !g.partSelected) IpGoTo(g, g.part + 1, false, true);
    }
  }
  return changed;
}

bool IpKey(GadgetEntry& g, int key) {
  std::string& part = g.parts[static_cast<size_t>(g.part)];
  switch (key) {
    case platform::kScanBackspace:
      if (g.partSelected || (g.caret > 0 && part.size() > 0)) {
        if (g.partSelected) {
          part.clear();
          g.caret = 0;
          g.partSelected = false;
        } else {
          part.erase(g.caret - 1, 1);
          --g.caret;
        }
        return true;
      }
      if (g.part > 0) IpGoTo(g, g.part - 1, true, false);
      return false;
    case platform::kScanDelete:
      if (g.partSelected) {
        part.clear();
        g.caret = 0;
        g.partSelected = false;
        return true;
      }
      if (g.caret < part.size()) {
        part.erase(g.caret, 1);
        return true;
      }
      return false;
    case platform::kScanLeft:
      if (g.partSelected) {
        g.partSelected = false;
        g.caret = 0;
      } else if (g.caret > 0) {
        --g.caret;
      } else if (g.part > 0) {
        IpGoTo(g, g.part - 1, true, false);
      }
      return false;
    case platform::kScanRight:
      if (g.partSelected) {
        g.partSelected = false;
        g.caret = part.size();
      } else if (g.caret < part.size()) {
        ++g.caret;
      } else if (g.part < 3) {
        IpGoTo(g, g.part + 1, false, false);
      }
      return false;
    case platform::kScanHome:
      IpGoTo(g, 0, false, false);
      return false;
    case platform::kScanEnd:
      IpGoTo(g, 3, true, false);
      return false;
    default:
      return false;
  }
}

// Focuses the part under pixel column x (relative to the gadget). A part
// that holds digits is selected whole, so that what is typed next replaces
// it; in an empty one the caret simply stands there.
void IpClick(GadgetEntry& g, int x) {
  int part = 0;
  for (int i = 1; i < 4; ++i) {
    if (x >= IpPartLeft(g, i)) part = i;
  }
  IpGoTo(g, part, true, true);
}

// --- Events --------------------------------------------------------------------

bool Inside(const GadgetEntry& g, int x, int y) {
  return x >= g.x && y >= g.y && x < g.x + g.width && y < g.y + g.height;
}

// The gadget under the pointer: the last created one wins where gadgets overlap.
int32_t HitTest(int32_t windowHandle, int x, int y) {
  int32_t hit = -1;
  for (int32_t n : Children(windowHandle)) {
    if (Inside(*Find(n), x, y)) hit = n;
  }
  return hit;
}

void Changed(int32_t number, GadgetEntry& g) {
  if (g.kind == GadgetKind::String) ScrollToCaret(g);
  WindowGadgetNotify(number, kNotifyChanged);
}

void KeyDown(int32_t windowHandle, Surface& surface, const platform::WindowEvent& ev) {
  GadgetEntry* g = Find(surface.focus);
  if (g == nullptr) return;
  surface.dirty = true;
  switch (g->kind) {
    case GadgetKind::String:
      if (StringKey(*g, ev.key, ev.mods)) {
        Changed(surface.focus, *g);
      } else {
        ScrollToCaret(*g);
      }
      break;
    case GadgetKind::IPAddress:
      if (IpKey(*g, ev.key)) Changed(surface.focus, *g);
      break;
    case GadgetKind::Button:
      if (ev.key == platform::kScanSpace) g->pressed = true;
      // Return pushes the focused button as well, as desktop users expect.
      if (ev.key == platform::kScanReturn || ev.key == platform::kScanKeypadEnter) {
        WindowGadgetNotify(surface.focus, kNotifyClicked);
      }
      break;
    case GadgetKind::Text:
      break;
  }
}

void KeyUp(Surface& surface, const platform::WindowEvent& ev) {
  GadgetEntry* g = Find(surface.focus);
  if (g == nullptr || g->kind != GadgetKind::Button || ev.key != platform::kScanSpace) return;
  if (g->pressed && surface.capture != surface.focus) {
    g->pressed = false;
    surface.dirty = true;
    WindowGadgetNotify(surface.focus, kNotifyClicked);
  }
}

void TextTyped(Surface& surface, const platform::WindowEvent& ev) {
  GadgetEntry* g = Find(surface.focus);
  if (g == nullptr) return;
  bool changed = false;
  if (g->kind == GadgetKind::String) changed = StringType(*g, ev.text);
  if (g->kind == GadgetKind::IPAddress) changed = IpType(*g, ev.text);
  surface.dirty = true;
  if (changed) Changed(surface.focus, *g);
}

void MouseDown(int32_t windowHandle, Surface& surface, const platform::WindowEvent& ev) {
  if (ev.button != 1) return;
  const int32_t hit = HitTest(windowHandle, ev.x, ev.y);
  GadgetEntry* g = Find(hit);
  if (g == nullptr || !TakesFocus(g->kind)) return;
  SetFocus(windowHandle, hit, false);
  surface.capture = hit;
  surface.dirty = true;
  if (g->kind == GadgetKind::Button) {
    g->pressed = true;
  } else if (g->kind == GadgetKind::String) {
    g->caret = OffsetAt(*g, ev.x - g->x - kFieldPadding);
    if ((ev.mods & platform::kModShift) == 0) g->anchor = g->caret;
    ScrollToCaret(*g);
  } else if (g->kind == GadgetKind::IPAddress) {
    IpClick(*g, ev.x - g->x);
  }
}

void MouseMove(int32_t windowHandle, Surface& surface, const platform::WindowEvent& ev) {
  const int32_t hit = HitTest(windowHandle, ev.x, ev.y);
  for (int32_t n : Children(windowHandle)) {
    GadgetEntry* g = Find(n);
    bool hot = n == hit && (surface.capture == -1 || surface.capture == n);
    if (g->hot != hot) {
      g->hot = hot;
      surface.dirty = true;
    }
  }
  GadgetEntry* held = Find(surface.capture);
  if (held == nullptr) return;
  if (held->kind == GadgetKind::Button) {
    bool in = Inside(*held, ev.x, ev.y);
    if (held->pressed != in) {
      held->pressed = in;
      surface.dirty = true;
    }
  } else if (held->kind == GadgetKind::String) {
    size_t caret = OffsetAt(*held, ev.x - held->x - kFieldPadding);
    if (caret != held->caret) {
      held->caret = caret;
      ScrollToCaret(*held);
      surface.dirty = true;
    }
  }
}

void MouseUp(Surface& surface, const platform::WindowEvent& ev) {
  if (ev.button != 1) return;
  const int32_t held = surface.capture;
  surface.capture = -1;
  GadgetEntry* g = Find(held);
  if (g == nullptr || g->kind != GadgetKind::Button) return;
  const bool click = g->pressed && Inside(*g, ev.x, ev.y);
  g->pressed = false;
  surface.dirty = true;
  if (click) WindowGadgetNotify(held, kNotifyClicked);
}

void ReleaseMouse(Surface& surface) {
  if (GadgetEntry* g = Find(surface.capture)) g->pressed = false;
  if (GadgetEntry* g = Find(surface.focus)) g->pressed = false;
  surface.capture = -1;
}

}  // namespace

// --- Window library side -----------------------------------------------------

void GadgetHandleEvent(int32_t windowHandle, const platform::WindowEvent& ev) {
  Surface* surface = SurfaceOf(windowHandle);
  if (surface == nullptr) return;
  using platform::EventKind;
  switch (ev.kind) {
    case EventKind::KeyDown:
      KeyDown(windowHandle, *surface, ev);
      break;
    case EventKind::KeyUp:
      KeyUp(*surface, ev);
      break;
    case EventKind::Text:
      TextTyped(*surface, ev);
      break;
    case EventKind::MouseDown:
      MouseDown(windowHandle, *surface, ev);
      break;
    case EventKind::MouseMove:
      MouseMove(windowHandle, *surface, ev);
      break;
    case EventKind::MouseUp:
      MouseUp(*surface, ev);
      break;
    case EventKind::FocusGained:
      surface->active = true;
      surface->dirty = true;
      break;
    case EventKind::FocusLost:
      surface->active = false;
      ReleaseMouse(*surface);
      surface->dirty = true;
      break;
    case EventKind::Resized:
    case EventKind::Exposed:
      surface->dirty = true;
      break;
    default:
      break;
  }
}

void GadgetMoveFocus(int32_t windowHandle, bool forward) {
  Surface* surface = SurfaceOf(windowHandle);
  if (surface == nullptr) return;
  std::vector<int32_t> stops;
  for (int32_t n : Children(windowHandle)) {
    if (TakesFocus(Find(n)->kind)) stops.push_back(n);
  }
  if (stops.empty()) return;
  auto at = std::find(stops.begin(), stops.end(), surface->focus);
  int32_t next;
  if (at == stops.end()) {
    next = forward ? stops.front() : stops.back();
  } else if (forward) {
    next = (at + 1 == stops.end()) ? stops.front() : *(at + 1);
  } else {
    next = (at == stops.begin()) ? stops.back() : *(at - 1);
  }
  ReleaseMouse(*surface);
  SetFocus(windowHandle, next, true);
  if (GadgetEntry* g = Find(next); g != nullptr && g->kind == GadgetKind::String) ScrollToCaret(*g);
}

void GadgetWindowClosed(int32_t windowHandle) {
  GadgetState& s = State();
  for (GadgetEntry& g : s.table) {
    if (g.handle != 0 && g.parent == windowHandle) g = GadgetEntry{};
  }
  s.surfaces.erase(windowHandle);
  if (s.parent == windowHandle) s.parent = 0;
}

void GadgetPaintPending() {
  GadgetState& s = State();
  platform::Platform& p = platform::Current();
  for (auto& [handle, surface] : s.surfaces) {
    if (!surface.dirty) continue;
    surface.dirty = false;
    std::vector<int32_t> children = Children(handle);
    // A window without gadgets shows what others present into it.
    if (children.empty()) continue;
    platform::Rect bounds = p.WindowBounds(handle);
    // A window opened at twice its size is drawn at its own size and scaled up.
    const int32_t scale = WindowHandleScale(handle);
    GadgetCanvas& canvas = surface.canvas;
    canvas.width = std::max(1, bounds.width / scale);
    canvas.height = std::max(1, bounds.height / scale);
    CanvasClear(canvas, kFaceColour);
    for (int32_t n : children) {
      GadgetLook look;
      look.focused = surface.focus == n;
      look.windowActive = surface.active;
      GadgetPaint(canvas, *Find(n), look);
    }
    platform::PresentRequest request;
    request.pixels = canvas.pixels.data();
    request.width = canvas.width;
    request.height = canvas.height;
    request.pitch = canvas.width * 4;
    request.layout = platform::PixelLayout::Xrgb8888;
    request.fitToWindow = scale > 1;
    p.WindowPresent(handle, request);
  }
}

// --- Public operations -----------------------------------------------------------

int32_t GadgetListCreate(int32_t windowHandle) {
  GadgetState& s = State();
  s.parent = windowHandle;
  if (WindowHandleIsOpen(windowHandle)) {
    Surface& surface = s.surfaces[windowHandle];
    surface.active = platform::Current().WindowFocused(windowHandle);
  }
  return windowHandle;
}

int32_t GadgetButton(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const std::string& text) {
  return Create(GadgetKind::Button, number, x, y, width, height, text);
}

int32_t GadgetString(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const std::string& text) {
  int32_t handle = Create(GadgetKind::String, number, x, y, width, height, text);
  if (handle != 0) FitText(*Find(number));
  return handle;
}

int32_t GadgetText(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                   const std::string& text) {
  return Create(GadgetKind::Text, number, x, y, width, height, text);
}

int32_t GadgetIPAddress(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height) {
  return Create(GadgetKind::IPAddress, number, x, y, width, height, std::string());
}

std::string GadgetGetText(int32_t number) {
  GadgetEntry* g = Find(number);
  if (g == nullptr) return {};
  if (g->kind == GadgetKind::IPAddress) {
    const uint32_t v = static_cast<uint32_t>(IpValue(*g));
    std::string out;
    for (int i = 0; i < 4; ++i) {
      if (i > 0) out += '.';
      out += std::to_string((v >> (8 * i)) & 0xFF);
    }
    return out;
  }
  return g->text.substr(0, kGadgetTextLimit);
}

void GadgetSetText(int32_t number, const std::string& text) {
  GadgetEntry* g = Find(number);
  if (g == nullptr) return;
  if (g->kind == GadgetKind::IPAddress) {
    if (!text.empty()) return;
    for (std::string& part : g->parts) part.clear();
    g->caret = 0;
    g->partSelected = false;
  } else {
    g->text = CutAtNul(text);
    g->caret = g->anchor = 0;
    g->scroll = 0;
    if (g->kind == GadgetKind::String) FitText(*g);
  }
  MarkDirty(g->parent);
}

int32_t GadgetStringLimit(int32_t number, int32_t maxLength, const std::string& refused) {
  GadgetEntry* g = Find(number);
  if (g == nullptr || g->kind != GadgetKind::String) return 0;
  g->maxLength = static_cast<size_t>(std::clamp(maxLength, 0, kGadgetTypingLimit));
  g->refused = refused;
  FitText(*g);
  ScrollToCaret(*g);
  MarkDirty(g->parent);
  return 1;
}

void GadgetSetState(int32_t number, int32_t value) {
  GadgetEntry* g = Find(number);
  if (g == nullptr) return;
  if (g->kind == GadgetKind::IPAddress) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
      g->parts[static_cast<size_t>(i)] = std::to_string((v >> (8 * i)) & 0xFF);
    }
    g->caret = std::min(g->caret, g->parts[static_cast<size_t>(g->part)].size());
    MarkDirty(g->parent);
  } else if (g->kind == GadgetKind::Button) {
    g->check = value;
  }
}

int32_t GadgetGetState(int32_t number) {
  GadgetEntry* g = Find(number);
  if (g == nullptr) return 0;
  if (g->kind == GadgetKind::IPAddress) return IpValue(*g);
  if (g->kind == GadgetKind::Button) return g->check;
  return 0;
}

int32_t GadgetFocus(int32_t windowHandle) {
  Surface* surface = SurfaceOf(windowHandle);
  return surface != nullptr && Find(surface->focus) != nullptr ? surface->focus : -1;
}

void GadgetInit() {
  GadgetState& s = State();
  s.table.assign(kInitialGadgets, GadgetEntry{});
  s.parent = 0;
  s.surfaces.clear();
  // Opens the gadget font now, so the first painting does not pay for it.
  int w = 0;
  int h = 0;
  platform::FontMeasure("Ag", kGadgetFontSize, false, &w, &h);
}
