// Painting of the gadgets: flat, light desktop controls drawn in software
// into the window's picture.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/font.h"
#include "runtime/gadget_internal.h"

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kAccent = 0x0078D7;
constexpr uint32_t kButtonFace = 0xE1E1E1;
constexpr uint32_t kButtonBorder = 0xADADAD;
constexpr uint32_t kButtonHotFace = 0xE5F1FB;
constexpr uint32_t kButtonPressedFace = 0xCCE4F7;
constexpr uint32_t kButtonPressedBorder = 0x005499;
constexpr uint32_t kFieldBorder = 0x7A7A7A;
constexpr uint32_t kFieldHotBorder = 0x171717;
constexpr uint32_t kSelectionInactive = 0xCCCCCC;
// Texts longer than this are rendered only around the visible part.
constexpr size_t kLongText = 256;

struct Clip {
  int left;
  int top;
  int right;   // exclusive
  int bottom;  // exclusive
};

Clip Intersect(const Clip& a, const Clip& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

Clip CanvasClip(const GadgetCanvas& c) {
  return {0, 0, c.width, c.height};
}

void Fill(GadgetCanvas& c, const Clip& area, uint32_t colour) {
  Clip r = Intersect(area, CanvasClip(c));
  for (int y = r.top; y < r.bottom; ++y) {
    uint32_t* row = c.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(c.width);
    std::fill(row + r.left, row + std::max(r.left, r.right), colour);
  }
}

void FillRect(GadgetCanvas& c, int x, int y, int w, int h, uint32_t colour) {
  Fill(c, {x, y, x + w, y + h}, colour);
}

// One-pixel outline of the rectangle, `thickness` pixels deep.
void Outline(GadgetCanvas& c, int x, int y, int w, int h, uint32_t colour, int thickness = 1) {
  for (int t = 0; t < thickness; ++t) {
    int xx = x + t;
    int yy = y + t;
    int ww = w - 2 * t;
    int hh = h - 2 * t;
    if (ww <= 0 || hh <= 0) return;
    FillRect(c, xx, yy, ww, 1, colour);
    FillRect(c, xx, yy + hh - 1, ww, 1, colour);
    FillRect(c, xx, yy, 1, hh, colour);
    FillRect(c, xx + ww - 1, yy, 1, hh, colour);
  }
}

uint32_t Blend(uint32_t under, uint32_t over, unsigned alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    unsigned a = (under >> shift) & 0xFF;
    unsigned b = (over >> shift) & 0xFF;
    unsigned v = (a * (255 - alpha) + b * alpha + 127) / 255;
    out |= v << shift;
  }
  return out;
}

// Draws one line of text with its top-left corner at (x, y), inside `clip`.
void DrawText(GadgetCanvas& c, const std::string& text, int x, int y, uint32_t colour,
              const Clip& clip) {
  if (text.empty()) return;
  platform::TextBitmap bitmap;
  if (!platform::FontRender(text, kGadgetFontSize, false, &bitmap)) return;
  Clip r = Intersect(clip, CanvasClip(c));
  for (int row = 0; row < bitmap.height; ++row) {
    int py = y + row;
    if (py < r.top || py >= r.bottom) continue;
    uint32_t* line = c.pixels.data() + static_cast<size_t>(py) * static_cast<size_t>(c.width);
    const uint8_t* cover =
        bitmap.coverage.data() + static_cast<size_t>(row) * static_cast<size_t>(bitmap.width);
    for (int col = 0; col < bitmap.width; ++col) {
      int px = x + col;
      if (px < r.left || px >= r.right || cover[col] == 0) continue;
      line[px] = Blend(line[px], colour, cover[col]);
    }
  }
}

// Splits a label into lines that fit the width, breaking between words.
std::vector<std::string> WrapWords(const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find(' ', i);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(i, end - i);
    std::string candidate = line.empty() ? word : line + " " + word;
    if (!line.empty() && GadgetTextWidth(candidate) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = candidate;
    }
    i = end + 1;
  }
  lines.push_back(line);
  return lines;
}

void PaintButton(GadgetCanvas& c, const GadgetEntry& g, const GadgetLook& look) {
  uint32_t face = kButtonFace;
  uint32_t border = kButtonBorder;
  int thickness = 1;
  if (g.pressed) {
    face = kButtonPressedFace;
    border = kButtonPressedBorder;
  } else if (g.hot) {
    face = kButtonHotFace;
    border = kAccent;
  }
  if (look.focused && !g.pressed) {
    border = kAccent;
    thickness = 2;
  }
  FillRect(c, g.x, g.y, g.width, g.height, face);
  Outline(c, g.x, g.y, g.width, g.height, border, thickness);
  std::string label = GadgetLabel(g.text);
  int lh = GadgetLineHeight();
  int tx = g.x + (g.width - GadgetTextWidth(label)) / 2;
  int ty = g.y + (g.height - lh) / 2;
  DrawText(c, label, tx, ty, kBlack, {g.x + 2, g.y + 1, g.x + g.width - 2, g.y + g.height - 1});
}

void PaintFieldFrame(GadgetCanvas& c, const GadgetEntry& g, const GadgetLook& look) {
  uint32_t border = look.focused ? kAccent : g.hot ? kFieldHotBorder : kFieldBorder;
  FillRect(c, g.x, g.y, g.width, g.height, kWhite);
  Outline(c, g.x, g.y, g.width, g.height, border);
}

void PaintCaret(GadgetCanvas& c, int x, int y, int lh, const Clip& clip) {
  Fill(c, Intersect({x, y, x + 1, y + lh}, clip), kBlack);
}

