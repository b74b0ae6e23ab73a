#pragma once
// Pictures that the local game and the network programs share.

#include <cstdint>
#include <span>

namespace assets {

// The planes (100, 101, 110, 111), the explosion frames (161 to 179) and the
// cloud band (200); empty for any other number.
std::span<const uint8_t> SharedImage(int number);

}  // namespace assets
