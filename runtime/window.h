#pragma once
// Numbered desktop windows and their event loop.
//
// A window is addressed by a small number chosen by the caller. Its handle is
// the platform window id (positive), which the display takes to draw into the
// window and which GadgetListCreate takes to put gadgets into it. The event
// loop turns the platform's window events into a few event codes: 0 (nothing
// waiting), 5 (size change), 16 (close asked; the window stays open), 13100
// (a gadget notification; EventGadget tells which gadget), and for everything
// else the raw message number of the classic desktop API (for example 512 for
// a mouse move), listed below.

#include <cstdint>
#include <string>

// Flags word of WindowOpen. All other bits are window style bits.
constexpr int32_t kWindowCentre = 0x00000001;          // centre on the screen
constexpr int32_t kWindowCentreOnActive = 0x00000002;  // centre on the active window
constexpr int32_t kWindowHidden = 0x10000000;          // create hidden

// Window style bits that change what the window looks like.
constexpr int32_t kStyleVisible = 0x10000000;
constexpr int32_t kStyleCaption = 0x00C00000;  // title bar (border + caption bits)
constexpr int32_t kStyleSysMenu = 0x00080000;
constexpr int32_t kStyleSizeBorder = 0x00040000;
constexpr int32_t kStylePopup = static_cast<int32_t>(0x80000000u);

// Event codes of WindowPollEvent and WindowWaitEvent.
constexpr int32_t kEventNone = 0;
constexpr int32_t kEventSize = 5;
constexpr int32_t kEventClose = 16;
constexpr int32_t kEventGadget = 13100;
// Raw message numbers for the events that are not translated.
constexpr int32_t kEventMove = 3;
constexpr int32_t kEventFocusGained = 7;
constexpr int32_t kEventFocusLost = 8;
constexpr int32_t kEventPaint = 15;
constexpr int32_t kEventKeyDown = 256;
constexpr int32_t kEventKeyUp = 257;
constexpr int32_t kEventChar = 258;
constexpr int32_t kEventMouseMove = 512;
constexpr int32_t kEventLeftDown = 513;
constexpr int32_t kEventLeftUp = 514;
constexpr int32_t kEventRightDown = 516;
constexpr int32_t kEventRightUp = 517;
constexpr int32_t kEventMiddleDown = 519;
constexpr int32_t kEventMiddleUp = 520;

// Commands of the per-window keyboard accelerators.
constexpr int32_t kCommandFocusNext = 1212;      // Tab
constexpr int32_t kCommandFocusPrevious = 1213;  // Shift+Tab

// Highest window number accepted; larger numbers fail like an impossible window.
constexpr int32_t kWindowNumberLimit = 65535;

// Opens window `number` with a client area of width x height at (x, y), or
// centred as the flags say, and returns its handle (0 on failure). A window
// already open under this number is closed first, gadgets and all.
int32_t WindowOpen(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                   int32_t flags, const std::string& title);

// As WindowOpen, but the window shows everything `scale` times its size
// (1 to 4): x, y, width and height are screen pixels divided by scale, the
// gadgets are drawn at that size and scaled up, and mouse positions are
// divided by scale before the gadgets see them.
int32_t WindowOpenScaled(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                         int32_t flags, const std::string& title, int32_t scale);

// Handle of the most recently opened window that is still open, else 0.
int32_t WindowHandle();

// Takes one waiting event and returns its code; 0 at once when none waits.
int32_t WindowPollEvent();

// Waits for the next event and returns its code. Returns 0 only when no
// window is open, since then no event can ever come.
int32_t WindowWaitEvent();

// Gadget number of the last gadget event (code 13100).
int32_t EventGadget();

// Notification code of the last gadget event: 0 click, 0x100 focus gained,
// 0x200 focus lost, 0x300 text changed.
int32_t EventType();

// The style bits a flags word gives: bits 0x1 and 0x2 removed, the title bar
// added when nothing (or only the hidden bit) remains, then the visible bit flipped.
int32_t WindowStyleFromFlags(int32_t flags);

// Handle of window `number`, or 0 when it is not open.
int32_t WindowNumberHandle(int32_t number);

// Style and class name ("WindowClass_<number>") of an open window; 0 and the
// empty text for a number without a window.
int32_t WindowStyle(int32_t number);
std::string WindowClassName(int32_t number);

// False while a message box has disabled the program's windows; input to a
// disabled window is dropped.
bool WindowEnabled(int32_t number);

// Start-up hook: an empty window table of 10 entries. Also lets message boxes
// disable the windows while they are up.
void WindowInit();

// End hook: closes every window, from the highest number down to 0.
void WindowEnd();