void PaintString(GadgetCanvas& c, const GadgetEntry& g, const GadgetLook& look) {
  PaintFieldFrame(c, g, look);
  const Clip inner{g.x + kFieldPadding - 1, g.y + 1, g.x + g.width - kFieldPadding + 1,
                   g.y + g.height - 1};
  const int lh = GadgetLineHeight();
  const int tx = g.x + kFieldPadding - g.scroll;
  const int ty = g.y + (g.height - lh) / 2;
  // A long text is rendered only around the part in view.
  size_t first = 0;
  size_t last = g.text.size();
  if (g.text.size() > kLongText) {
    first = GadgetOffsetAtPixel(g.text, g.scroll);
    first = first > 0 ? first - 1 : 0;
    last = std::min(g.text.size(), GadgetOffsetAtPixel(g.text, g.scroll + g.width) + 1);
  }
  const std::string shown = g.text.substr(first, last - first);
  const int sx0 = tx + GadgetTextWidth(g.text.substr(0, first));
  DrawText(c, shown, sx0, ty, kBlack, inner);
  if (!look.focused) return;
  if (g.anchor != g.caret) {
    size_t from = std::min(g.anchor, g.caret);
    size_t to = std::max(g.anchor, g.caret);
    int sx = tx + GadgetTextWidth(g.text.substr(0, from));
    int ex = tx + GadgetTextWidth(g.text.substr(0, to));
    Clip sel = Intersect({sx, ty, ex, ty + lh}, inner);
    Fill(c, sel, look.windowActive ? kAccent : kSelectionInactive);
    DrawText(c, shown, sx0, ty, look.windowActive ? kWhite : kBlack, sel);
  }
  if (look.windowActive) {
    PaintCaret(c, tx + GadgetTextWidth(g.text.substr(0, g.caret)), ty, lh, inner);
  }
}

void PaintStatic(GadgetCanvas& c, const GadgetEntry& g) {
  const Clip area{g.x, g.y, g.x + g.width, g.y + g.height};
  const int lh = GadgetLineHeight();
  int y = g.y;
  for (const std::string& line : WrapWords(GadgetLabel(g.text), g.width)) {
    if (y >= g.y + g.height) break;
    DrawText(c, line, g.x, y, kBlack, area);
    y += lh;
  }
}

void PaintIp(GadgetCanvas& c, const GadgetEntry& g, const GadgetLook& look) {
  PaintFieldFrame(c, g, look);
  const int lh = GadgetLineHeight();
  const int ty = g.y + (g.height - lh) / 2;
  const int slot = IpPartWidth(g);
  const Clip inner{g.x + 1, g.y + 1, g.x + g.width - 1, g.y + g.height - 1};
  for (int i = 0; i < 4; ++i) {
    const std::string& text = g.parts[static_cast<size_t>(i)];
    const int left = g.x + IpPartLeft(g, i);
    const Clip part = Intersect({left, g.y + 1, left + slot, g.y + g.height - 1}, inner);
    const int tx = left + (slot - GadgetTextWidth(text)) / 2;
    const bool current = look.focused && i == g.part;
    if (current && g.partSelected && !text.empty()) {
      Clip sel = Intersect({tx, ty, tx + GadgetTextWidth(text), ty + lh}, part);
      Fill(c, sel, look.windowActive ? kAccent : kSelectionInactive);
      DrawText(c, text, tx, ty, look.windowActive ? kWhite : kBlack, part);
    } else {
      DrawText(c, text, tx, ty, kBlack, part);
    }
    if (current && !g.partSelected && look.windowActive) {
      PaintCaret(c, tx + GadgetTextWidth(text.substr(0, g.caret)), ty, lh, part);
    }
    if (i < 3) {
      const int dotX = left + slot - GadgetTextWidth(".") / 2;
      DrawText(c, ".", dotX, ty, kBlack, inner);
    }
  }
}

}  // namespace

int GadgetTextWidth(const std::string& text) {
  if (text.empty()) return 0;
  int w = 0;
  int h = 0;
  if (!platform::FontMeasure(text, kGadgetFontSize, false, &w, &h)) {
    return static_cast<int>(text.size()) * kGadgetFontSize / 2;
  }
  return w;
}

size_t GadgetOffsetAtPixel(const std::string& text, int x) {
  size_t lo = 0;
  size_t hi = text.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (GadgetTextWidth(text.substr(0, mid)) < x) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

int GadgetLineHeight() {
  int w = 0;
  int h = 0;
  if (platform::FontMeasure("Ag", kGadgetFontSize, false, &w, &h) && h > 0) return h;
  return kGadgetFontSize + 2;
}

std::string GadgetLabel(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

int IpPartWidth(const GadgetEntry& g) {
  return std::max(0, (g.width - 2 * kFieldPadding) / 4);
}

int IpPartLeft(const GadgetEntry& g, int part) {
  return kFieldPadding + part * IpPartWidth(g);
}

void CanvasClear(GadgetCanvas& canvas, uint32_t colour) {
  canvas.pixels.assign(static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height),
                       colour);
}

void GadgetPaint(GadgetCanvas& canvas, const GadgetEntry& g, const GadgetLook& look) {
  switch (g.kind) {
    case GadgetKind::Button:
      PaintButton(canvas, g, look);
      break;
    case GadgetKind::String:
      PaintString(canvas, g, look);
      break;
    case GadgetKind::Text:
      PaintStatic(canvas, g);
      break;
    case GadgetKind::IPAddress:
      PaintIp(canvas, g, look);
      break;
  }
}
