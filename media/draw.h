#pragma once
// Screen text and boxes. Drawing is bracketed: DrawBegin on a target from
// ScreenOutput (the back buffer) or SpriteOutput (an image), then boxes and
// text, then DrawEnd. Text and boxes on the back buffer belong after the 3D
// batch of the frame and before ScreenFlip.

#include <cstdint>
#include <optional>
#include <string>

// Drawing mode bits.
constexpr int32_t kDrawTransparentText = 1;  // text without its white character cells
constexpr int32_t kDrawInvert = 2;           // box outlines invert what lies beneath
constexpr int32_t kDrawOutlineOnly = 4;      // boxes are not filled

// What DrawBegin draws on. A target of kind 0 is none.
struct DrawTarget {
  int32_t kind = 0;    // 0 none, 7 a surface of the media library
  int32_t image = -1;  // the image number, or -1 for the back buffer
};

// Makes the default (black) brush and pen; resets the drawing state.
void DrawSystemInit();

// The back buffer as a drawing target; none while a context of the back buffer
// is already held, or when there is no active screen.
DrawTarget ScreenOutput();

// An image as a drawing target; none while an image context is already held,
// or when the image does not exist or is a raw memory image.
DrawTarget SpriteOutput(int32_t image);

// Ends any open bracket; with a target, starts drawing on it: black text,
// default brush and pen, mode 0, text position (0, 0). Non-zero when a
// bracket was started.
int32_t DrawBegin(const DrawTarget& target);

// Ends the bracket and gives the context back.
void DrawEnd();

// Current colour for boxes, pixels and text (the fill only unless boxes are
// outline-only).
void DrawColour(int32_t red, int32_t green, int32_t blue);

// Sets the mode bits (see above).
void DrawMode(int32_t mode);

// A 1 x 1 box sets one pixel to the current colour; a larger one covers
// columns x .. x + width - 1 and rows y .. y + height - 1: outline in the pen,
// interior in the brush. With a packed colour (red | green << 8 | blue << 16)
// that colour is made current first.
void DrawBox(int32_t x, int32_t y, int32_t width, int32_t height,
             std::optional<int32_t> colour = std::nullopt);

// Sets the text position.
void DrawLocate(int32_t x, int32_t y);

// Draws Windows-1252 text with its top-left corner at the text position and
// moves the position to the end of the text.
void DrawText(const std::string& text);

// How many pixels wide DrawText would draw the text; 0 when the font cannot
// be used.
int32_t DrawTextWidth(const std::string& text);

// Start-up and end hooks of the drawing library.
void DrawStartHook();
void DrawEndHook();
