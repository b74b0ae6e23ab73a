#pragma once
// The one built-in typeface (a DejaVu sans), rasterised for screen text and
// for the gadgets of the window library. Works with or without a display.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Coverage of rendered text: one byte per pixel, 0 (none) to 255 (full).
struct TextBitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> coverage;
};

// Renders single-byte Windows-1252 text at the given pixel size. An empty text
// gives a bitmap of width 0 and the line height. False when the font cannot
// be used.
bool FontRender(const std::string& text, int pixelSize, bool bold, TextBitmap* out);

// Width and height that FontRender would produce, without rendering.
bool FontMeasure(const std::string& text, int pixelSize, bool bold, int* width, int* height);

}  // namespace platform
