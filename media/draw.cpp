#include "media/draw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "media/display.h"
#include "media/surface.h"
#include "platform/font.h"

namespace {

// Pixel size of the text: lines fit when set 20 pixels apart.
constexpr int kTextPixelSize = 14;
// Rendered texts kept for reuse: a frame's head-up texts change rarely, and
// rendering them with the font again every frame costs more than drawing them.
constexpr size_t kTextCacheSize = 16;

struct RenderedText {
  std::string text;
  platform::TextBitmap bitmap;
};

struct DrawState {
  // Contexts handed out by ScreenOutput / SpriteOutput and not yet given back.
  // The screen's ends with the frame it was taken in.
  bool screenHeld = false;
  uint64_t screenFrame = 0;  // the display's frame count when it was taken
  bool spriteHeld = false;
  int spriteImage = -1;
  // The current bracket.
  bool current = false;
  bool currentIsScreen = false;
  int currentImage = -1;
  uint32_t colour = 0;  // packed red | green << 8 | blue << 16; survives brackets
  int32_t mode = 0;
  bool hollowBrush = false;
  uint32_t brushColour = 0;  // the solid brush: black by default, else the last DrawColour
  uint32_t penColour = 0;
  uint32_t textColour = 0;
  int textX = 0;
  int textY = 0;
  std::array<RenderedText, kTextCacheSize> rendered;
  size_t nextRendered = 0;  // the entry replaced next, oldest first
};

DrawState& State() {
  static DrawState state;
  return state;
}

struct Rgb {
  uint32_t r, g, b;
};

Rgb Unpack(uint32_t packed) {
  return {packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF};
}

// Lets go of a screen context taken in a frame that has ended.
void ForgetEndedScreen(DrawState& s) {
  if (!s.screenHeld || s.screenFrame == ScreenFrameCount()) return;
  s.screenHeld = false;
  if (s.current && s.currentIsScreen) s.current = false;
}

// True while a bracket is open.
bool Drawing(DrawState& s) {
  ForgetEndedScreen(s);
  return s.current;
}

// The surface of the current bracket, ready for drawing inside touched, or
// null when it is gone.
media::Surface* CurrentSurface(const ScreenArea& touched) {
  DrawState& s = State();
  ForgetEndedScreen(s);
  if (!s.current) return nullptr;
  if (s.currentIsScreen) {
    media::Surface* back =
        media::DisplayDrawInto(touched.x, touched.y, touched.width, touched.height);
    media::DisplayDamage(touched.x, touched.y, touched.width, touched.height);
    return back;
  }
  media::ImageSlot* image = media::ImageFind(s.currentImage);
  if (image == nullptr || image->depth == -2) return nullptr;
  return &image->surface;
}

uint32_t PixelOf(uint32_t packed) {
  Rgb c = Unpack(packed);
  return ScreenPixelValue(static_cast<int32_t>(c.r), static_cast<int32_t>(c.g),
                          static_cast<int32_t>(c.b));
}

bool Inside(const media::Surface& surface, int64_t x, int64_t y) {
  return x >= 0 && y >= 0 && x < surface.width && y < surface.height;
}

// Pen pixel: the colour, or the inverse of what lies beneath.
void PenPixel(media::Surface& surface, int x, int y) {
  const DrawState& s = State();
  if ((s.mode & kDrawInvert) != 0) {
    const uint32_t mask = surface.bytesPerPixel == 2 ? 0xFFFFu : 0x00FFFFFFu;
    surface.SetPixel(x, y, surface.Pixel(x, y) ^ mask);
  } else {
    surface.SetPixel(x, y, PixelOf(s.penColour));
  }
}

// Colour components of a pixel of the screen format.
Rgb Decompose(const media::Surface& surface, uint32_t v) {
  if (surface.bytesPerPixel == 2) {
    const uint32_t r5 = (v >> 11) & 0x1F;
    const uint32_t g6 = (v >> 5) & 0x3F;
    const uint32_t b5 = v & 0x1F;
    return {r5 << 3 | r5 >> 2, g6 << 2 | g6 >> 4, b5 << 3 | b5 >> 2};
  }
  return {(v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF};
}

uint32_t Blend(uint32_t under, uint32_t over, uint32_t coverage) {
  return (under * (255 - coverage) + over * coverage + 127) / 255;
}

uint32_t BlendedPixel(Rgb under, Rgb ink, uint32_t coverage) {
  return ScreenPixelValue(static_cast<int32_t>(Blend(under.r, ink.r, coverage)),
                          static_cast<int32_t>(Blend(under.g, ink.g, coverage)),
                          static_cast<int32_t>(Blend(under.b, ink.b, coverage)));
}

// The coverage bitmap of a text, from the cache or freshly rendered; null when
// the font cannot be used.
const platform::TextBitmap* TextBitmapOf(DrawState& s, const std::string& text) {
  for (const RenderedText& r : s.rendered) {
    if (!r.text.empty() && r.text == text) return &r.bitmap;
  }
  RenderedText& slot = s.rendered[s.nextRendered];
  slot.text.clear();
  if (!platform::FontRender(text, kTextPixelSize, false, &slot.bitmap)) return nullptr;
  slot.text = text;
  s.nextRendered = (s.nextRendered + 1) % kTextCacheSize;
  return &slot.bitmap;
}

}  // namespace

void DrawSystemInit() {
  State() = DrawState{};
}

DrawTarget ScreenOutput() {
  DrawState& s = State();
  ForgetEndedScreen(s);
  if (s.screenHeld || media::DisplayArea().width <= 0 || !media::DisplayActive()) return {};
  s.screenHeld = true;
  s.screenFrame = ScreenFrameCount();
  return {7, -1};
}

DrawTarget SpriteOutput(int32_t image) {
  DrawState& s = State();
  const media::ImageSlot* slot = media::ImageFind(image);
  if (s.spriteHeld || slot == nullptr || slot->depth == -2) return {};
  s.spriteHeld = true;
  s.spriteImage = image;
  return {7, image};
}

int32_t DrawBegin(const DrawTarget& target) {
  DrawEnd();
  DrawState& s = State();
  ForgetEndedScreen(s);
  if (target.kind != 7) return 0;
  const bool screen = target.image < 0;
  // The target must be a context that was handed out and is still held.
  if (screen ? !s.screenHeld : (!s.spriteHeld || s.spriteImage != target.image)) return 0;
  s.current = true;
  s.currentIsScreen = screen;
  s.currentImage = target.image;
  if (CurrentSurface(ScreenArea{}) == nullptr) {
    DrawEnd();
    return 0;
  }
  s.mode = 0;
  s.hollowBrush = false;
  s.brushColour = 0;
  s.penColour = 0;
  s.textColour = 0;
  s.textX = 0;
  s.textY = 0;
  return 1;
}

void DrawEnd() {
  DrawState& s = State();
  if (!Drawing(s)) return;
  if (s.currentIsScreen) {
    s.screenHeld = false;
  } else {
    s.spriteHeld = false;
    s.spriteImage = -1;
  }
  s.current = false;
}

void DrawColour(int32_t red, int32_t green, int32_t blue) {
  DrawState& s = State();
  if (!Drawing(s)) return;
  const uint32_t packed = (static_cast<uint32_t>(red) & 0xFF) |
                          (static_cast<uint32_t>(green) & 0xFF) << 8 |
                          (static_cast<uint32_t>(blue) & 0xFF) << 16;
  s.colour = packed;
  if ((s.mode & kDrawOutlineOnly) == 0) {
    s.brushColour = packed;
    s.hollowBrush = false;
  }
  s.penColour = packed;
  s.textColour = packed;
}

void DrawMode(int32_t mode) {
  DrawState& s = State();
  if (!Drawing(s)) return;
  s.mode = mode;
  s.hollowBrush = (mode & kDrawOutlineOnly) != 0;
}

void DrawBox(int32_t x, int32_t y, int32_t width, int32_t height, std::optional<int32_t> colour) {
  DrawState& s = State();
  if (!Drawing(s)) return;
  if (colour) {
    const uint32_t c = static_cast<uint32_t>(*colour);
    DrawColour(static_cast<int32_t>(c & 0xFF), static_cast<int32_t>((c >> 8) & 0xFF),
               static_cast<int32_t>((c >> 16) & 0xFF));
  }
  media::Surface* surface = CurrentSurface(ScreenArea{x, y, width, height});
  if (surface == nullptr) return;
  if (width == 1 && height == 1) {
    if (Inside(*surface, x, y)) surface->SetPixel(x, y, PixelOf(s.colour));
    return;
  }
  if (width <= 0 || height <= 0) return;
  const int64_t right = static_cast<int64_t>(x) + width - 1;
  const int64_t bottom = static_cast<int64_t>(y) + height - 1;
  const int x0 = static_cast<int>(std::max<int64_t>(x, 0));
  const int y0 = static_cast<int>(std::max<int64_t>(y, 0));
  const int x1 = static_cast<int>(std::min<int64_t>(right, surface->width - 1));
  const int y1 = static_cast<int>(std::min<int64_t>(bottom, surface->height - 1));
  const uint32_t brush = PixelOf(s.brushColour);
  for (int py = y0; py <= y1; ++py) {
    const bool edgeRow = py == y || py == bottom;
    for (int px = x0; px <= x1; ++px) {
      if (edgeRow || px == x || px == right) {
        PenPixel(*surface, px, py);
      } else if (!s.hollowBrush) {
        surface->SetPixel(px, py, brush);
      }
    }
  }
}

void DrawLocate(int32_t x, int32_t y) {
  DrawState& s = State();
  if (!Drawing(s)) return;
  s.textX = x;
  s.textY = y;
}

int32_t DrawTextWidth(const std::string& text) {
  int width = 0;
  int height = 0;
  if (!platform::FontMeasure(text, kTextPixelSize, false, &width, &height)) return 0;
  return width;
}

void DrawText(const std::string& text) {
  DrawState& s = State();
  if (!Drawing(s) || text.empty()) return;
  const platform::TextBitmap* found = TextBitmapOf(s, text);
  if (found == nullptr) return;
  const platform::TextBitmap& bitmap = *found;
  media::Surface* surface =
      CurrentSurface(ScreenArea{s.textX, s.textY, bitmap.width, bitmap.height});
  if (surface == nullptr) return;
  const bool opaque = (s.mode & kDrawTransparentText) == 0;
  const Rgb ink = Unpack(s.textColour);
  // On white, a pixel's value depends on its coverage alone: each value is
  // worked out once per text.
  std::array<uint32_t, 256> onWhite{};
  std::array<bool, 256> known{};
  // The columns of the bitmap that fall on the surface.
  const int64_t left = static_cast<int64_t>(s.textX);
  const int first = static_cast<int>(std::clamp<int64_t>(-left, 0, bitmap.width));
  const int last = static_cast<int>(std::clamp<int64_t>(surface->width - left, 0, bitmap.width));
  const size_t bpp = static_cast<size_t>(surface->bytesPerPixel);
  for (int by = 0; by < bitmap.height; ++by) {
    const int64_t py = static_cast<int64_t>(s.textY) + by;
    if (py < 0 || py >= surface->height) continue;
    const uint8_t* cover = bitmap.coverage.data() + static_cast<size_t>(by) * bitmap.width;
    uint8_t* row = surface->Row(static_cast<int>(py));
    for (int bx = first; bx < last; ++bx) {
      const uint32_t coverage = cover[bx];
      uint8_t* at = row + static_cast<size_t>(left + bx) * bpp;
      uint32_t value;
      if (opaque) {
        if (!known[coverage]) {
          onWhite[coverage] = BlendedPixel({255, 255, 255}, ink, coverage);
          known[coverage] = true;
        }
        value = onWhite[coverage];
      } else {
        if (coverage == 0) continue;
        uint32_t under = 0;
        std::memcpy(&under, at, bpp);
        value = BlendedPixel(Decompose(*surface, under), ink, coverage);
      }
      std::memcpy(at, &value, bpp);
    }
  }
  s.textX += bitmap.width;
}

void DrawStartHook() {
  DrawSystemInit();
}

void DrawEndHook() {
  DrawEnd();
  State() = DrawState{};
}
