#pragma once
// What the window library, the gadget library and the gadget painter share.
// Not for use outside runtime/.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "runtime/gadget.h"

// --- Window library side, called by the gadgets ------------------------------

// Records a gadget notification as the event of the message being handled
// (code 13100). When several arrive during one message, the last one counts.
void WindowGadgetNotify(int32_t gadget, int32_t notification);

// True when the handle belongs to an open window of the library.
bool WindowHandleIsOpen(int32_t handle);

// How many screen pixels one pixel of the window's gadgets takes (1, or 2 for
// a window opened at twice its size); 1 for a handle that is not open.
int32_t WindowHandleScale(int32_t handle);

// --- Gadget library side, called by the window event loop --------------------

// Handles one event of a window with the given handle (after the accelerators).
void GadgetHandleEvent(int32_t windowHandle, const platform::WindowEvent& event);

// Moves the keyboard focus among the window's tab-stop gadgets.
void GadgetMoveFocus(int32_t windowHandle, bool forward);

// The window is about to close: its gadgets go with it.
void GadgetWindowClosed(int32_t windowHandle);

// Repaints and presents every window whose gadgets changed since it was last shown.
void GadgetPaintPending();

// --- Shared between the gadget library and its painter -----------------------

enum class GadgetKind { Button, String, Text, IPAddress };

struct GadgetEntry {
  int32_t handle = 0;  // control handle, 0 = free entry
  GadgetKind kind = GadgetKind::Button;
  int32_t parent = 0;  // handle of the parent window
  uint64_t order = 0;  // creation sequence, for tab order and stacking
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::string text;      // window text (button, text field, static text)
  int32_t check = 0;     // button check state
  bool pressed = false;  // button drawn pushed in
  bool hot = false;      // mouse over the gadget
  // Text field: caret and selection anchor as byte offsets, horizontal scroll in pixels.
  size_t caret = 0;
  size_t anchor = 0;
  int32_t scroll = 0;
  // Text field: most bytes it holds, and bytes it never takes.
  size_t maxLength = kGadgetTypingLimit;
  std::string refused;
  // IP address field: four parts of up to three digits, blank allowed.
  std::array<std::string, 4> parts;
  int32_t part = 0;           // part with the caret
  bool partSelected = false;  // the whole current part is selected
};

// A window's picture of its gadgets.
struct GadgetCanvas {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, width * height
};

struct GadgetLook {
  bool focused = false;       // the gadget has the keyboard focus
  bool windowActive = false;  // its window has the keyboard focus
};

// Layout constants shared by input handling and painting.
constexpr int kGadgetFontSize = 12;
constexpr int kFieldPadding = 3;  // border plus gap to the text in text and IP fields

// Width of a text in the gadget font, in pixels.
int GadgetTextWidth(const std::string& text);
// First byte offset whose text prefix is at least x pixels wide (the text's
// length when none is).
size_t GadgetOffsetAtPixel(const std::string& text, int x);
// Height of a line in the gadget font.
int GadgetLineHeight();
// The visible label of a button or static text: '&' marks are removed, "&&" is '&'.
std::string GadgetLabel(const std::string& text);
// Left edge of IP part i (0..3) and the width of every part, relative to the gadget.
int IpPartLeft(const GadgetEntry& gadget, int part);
int IpPartWidth(const GadgetEntry& gadget);

void CanvasClear(GadgetCanvas& canvas, uint32_t colour);
void GadgetPaint(GadgetCanvas& canvas, const GadgetEntry& gadget, const GadgetLook& look);
