#pragma once
// The start window of the network programs: a small dialog with the player's
// name, the host address and the buttons Host, Client and Ende. Both network
// programs show it the same way before their lobby.

#include <cstdint>
#include <string>

// Gadget numbers of the start window.
constexpr int32_t kStartAddressGadget = 0;
constexpr int32_t kStartHostGadget = 1;
constexpr int32_t kStartClientGadget = 2;
constexpr int32_t kStartNameGadget = 3;
constexpr int32_t kStartNameLabelGadget = 4;
constexpr int32_t kStartAddressLabelGadget = 5;
constexpr int32_t kStartEndGadget = 6;

// Longest player name, in bytes. Names travel inside the wire messages, so
// the field refuses the field separator ":", the message end "#" and control
// characters.
constexpr int32_t kPlayerNameLimit = 32;
inline constexpr char kPlayerNameRefused[] = ":#";

// Window 0's flags: title bar, system menu and sizing border, centred on the screen.
constexpr int32_t kStartWindowFlags = 0x00CC0001;

struct StartWindowValues {
  std::string playerName;   // text of the name field
  std::string addressText;  // dotted address a.b.c.d of the address field
};

// The address field's value (first field in the lowest byte) of a dotted
// IPv4 address: exactly four decimal fields of one to three digits, each at
// most 255. False (value untouched) for anything else.
bool ParseDottedAddress(const std::string& text, int32_t* value);

// Opens window 0 with its gadgets and initial values; the address field
// shows `address` when it is a dotted IPv4 address, else 127.0.0.1. Returns
// the window handle, or 0 when the window could not be opened (then no
// gadget exists).
int32_t StartWindowOpen(const std::string& address = "");

// Waits until Host or Client is pressed (returns 1) or Ende (returns 0).
// Every other event, the close box included, is ignored. Also returns 0 when
// no window is open, since nothing could end the wait then.
int32_t StartWindowLoop();

// Reads the address and name fields. The name is cleaned as the field cleans
// typed text, whatever was set into the field.
StartWindowValues StartWindowRead();

// The name without ":", "#" and control characters, cut to kPlayerNameLimit bytes.
std::string CleanPlayerName(const std::string& name);

// The whole procedure: open (the address field showing values->addressText
// when that is a dotted address), wait, read. Returns 1 with the values filled in
// when the program goes on to its lobby, 0 when it is to take the exit path.
// The window stays open either way.
int32_t StartWindowShow(StartWindowValues* values);
