#pragma once
// One colour blended over a row of pixels thirty-two bytes at a time, for
// processors with AVX2: the full-screen fade. Not for use outside the
// rasteriser.
//
// Each blend does whole groups from the start of the row and returns how many
// pixels it did; the caller does the rest. The arithmetic is the rasteriser's
// own, lane by lane, so the pixels are the same. The file is compiled for
// AVX2, so none of its code may run before the processor is known to have it:
// the two pointers below are plain data.

#include <cstdint>

namespace media::wide {

// colour x alpha + pixel x (1 - alpha) over dst[0 .. count-1], in the pixel
// format of the blend (32-bit or 5-6-5); alpha 0 .. 255.
using OneColourBlend = int (*)(void* dst, int count, uint32_t colour, uint32_t alpha);

// Null when the file was built without AVX2.
extern const OneColourBlend kBlendOneColour32;
extern const OneColourBlend kBlendOneColour16;

}  // namespace media::wide
