#pragma once
// The join program's memory of the address it last reached a host at: one
// line of text in the user's state folder, read at start-up to fill the
// start window's address field and written (atomically, so a crash never
// leaves half a file) once a host has answered.

#include <string>

namespace join {

// The address used when nothing (usable) is remembered.
inline constexpr char kDefaultHostAddress[] = "127.0.0.1";

// $XDG_STATE_HOME/skirmora/last-host, or ~/.local/state/skirmora/last-host
// when XDG_STATE_HOME is unset or not an absolute path; "" when neither it
// nor HOME gives a folder.
std::string LastAddressPath();

// The address the file holds, or kDefaultHostAddress when the path is empty,
// the file is missing or unreadable, or it holds anything but one dotted
// IPv4 address.
std::string LastAddressLoad(const std::string& path);

// Writes the address (a dotted IPv4 address, else nothing is written) to the
// path, making its folder when needed: first into a temporary file beside
// it, then renamed over it. True when the file holds the address afterwards.
bool LastAddressSave(const std::string& path, const std::string& address);

}  // namespace join
