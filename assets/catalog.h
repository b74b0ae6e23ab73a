#pragma once
// The built-in pictures, recordings and tune, stored inside the programs.
// Every span stays valid for the life of the program; an empty span means
// there is no such asset. The files are made by the tools in tools/.

#include <cstdint>
#include <span>

namespace assets {

// The local game's images by catalogue number (24-bit BMPs and PNGs).
std::span<const uint8_t> LocalImage(int number);

// The network programs' images by catalogue number; the shot (150) is a
// 24-bit BMP there.
std::span<const uint8_t> NetworkImage(int number);

// The recordings as WAV files: 'A' engine, 'B' shot, 'C' hit.
std::span<const uint8_t> Recording(char which);

// The tune, a module in the layout the music player reads. The player works
// on the data in place, so it takes a writable copy of these bytes.
std::span<const uint8_t> Module();

}  // namespace assets
