#include "netplay/console.h"

#include <algorithm>

#include "media/display.h"
#include "media/draw.h"

namespace netplay {

void ConsolePrint(Console& console, const std::string& text) {
  console.lines.push_back(text);
  if (ConsoleLineCount(console) > kConsoleMostLines) console.lines.pop_front();
}

int32_t ConsoleLineCount(const Console& console) {
  return static_cast<int32_t>(console.lines.size());
}

void ConsoleDropOldest(Console& console) {
  if (!console.lines.empty()) console.lines.pop_front();
}

void ConsoleTrim(Console& console) {
  if (ConsoleLineCount(console) > kConsoleMaxLines) ConsoleDropOldest(console);
}

void ConsoleDraw(const Console& console, int32_t count) {
  const int32_t kept = ConsoleLineCount(console);
  const int32_t shown = count < 0 ? kept : std::min(count, kept);
  DrawColour(0, 0, 80);
  DrawMode(kDrawTransparentText);
  for (int32_t i = 0; i < shown; ++i) {
    DrawLocate(0, kConsoleLineHeight * i);
    DrawText(console.lines[static_cast<size_t>(i)]);
  }
}

void ConsoleShow(const Console& console, int32_t count, ConsolePicture& shown) {
  const int32_t kept = ConsoleLineCount(console);
  const size_t lines = static_cast<size_t>(count < 0 ? kept : std::min(count, kept));
  const bool stillShown = shown.drawn && shown.frame + 1 == ScreenFrameCount();
  if (stillShown && shown.lines.size() == lines &&
      std::equal(shown.lines.begin(), shown.lines.end(), console.lines.begin())) {
    shown.frame = ScreenFrameCount();
    return;
  }
  shown.drawn = ScreenClear(170, 200, 255) != 0 && DrawBegin(ScreenOutput()) != 0;
  if (shown.drawn) {
    ConsoleDraw(console, count);
    DrawEnd();
  }
  shown.frame = ScreenFrameCount();
  shown.lines.assign(console.lines.begin(), console.lines.begin() + static_cast<long>(lines));
}

}  // namespace netplay
