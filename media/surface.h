#pragma once
// Internals shared by the display, image, 3D sprite and text code of the
// media library. Not for use outside media/.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/display.h"

namespace media {

// What the rasteriser found out about a texture's texels, kept until the
// pixels change (see Surface::revision).
struct TexelSummary {
  bool found = false;
  uint64_t revision = 0;  // of the surface when it was found
  const uint8_t* pixels = nullptr;
  int width = 0, height = 0, bytesPerPixel = 0, pitch = 0;
  bool oneTexel = false;  // every texel is the same: `texel`
  uint32_t texel = 0;
  // For each texel row the first and last column that is not the colour key,
  // and for each column the first and last such row; first > last when the
  // whole row or column is the key.
  std::vector<int32_t> rowFirst, rowLast, columnFirst, columnLast;
  // The texels transposed: column x of the texture as row x, rows
  // columnPitch bytes apart. Empty for a texture too large to copy.
  std::vector<uint8_t> columns;
  int columnPitch = 0;
};

// A rectangle of pixels in the screen's own pixel format: 2 bytes per pixel
// (5-6-5) on a 16-bit screen, 4 bytes per pixel (blue in the lowest byte,
// red in the third, top byte unused and 0) on a 32-bit screen.
struct Surface {
  int width = 0;
  int height = 0;
  int bytesPerPixel = 4;
  int pitch = 0;  // bytes per row
  std::vector<uint8_t> pixels;
  // Counts the writable accesses (Row and SetPixel of a surface that is not
  // const): a texel summary taken at another count is out of date. Code that
  // changes pixels another way must start a fresh surface or count here.
  uint64_t revision = 0;
  mutable TexelSummary summary;
  // Set by a kept picture made from this surface's pixels (a serial of the
  // picture's own): while the mark and the revision are what the picture
  // recorded, the pixels are the same. A fresh surface has no mark.
  mutable uint64_t keptMark = 0;

  uint8_t* Row(int y) {
    ++revision;
    return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(pitch);
  }
  const uint8_t* Row(int y) const {
    return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(pitch);
  }
  // The raw pixel value at (x, y), in the surface's own format.
  uint32_t Pixel(int x, int y) const {
    uint32_t value = 0;
    std::memcpy(&value, Row(y) + static_cast<size_t>(x) * static_cast<size_t>(bytesPerPixel),
                static_cast<size_t>(bytesPerPixel));
    return value;
  }
  void SetPixel(int x, int y, uint32_t value) {
    std::memcpy(Row(y) + static_cast<size_t>(x) * static_cast<size_t>(bytesPerPixel), &value,
                static_cast<size_t>(bytesPerPixel));
  }
};

// Bytes per row of a texture image. A 3D sprite turned by about a quarter
// turn reads its texture down the columns, one row per screen pixel; with rows
// a multiple of 256 bytes apart (a texture 256 texels wide, say) the texels of
// a column fall into only a few sets of the processor's cache and nearly every
// read misses. One cache line more per row spreads a column over all the sets.
// The extra bytes at the end of each row are never shown or read.
inline int TexturePitch(int width, int bytesPerPixel) {
  const int rowBytes = width * bytesPerPixel;
  return rowBytes % 256 == 0 ? rowBytes + 64 : rowBytes;
}

// One slot of the image table.
struct ImageSlot {
  bool used = false;
  Surface surface;
  int16_t width = 0;
  int16_t height = 0;
  int16_t depth = 0;
  int16_t mode = 0;
  std::string sourceName;
};

class TileGrid;

// The back buffer frames are composed in, whole (a waiting clear is done
// first); null when no screen is open.
Surface* DisplayBackBuffer();
// The back buffer made ready for drawing inside the rectangle: where a clear
// waits, the tiles the rectangle meets are cleared first. Whoever draws on the
// screen asks for the part it draws into and writes nowhere else. Null when
// no screen is open.
Surface* DisplayDrawInto(int x, int y, int width, int height);
// The open screen's rectangle; empty with no screen.
ScreenArea DisplayArea();

// A clear waits from ScreenClear until a frame needs the whole back buffer
// (DisplayBackBuffer, ScreenFlip) or a layer ends it: true while it does.
bool DisplayClearWaits();
// Ends a waiting clear with a layer of adding pixels on top: the picture is
// the clear colour, what was drawn since (under the layer), and the layer's
// pixels added to them, each channel saturated. Layer tiles not marked are
// black. A layer of the same serial, on the same colour, as the last one
// leaves alone the tiles that nothing has drawn into since then, so a frame
// whose background stands still costs only what moves on it. Does what
// ScreenFlip would when the layer does not fit the screen.
void DisplayClearWithLayer(const Surface& layer, const TileGrid& layerTiles, uint64_t layerSerial);
// True while drawing and presenting are allowed (a screen is open and active).
bool DisplayActive();
// Pixel format code 1..7 of the open screen (3 = 16-bit 5-6-5, 7 = 32-bit), 0 with no screen.
int DisplayPixelFormatCode();
// Bytes per pixel of the back buffer (2 or 4), 0 with no screen.
int DisplayBytesPerPixel();
// Millisecond time taken when the screen was last opened and cleared.
uint32_t DisplayScreenStamp();

// Every writer of the back buffer says where it wrote (any rectangle; the part
// outside the screen is ignored), so that presenting compares only that part
// with the window. DisplayDamageAll for the whole screen.
void DisplayDamage(int x, int y, int width, int height);
void DisplayDamageAll();

// Image numbers above this are refused, so that a stray number cannot make
// the table take gigabytes.
constexpr int kMaxImageNumber = 65535;

// The image table belongs to the display: images are kept in the screen's
// pixel format, and closing the screen frees them all.
// The image under a number, or null when there is none. The slot stays at the
// same address until the image is freed or replaced.
ImageSlot* ImageFind(int number);
// A fresh, empty slot under number (an image there is freed first), growing
// the table as needed; null when the number is out of range.
ImageSlot* ImageNew(int number);
// Frees the image under number, if any.
void ImageFree(int number);

}  // namespace media
