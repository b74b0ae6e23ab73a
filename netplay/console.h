#pragma once
// The on-screen console of the network lobbies: text lines in the order they
// were printed, drawn from the top of the screen, 16 pixels a line. When more
// than 20 lines are kept, one line (the oldest) goes per frame, so a burst of
// new lines scrolls away over the following frames. Lines that would start
// below the screen's last line are never kept: printing past that many drops
// the oldest at once, so a flood of lines cannot make the console grow.

#include <cstdint>
#include <deque>
#include <string>

namespace netplay {

constexpr int32_t kConsoleLineHeight = 16;
constexpr int32_t kConsoleMaxLines = 20;
// Lines that start on the 600-pixel screen; the console never holds more.
constexpr int32_t kConsoleMostLines = (600 + kConsoleLineHeight - 1) / kConsoleLineHeight;

struct Console {
  std::deque<std::string> lines;  // oldest first
};

// The lines a lobby frame showed, so that a frame that would show the same is
// not drawn again.
struct ConsolePicture {
  bool drawn = false;
  uint64_t frame = 0;  // ScreenFrameCount() when it was drawn
  std::deque<std::string> lines;
};

// Appends one line at the end (dropping the oldest when kConsoleMostLines
// are kept).
void ConsolePrint(Console& console, const std::string& text);
// Number of lines kept.
int32_t ConsoleLineCount(const Console& console);
// Deletes the oldest line, if any.
void ConsoleDropOldest(Console& console);
// Drops the oldest line when more than kConsoleMaxLines are kept (at most
// one per call; each lobby frame calls it once).
void ConsoleTrim(Console& console);

// Draws the first `count` lines (all when count is negative) inside an open
// drawing bracket: dark blue text without character cells, line i at
// (0, 16 * i).
void ConsoleDraw(const Console& console, int32_t count = -1);

// A lobby's frame: the sky and the console's first `count` lines (all when
// count is negative), drawn only when they differ from `shown`, the picture
// the back buffer holds from the frame before; an unchanged lobby then costs
// neither drawing nor presenting. A frame that cannot be drawn (a full screen
// without the focus), or any frame after one that was not this, draws anew.
void ConsoleShow(const Console& console, int32_t count, ConsolePicture& shown);

}  // namespace netplay
