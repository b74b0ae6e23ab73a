#pragma once
// Gadgets: the controls inside a window of the window library. Four kinds:
// push button, single-line text field, static text and IP address field.
// Gadgets are addressed by small numbers chosen by the caller, live as long as
// their window and are drawn by this library into their window. Their
// notifications come out of the window event loop as event 13100, with the
// gadget number in EventGadget.
//
// Texts are single-byte Windows-1252 strings.

#include <cstdint>
#include <string>

// Highest gadget number accepted; larger numbers create nothing.
constexpr int32_t kGadgetNumberLimit = 65535;

// Notification codes (EventType) of gadget events.
constexpr int32_t kNotifyClicked = 0;
constexpr int32_t kNotifyFocusGained = 0x100;
constexpr int32_t kNotifyFocusLost = 0x200;
constexpr int32_t kNotifyChanged = 0x300;

// Longest text GadgetGetText hands back; longer texts are cut.
constexpr int32_t kGadgetTextLimit = 31999;
// Longest text a user can type into a text field.
constexpr int32_t kGadgetTypingLimit = 32767;

// Makes the window with this handle the parent of the gadgets created next and
// returns the handle. Gadgets created while the parent is not an open window
// of the window library are not created (their constructors return 0).
int32_t GadgetListCreate(int32_t windowHandle);

// Constructors. Each returns a non-zero control handle, or 0 when the gadget
// could not be created (bad number, no parent window). A gadget already using
// the number is destroyed first. Positions and sizes are client pixels.
int32_t GadgetButton(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const std::string& text);
int32_t GadgetString(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const std::string& text);
int32_t GadgetText(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                   const std::string& text);
int32_t GadgetIPAddress(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height);

// Text of a gadget: the window text of buttons, text fields and static texts
// (at most kGadgetTextLimit bytes); for the IP address field the four parts
// as decimal numbers joined by dots, a blank part reading as 0. Empty for a
// number without a gadget.
std::string GadgetGetText(int32_t number);

// Sets the text of a button, text field or static text. On the IP address
// field an empty text clears all four parts and any other text is ignored.
// Text after a NUL byte is dropped.
void GadgetSetText(int32_t number, const std::string& text);

// Text field: at most maxLength bytes (held within 0 to kGadgetTypingLimit)
// can be typed, a longer text set by GadgetSetText is cut, and no byte of
// `refused` is taken, whether typed or set. The field's current text is
// brought within these limits at once. They last until the gadget is created
// again. No effect on other kinds. 1 on success, 0 when there is no such text
// field.
int32_t GadgetStringLimit(int32_t number, int32_t maxLength, const std::string& refused);

// IP address field: sets the address from a value with the first part in the
// lowest byte. Button: sets its check state. No effect on the other kinds.
void GadgetSetState(int32_t number, int32_t value);

// IP address field: the address, first part in the lowest byte. Button: its
// check state. 0 otherwise.
int32_t GadgetGetState(int32_t number);

// Number of the gadget with the keyboard focus in the window with this
// handle, or -1 when no gadget there has it.
int32_t GadgetFocus(int32_t windowHandle);

// Start-up hook: an empty gadget table of 30 entries, the gadget font checked.
void GadgetInit();
