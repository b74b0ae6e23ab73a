// Paints every built-in picture: the two biplanes, the shot, the explosion,
// the cloud band, the smoke puff, the title picture, the menu background,
// logo and item pictures. Usage: tool_paint <output directory>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "platform/font.h"
#include "tools/common.h"

using namespace tools;

namespace {

// ------------------------------------------------------------- biplane --

struct PlaneColours {
  Rgb bodyLight, body, bodyDark, wing, wingLight, trim;
};

const PlaneColours kRed{{246, 96, 74}, {204, 40, 34}, {118, 18, 20},
                        {186, 32, 30}, {232, 84, 66}, {244, 226, 176}};
const PlaneColours kBlue{{104, 158, 248}, {42, 86, 206},  {22, 40, 122},
                         {36, 70, 178},   {92, 136, 236}, {244, 226, 176}};

// Where a 64 x 64 plane drawing lands on a canvas: scale, rotation about the
// drawing's centre, position of that centre, and a mirror for the planes
// whose nose points left. The drawing itself has its nose to the right.
struct Placement {
  double scale = 1, angle = 0, cx = 32, cy = 32;
  bool mirror = false;
  // c and s are the cosine and sine of the angle, worked out once per plane.
  Pt ToLocal(double x, double y, double c, double s) const {
    double dx = (x - cx) / scale, dy = (y - cy) / scale;
    double lx = dx * c + dy * s, ly = -dx * s + dy * c;
    if (mirror) lx = -lx;
    return {lx + 32, ly + 32};
  }
};

// Proportions that differ between the big planes of the title and menu
// pictures and the small game sprites: the tall swept fin or a low one with a
// rounded rudder (a quarter ellipse round (finX, 31) with radii finRx and
// finRy), and the half length of the propeller blades.
struct BiplaneShape {
  bool roundFin = false;
  double finX = 11, finRx = 6, finRy = 12.5;
  double blade = 13.5;
};

void PaintBiplane(Canvas& c, const Placement& at, const PlaneColours& k, int frame,
                  const BiplaneShape& shape = {}) {
  const double ca = std::cos(at.angle), sa = std::sin(at.angle);
  // Paints one part given in drawing coordinates. Only the canvas area
  // around the part is visited: its extent is found on a fine grid of the
  // drawing first, grown by a pixel of the drawing on every side.
  auto paint = [&](auto inside, auto colour, double opacity = 1.0) {
    double lx0 = 1e9, ly0 = 1e9, lx1 = -1e9, ly1 = -1e9;
    for (double ly = -8; ly <= 72; ly += 0.25)
      for (double lx = -8; lx <= 72; lx += 0.25)
        if (inside(lx, ly)) {
          lx0 = std::min(lx0, lx), lx1 = std::max(lx1, lx);
          ly0 = std::min(ly0, ly), ly1 = std::max(ly1, ly);
        }
    if (lx0 > lx1) return;
    double cx0 = 1e9, cy0 = 1e9, cx1 = -1e9, cy1 = -1e9;
    for (double lx : {lx0 - 1, lx1 + 1})
      for (double ly : {ly0 - 1, ly1 + 1}) {
        // Drawing to canvas: undo the mirror, rotate back, scale, move.
        double dx = (at.mirror ? 32 - lx : lx - 32) * at.scale, dy = (ly - 32) * at.scale;
        double x = at.cx + dx * ca - dy * sa, y = at.cy + dx * sa + dy * ca;
        cx0 = std::min(cx0, x), cx1 = std::max(cx1, x);
        cy0 = std::min(cy0, y), cy1 = std::max(cy1, y);
      }
    c.Paint(
        [&](double x, double y) {
          Pt p = at.ToLocal(x, y, ca, sa);
          return inside(p.x, p.y);
        },
        [&](double x, double y) {
          Pt p = at.ToLocal(x, y, ca, sa);
          return colour(p.x, p.y);
        },
        opacity, 4, static_cast<int>(std::floor(cx0)) - 1, static_cast<int>(std::floor(cy0)) - 1,
        static_cast<int>(std::ceil(cx1)) + 2, static_cast<int>(std::ceil(cy1)) + 2);
  };
  auto solid = [](Rgb col) { return [col](double, double) { return col; }; };
  auto poly = [](std::vector<Pt> pts) {
    return [pts](double x, double y) { return InPolygon(x, y, pts); };
  };
  auto stick = [](double ax, double ay, double bx, double by, double half) {
    return [=](double x, double y) { return SegmentDistance(x, y, ax, ay, bx, by) <= half; };
  };
  const Rgb metal{150, 154, 162}, metalDark{84, 88, 98}, wood{196, 158, 102}, tyre{52, 50, 56},
      hub{176, 176, 184}, leather{120, 72, 40}, glass{170, 220, 240};

  // Tail: horizontal stabiliser, then the fin with its rudder.
  paint([](double x, double y) { return InEllipse(x, y, 10, 31, 8, 1.8); }, solid(k.wing));
  if (shape.roundFin) {
    // A low fin with a rounded rudder: a quarter ellipse from the tail tip up
    // to the top, then the straight leading edge down to the fuselage.
    std::vector<Pt> outline;
    for (int i = 0; i <= 12; ++i) {
      double a = std::numbers::pi * (1 + 0.6 * i / 12.0);
      outline.push_back({shape.finX + shape.finRx * std::cos(a), 31 + shape.finRy * std::sin(a)});
    }
    outline.push_back({17, 29});
    outline.push_back({17, 31});
    const double top = 31 - shape.finRy;
    paint(poly(outline),
          [&](double, double y) { return Mix(k.wingLight, k.wing, (y - top) / (31 - top)); });
    paint(
        [&](double x, double y) {
          return y > top + 2.6 && y < top + 5.2 && x < shape.finX + 2 && InPolygon(x, y, outline);
        },
        solid(k.trim));
  } else {
    paint(poly({{5, 31}, {3, 17}, {8, 16}, {13, 22}, {17, 29}}),
          [&](double, double y) { return Mix(k.wingLight, k.wing, (y - 16) / 15); });
    paint(poly({{3.4, 20}, {8.6, 19.6}, {9.6, 22}, {3.8, 22.6}}), solid(k.trim));
  }
  // Landing gear behind the lower wing and fuselage.
  paint(stick(37, 37, 40, 48, 0.9), solid(metalDark));
  paint(stick(45, 37, 41, 48, 0.9), solid(metalDark));
  paint([](double x, double y) { return InEllipse(x, y, 40.5, 49, 4.3, 4.3); }, solid(tyre));
  paint([](double x, double y) { return InEllipse(x, y, 40.5, 49, 1.8, 1.8); }, solid(hub));
  paint(stick(9, 33, 5.5, 36.5, 0.8), solid(metalDark));  // tail skid
  // Fuselage, lit from above.
  std::vector<Pt> body = {{6, 29.5},  {14, 28},   {22, 26.5}, {30, 25.5}, {38, 24.6},
                          {48, 24.6}, {53, 26.5}, {53, 37.5}, {48, 39.5}, {38, 39.5},
                          {28, 37.5}, {18, 34.5}, {6, 32.2}};
  paint(poly(body), [&](double, double y) {
    double t = std::clamp((y - 24.5) / 15.0, 0.0, 1.0);
    return t < 0.35 ? Mix(k.bodyLight, k.body, t / 0.35)
                    : Mix(k.body, k.bodyDark, (t - 0.35) / 0.65);
  });
  // A cream band round the fuselage and a stripe along it.
  paint([&](double x, double y) { return x > 17 && x < 20 && InPolygon(x, y, body); },
        solid(k.trim));
  paint([&](double x, double y) { return y > 31 && y < 32.4 && x > 22 && InPolygon(x, y, body); },
        solid(k.trim), 0.85);
  // Lower wing (near side), with its lit leading edge.
  paint([](double x, double y) { return InEllipse(x, y, 36, 39.2, 12, 1.9); },
        [&](double, double y) {
          return Mix(k.wingLight, k.bodyDark, std::clamp((y - 37.3) / 3.8, 0.0, 1.0));
        });
  // Struts between the wings and the cabane struts to the upper wing.
  paint(stick(27.5, 38, 29, 18.5, 0.75), solid(wood));
  paint(stick(44.5, 38, 46, 18.5, 0.75), solid(wood));
  paint(stick(36, 26, 38.5, 18.5, 0.65), solid(metalDark));
  paint(stick(43, 25.5, 41.5, 18.5, 0.65), solid(metalDark));
  paint(stick(28.5, 28, 45.5, 37.5, 0.35), solid(metal), 0.7);  // bracing wire
  // Upper wing.
  paint([](double x, double y) { return InEllipse(x, y, 37, 17, 14.5, 2.3); },
        [&](double, double y) {
          return Mix(k.wingLight, k.wing, std::clamp((y - 14.7) / 4.6, 0.0, 1.0));
        });
  paint([](double x, double y) { return InEllipse(x, y, 37, 17, 14.5, 2.3) && x > 30 && x < 33.5; },
        solid(k.trim));
  // Cockpit: windscreen, pilot with helmet and goggles.
  paint([](double x, double y) { return InEllipse(x, y, 29, 22.6, 3.1, 3.3); }, solid(leather));
  paint([](double x, double y) { return InEllipse(x, y, 30.8, 22.4, 1.2, 0.9); }, solid(glass));
  paint(poly({{33, 25.8}, {34, 21.5}, {35.3, 25.6}}), solid(glass), 0.8);
  paint(stick(26, 25.8, 31.5, 25.4, 0.55), solid(k.bodyDark));  // cockpit rim
  // Engine cowling and exhaust.
  paint([](double x, double y) { return x > 47 && InEllipse(x, y, 50, 32, 4.6, 7.6); },
        [&](double, double y) {
          return Mix(Rgb{206, 210, 218}, metalDark, std::clamp((y - 24.5) / 15.0, 0.0, 1.0));
        });
  paint(stick(44, 37.6, 49, 38.6, 0.7), solid(Rgb{70, 66, 64}));
  // Propeller: frame 0 shows the blade upright, frame 1 the blade turned
  // edge-on inside its blurred disc.
  const double blade = shape.blade;
  if (frame == 0) {
    paint([&](double x, double y) { return InEllipse(x, y, 56.6, 32, 1.4, blade); },
          [&](double, double y) {
            return Mix(Rgb{214, 176, 120}, Rgb{132, 92, 52}, std::fabs(y - 32) / blade);
          });
    paint(
        [&](double x, double y) {
          return InEllipse(x, y, 56.6, 32, 1.5, blade) && std::fabs(y - 32) > blade - 2;
        },
        solid(k.trim));
  } else {
    paint([&](double x, double y) { return InEllipse(x, y, 56.6, 32, 2.2, blade); },
          solid(Rgb{196, 196, 204}), 0.45);
    paint([](double x, double y) { return InEllipse(x, y, 56.6, 32, 1.5, 4.2); },
          solid(Rgb{150, 110, 64}));
  }
  paint([](double x, double y) { return x > 53 && InEllipse(x, y, 54, 32, 3.2, 2.9); },
        [&](double, double y) {
          return Mix(Rgb{236, 236, 240}, metal, std::clamp((y - 29) / 6, 0.0, 1.0));
        });
}

// The game sprites. A new shot's 8 x 8 picture is placed with its top-left
// corner 32 pixels ahead of the plane's centre and moves on 4 pixels a frame,
// faster than the plane; it is tested against the unrotated sprite at every
// heading. So the sprite must leave free every pixel that the shot can cover
// in its first frames: about everything farther than 30 pixels from
// (35.5, 35.5), which takes in the five leftmost columns, the five top rows and
// the corners. The sprites therefore have a low, rounded fin and shorter
// blades, are drawn at 0.96 of the full size and sit one pixel right of the
// middle.
Canvas PlaneSprite(bool red, int frame) {
  Canvas c(64, 64);
  Placement at;
  at.scale = 0.96;
  at.cx = 33;
  at.mirror = red;
  BiplaneShape shape;
  shape.roundFin = true;
  shape.blade = 12;
  PaintBiplane(c, at, red ? kRed : kBlue, frame, shape);
  ApplyKey(c);
  return c;
}

// ---------------------------------------------------------------- shot --

Canvas Shot() {
  Canvas c(8, 8);
  c.Paint([](double x, double y) { return InEllipse(x, y, 4, 4, 3.9, 3.9); },
          [](double x, double y) {
            double d = std::hypot(x - 3.6, y - 3.6) / 3.9;
            if (d < 0.3) return Mix(Rgb{255, 255, 226}, Rgb{255, 222, 110}, d / 0.3);
            if (d < 0.65) return Mix(Rgb{255, 222, 110}, Rgb{255, 140, 24}, (d - 0.3) / 0.35);
            return Mix(Rgb{255, 140, 24}, Rgb{170, 52, 8}, std::min((d - 0.65) / 0.4, 1.0));
          },
          1.0, 8);
  ApplyKey(c, 0.4);
  return c;
}

// ----------------------------------------------------------- explosion --

// Frame k of 19: a white dot that grows into a fireball, cools through
// orange and red into dark smoke, and breaks up until little is left.
Canvas Explosion(int k) {
  Canvas c(64, 64);
  double t = k / 18.0;
  double radius = 2.5 + 27.5 * (1 - std::pow(1 - t, 2.4));
  auto ramp = [](double heat) {
    const Rgb stops[] = {{58, 50, 46},   {96, 44, 28},   {190, 52, 18},
                         {246, 128, 28}, {255, 214, 88}, {255, 252, 232}};
    heat = std::clamp(heat, 0.0, 1.0) * 5;
    int i = std::min(static_cast<int>(heat), 4);
    return Mix(stops[i], stops[i + 1], heat - i);
  };
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      double sum = 0;
      int samples = 0;
      Rgb col{0, 0, 0};
      for (int sy = 0; sy < 3; ++sy)
        for (int sx = 0; sx < 3; ++sx) {
          double px = x + (sx + 0.5) / 3, py = y + (sy + 0.5) / 3;
          double dx = px - 32, dy = py - 32;
          double d = std::hypot(dx, dy) / radius;
          // Billowing edge and inner turbulence, drifting outwards.
          double n = Fbm(px / 9.0 + 3.1, py / 9.0 - t * 1.7, 77, 3);
          double edge = d + (n - 0.5) * (0.25 + 0.6 * t);
          if (edge >= 1) continue;
          // Late frames break up into wisps.
          double holes = Fbm(px / 8.0, py / 8.0 + 11, 91, 3);
          if (t > 0.5 && holes < 0.2 + (t - 0.5) * 1.1) continue;
          double heat = (1.35 - t * 1.25) * (1 - 0.6 * d) + (n - 0.5) * 0.45;
          if (k == 0) heat = 1;
          col = Add(col, ramp(heat));
          sum += 1;
          ++samples;
        }
      (void)samples;
      if (sum == 0) continue;
      // The cooling cloud darkens towards its end.
      c.At(x, y) = Scale(col, (1 - 0.45 * std::max(0.0, t - 0.5) / 0.5) / sum);
      c.Cover(x, y) = sum / 9;
    }
  // The very first frame is a small, hard white dot.
  ApplyKey(c, k == 0 ? 0.3 : 0.5);
  return c;
}

// -------------------------------------------------------- smoke and cloud --

Canvas SmokePuff() {
  Canvas c(64, 64);
  struct Ball {
    double x, y, r;
  };
  const Ball balls[] = {{32, 34, 17}, {21, 30, 11}, {43, 29, 12}, {30, 21, 11},
                        {41, 42, 10}, {22, 42, 10}, {35, 46, 9}};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double field = -1e9;
      for (const Ball& b : balls) field = std::max(field, 1 - std::hypot(px - b.x, py - b.y) / b.r);
      double n = Fbm(px / 7, py / 7, 5, 3);
      double dens = std::clamp((field + (n - 0.5) * 0.35) * 4.5, 0.0, 1.0);
      if (dens <= 0) continue;
      // Lit from the upper left, darker underneath.
      double light = 0.55 + 0.45 * std::clamp((64 - (px + py)) / 64.0 + (n - 0.5) * 0.6, 0.0, 1.0);
      double g = 96 + 104 * light;
      c.At(x, y) = {g * dens, g * dens, (g + 6) * dens};
      c.Cover(x, y) = dens;
    }
  ApplyKey(c);
  return c;
}

// White cloud band lying along the bottom edge of a 256 x 256 picture; it
// tiles sideways (the border puts copies side by side). Its alpha channel
// follows the density, although the game drops it.
Canvas CloudBand() {
  Canvas c(256, 256);
  Rng rng(2024);
  struct Ball {
    double x, y, r;
  };
  std::vector<Ball> balls;
  for (int i = 0; i < 22; ++i) {
    double x = i * 256.0 / 22 + rng.Signed() * 5;
    double r = 24 + rng.Uniform() * 30;
    balls.push_back({x, 232 - rng.Uniform() * 40 + r * 0.25, r});
  }
  for (int i = 0; i < 10; ++i) {  // a few towering puffs
    double x = rng.Uniform() * 256;
    double r = 18 + rng.Uniform() * 16;
    balls.push_back({x, 186 - rng.Uniform() * 26, r});
  }
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double sd = 1e9;  // signed distance to the union of the puffs
      for (const Ball& b : balls)
        for (int wrap = -1; wrap <= 1; ++wrap)
          sd = std::min(sd, std::hypot(px - (b.x + wrap * 256), py - b.y) - b.r);
      sd = std::min(sd, 238 - py);  // solid base along the edge
      double n = Fbm(px / 16, py / 16, 9, 4, 16);
      double dens = std::clamp(-sd / 16 + (n - 0.5) * 0.9 + 0.15, 0.0, 1.0);
      if (dens <= 0.02) continue;
      dens = Smooth(dens);
      // Slightly grey hollows give the puffs some shape.
      double shade = 0.86 + 0.14 * std::clamp(-sd / 30 + (n - 0.5), 0.0, 1.0);
      double v = 255 * dens * shade;
      c.At(x, y) = {v, v, std::min(255.0, v * 1.02 + 2 * dens)};
      c.Cover(x, y) = dens;
    }
  // Pixels too faint for a 16-bit screen become exactly black, so the key
  // colour on both kinds of screen covers the same area.
  for (int i = 0; i < 256 * 256; ++i) {
    Rgb& p = c.px[i];
    if (ToByte(p.r) < 8 && ToByte(p.b) < 8) {
      p = {0, 0, 0};
      c.cover[i] = 0;
    }
  }
  return c;
}

// ---------------------------------------------------------------- text --

// Coverage of a text in the built-in typeface, placed on the canvas.
struct Text {
  int w = 0, h = 0;
  std::vector<double> a;
  double At(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    return a[y * w + x];
  }
};

Text RenderText(const std::string& s, int size, bool bold) {
  platform::TextBitmap bm;
  Text t;
  if (!platform::FontRender(s, size, bold, &bm)) {
    std::fprintf(stderr, "font rendering failed for '%s'\n", s.c_str());
    std::exit(1);
  }
  t.w = bm.width;
  t.h = bm.height;
  for (uint8_t v : bm.coverage) t.a.push_back(v / 255.0);
  return t;
}

// Ink bounds (rows and columns with any coverage).
void InkBounds(const Text& t, int* x0, int* y0, int* x1, int* y1) {
  *x0 = t.w, *y0 = t.h, *x1 = 0, *y1 = 0;
  for (int y = 0; y < t.h; ++y)
    for (int x = 0; x < t.w; ++x)
      if (t.At(x, y) > 0) {
        *x0 = std::min(*x0, x), *x1 = std::max(*x1, x + 1);
        *y0 = std::min(*y0, y), *y1 = std::max(*y1, y + 1);
      }
}

// Grown coverage for an outline: the largest coverage within radius r.
Text Dilate(const Text& t, double r) {
  Text o;
  int pad = static_cast<int>(std::ceil(r)) + 1;
  o.w = t.w + 2 * pad;
  o.h = t.h + 2 * pad;
  o.a.assign(o.w * o.h, 0);
  for (int y = 0; y < o.h; ++y)
    for (int x = 0; x < o.w; ++x) {
      double best = 0;
      for (int dy = -pad; dy <= pad; ++dy)
        for (int dx = -pad; dx <= pad; ++dx) {
          double d = std::hypot(dx, dy);
          if (d > r + 1) continue;
          double v = t.At(x - pad + dx, y - pad + dy) * std::clamp(r + 1 - d, 0.0, 1.0);
          best = std::max(best, v);
        }
      o.a[y * o.w + x] = best;
    }
  return o;
}

// Draws the word of the game with an outline and a shadow: gold letters
// lit from above. (x, y) is the top-left of the text box.
void PaintTitleWord(Canvas& c, const std::string& word, int size, int x, int y, double outline,
                    bool shadow) {
  Text t = RenderText(word, size, true);
  Text o = Dilate(t, outline);
  int pad = (o.w - t.w) / 2;
  int ix0, iy0, ix1, iy1;
  InkBounds(t, &ix0, &iy0, &ix1, &iy1);
  auto blend = [&](int px, int py, Rgb col, double a) {
    if (px < 0 || py < 0 || px >= c.w || py >= c.h || a <= 0) return;
    c.At(px, py) = Mix(c.At(px, py), col, a);
    c.Cover(px, py) = c.Cover(px, py) + (1 - c.Cover(px, py)) * a;
  };
  int sh = std::max(2, size / 24);
  if (shadow)
    for (int yy = 0; yy < o.h; ++yy)
      for (int xx = 0; xx < o.w; ++xx)
        blend(x - pad + xx + sh, y - pad + yy + sh, Rgb{20, 14, 34}, o.a[yy * o.w + xx] * 0.6);
  for (int yy = 0; yy < o.h; ++yy)
    for (int xx = 0; xx < o.w; ++xx)
      blend(x - pad + xx, y - pad + yy, Rgb{74, 22, 16}, o.a[yy * o.w + xx]);
  for (int yy = 0; yy < t.h; ++yy)
    for (int xx = 0; xx < t.w; ++xx) {
      double v = std::clamp((yy - iy0) / static_cast<double>(std::max(1, iy1 - iy0)), 0.0, 1.0);
      Rgb col = v < 0.5 ? Mix(Rgb{255, 250, 208}, Rgb{255, 206, 72}, v / 0.5)
                        : Mix(Rgb{255, 206, 72}, Rgb{222, 112, 24}, (v - 0.5) / 0.5);
      if (std::fabs(v - 0.5) < 0.03) col = Mix(col, Rgb{255, 255, 240}, 0.5);  // glint line
      blend(x + xx, y + yy, col, t.At(xx, yy));
    }
}

// ------------------------------------------------------------- scenery --

Rgb SkyAt(double y, double h) {
  double t = y / h;
  if (t < 0.55) return Mix(Rgb{34, 72, 150}, Rgb{98, 152, 218}, t / 0.55);
  return Mix(Rgb{98, 152, 218}, Rgb{246, 204, 158}, (t - 0.55) / 0.45);
}

// Sky, sun, soft clouds, and layered hills at the bottom.
void PaintScenery(Canvas& c, uint32_t seed, double sunX, double sunY) {
  c.Fill([&](double x, double y) {
    Rgb sky = SkyAt(y, c.h);
    double d = std::hypot(x - sunX, y - sunY);
    sky = Add(sky, Scale(Rgb{255, 210, 150}, 0.55 * std::exp(-d / 120)));
    if (d < 34) sky = Mix(sky, Rgb{255, 246, 214}, std::clamp(34 - d, 0.0, 1.0));
    // Clouds: stretched noise, denser in two bands.
    double n = Fbm(x / 150, y / 46, seed, 5);
    double band = std::exp(-std::pow((y - c.h * 0.28) / 70, 2)) +
                  std::exp(-std::pow((y - c.h * 0.62) / 50, 2)) * 0.8;
    double dens = std::clamp((n - 0.52 + 0.18 * band) * 3.2, 0.0, 1.0);
    double lit = std::clamp(0.75 + (Fbm(x / 60, (y - 6) / 24, seed + 7, 3) - 0.5) * 0.9, 0.4, 1.0);
    Rgb cloud = Mix(Rgb{190, 196, 222}, Rgb{255, 250, 244}, lit);
    return Mix(sky, cloud, dens * 0.9);
  });
  // Hills: three layers, farther ones hazier.
  const Rgb hills[] = {{112, 140, 150}, {74, 118, 86}, {44, 86, 54}};
  for (int layer = 0; layer < 3; ++layer) {
    double base = c.h * (0.80 + 0.065 * layer);
    c.Paint(
        [&](double x, double y) {
          double top = base - 46 * Fbm(x / (220 - 50 * layer), layer * 3.0, seed + 20 + layer, 3);
          return y > top;
        },
        [&](double x, double y) {
          double shade = std::clamp((y - base + 40) / 120, 0.0, 1.0);
          return Mix(hills[layer], Scale(hills[layer], 0.7), shade);
        },
        1.0, 2, 0, static_cast<int>(base - 50));
  }
}

Canvas TitlePicture() {
  Canvas c(800, 600);
  PaintScenery(c, 31, 640, 150);
  // Two biplanes in a dogfight: the red one diving from the right, the blue
  // one climbing after it from the left, with a burst of tracer between.
  Placement blue{4.2, -0.32, 250, 330, false};
  Placement red{3.6, 0.22, 590, 250, true};
  PaintBiplane(c, red, kRed, 0);
  PaintBiplane(c, blue, kBlue, 1);
  for (int i = 0; i < 4; ++i) {
    double x = 400 + i * 34, y = 262 - i * 11.5;
    c.Paint([&](double px, double py) { return InEllipse(px, py, x, y, 5, 5); },
            [&](double px, double py) {
              double d = std::hypot(px - x, py - y) / 5;
              return Mix(Rgb{255, 250, 214}, Rgb{255, 136, 24}, d);
            });
  }
  Text t = RenderText("Skirmora", 132, true);
  int ix0, iy0, ix1, iy1;
  InkBounds(t, &ix0, &iy0, &ix1, &iy1);
  PaintTitleWord(c, "Skirmora", 132, 400 - (ix0 + ix1) / 2, 40 - iy0, 5, true);
  return c;
}

Canvas MenuBackground() {
  Canvas c(800, 600);
  PaintScenery(c, 57, 170, 430);
  // A big biplane on the left, flying away from the menu, and a small one
  // far off.
  PaintBiplane(c, Placement{3.0, 0.12, 190, 300, true}, kRed, 0);
  PaintBiplane(c, Placement{1.3, -0.2, 150, 470, false}, kBlue, 1);
  // Dark panel behind the logo, the item pictures (black boxes at x 445,
  // y 120 to 269) and the plane cursors (x 400 and 720, y 100 to 284).
  auto inPanel = [](double x, double y, double grow) {
    double x0 = 384 - grow, y0 = 4 - grow, x1 = 796 + grow, y1 = 296 + grow, r = 16 + grow;
    double qx = std::max({x0 + r - x, x - (x1 - r), 0.0});
    double qy = std::max({y0 + r - y, y - (y1 - r), 0.0});
    return qx * qx + qy * qy <= r * r;
  };
  c.Paint([&](double x, double y) { return inPanel(x, y, 8); },
          [](double, double) {
            return Rgb{0, 0, 0};
          },
          0.35);
  c.Paint([&](double x, double y) { return inPanel(x, y, 2); },
          [](double, double) {
            return Rgb{214, 170, 84};
          });
  c.Paint([&](double x, double y) { return inPanel(x, y, 0); },
          [](double, double y) {
            return Mix(Rgb{16, 20, 42}, Rgb{6, 8, 18}, y / 300);
          });
  return c;
}

Canvas MenuLogo() {
  Canvas c(300, 87);
  // The largest lettering that fits with its outline.
  int size = 72, ix0 = 0, iy0 = 0, ix1 = 0, iy1 = 0;
  for (; size > 20; --size) {
    Text t = RenderText("Skirmora", size, true);
    InkBounds(t, &ix0, &iy0, &ix1, &iy1);
    if (ix1 - ix0 <= 284 && iy1 - iy0 <= 78) break;
  }
  PaintTitleWord(c, "Skirmora", size, 150 - (ix0 + ix1) / 2, 44 - (iy0 + iy1) / 2, 3, false);
  ApplyKey(c, 0.35);
  return c;
}

Canvas MenuItem(const std::string& words) {
  Canvas c(300, 29);
  Text t = RenderText(words, 20, true);
  int ix0, iy0, ix1, iy1;
  InkBounds(t, &ix0, &iy0, &ix1, &iy1);
  int ox = 150 - (ix0 + ix1) / 2, oy = 14 - (iy0 + iy1) / 2;
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 300; ++x) {
      double a = t.At(x - ox, y - oy);
      c.At(x, y) = {255 * a, 255 * a, 255 * a};
      c.Cover(x, y) = a;
    }
  return c;
}

// ---------------------------------------------------------------- icons --

// The programs' icons: a round patch of sky with a cloud at the bottom and the
// plane (or planes) of the program, on a transparent ground. `planes` is 1 for
// the red plane alone, 2 for the blue one alone, 3 for both.
Canvas Icon(int planes) {
  Canvas c(256, 256);
  auto inDisc = [](double x, double y) { return std::hypot(x - 128, y - 128) < 120; };
  c.Paint(inDisc, [&](double, double y) {
    return Mix(Rgb{86, 140, 214}, Rgb{178, 206, 250}, std::clamp(y / 256, 0.0, 1.0));
  });
  c.Paint([&](double x, double y) { return inDisc(x, y) && y > 182 + 16 * std::sin(x / 19); },
          [](double, double) {
            return Rgb{250, 250, 255};
          });
  c.Paint(
      [](double x, double y) {
        return std::hypot(x - 128, y - 128) >= 114 && std::hypot(x - 128, y - 128) < 120;
      },
      [](double, double) {
        return Rgb{40, 62, 118};
      });
  if (planes == 3) {
    PaintBiplane(c, Placement{1.55, -0.35, 88, 150, false}, kBlue, 1);
    PaintBiplane(c, Placement{1.75, 0.25, 160, 96, true}, kRed, 0);
  } else {
    const bool red = planes == 1;
    PaintBiplane(c, Placement{2.9, red ? 0.2 : -0.2, 128, 122, red}, red ? kRed : kBlue, 0);
  }
  return c;
}

bool SaveBmp(const std::string& dir, const std::string& name, const Canvas& c) {
  return WriteFile(JoinPath(dir, name), EncodeBmp(c.w, c.h, c.Bytes()));
}
bool SavePng(const std::string& dir, const std::string& name, const Canvas& c, bool alpha = false) {
  std::vector<uint8_t> png = EncodePng(c.w, c.h, alpha ? 4 : 3, c.Bytes(alpha));
  return !png.empty() && WriteFile(JoinPath(dir, name), png);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  bool ok = true;
  ok &= SaveBmp(dir, "image_100.bmp", PlaneSprite(true, 0));
  ok &= SaveBmp(dir, "image_101.bmp", PlaneSprite(true, 1));
  ok &= SaveBmp(dir, "image_110.bmp", PlaneSprite(false, 0));
  ok &= SaveBmp(dir, "image_111.bmp", PlaneSprite(false, 1));
  Canvas shot = Shot();
  ok &= SavePng(dir, "image_150.png", shot);
  ok &= SaveBmp(dir, "image_150_net.bmp", shot);
  for (int k = 0; k < 19; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "image_%d.bmp", 161 + k);
    ok &= SaveBmp(dir, name, Explosion(k));
  }
  ok &= SavePng(dir, "image_200.png", CloudBand(), true);
  ok &= SavePng(dir, "image_201.png", SmokePuff());
  ok &= SavePng(dir, "image_499.png", TitlePicture());
  ok &= SavePng(dir, "image_500.png", MenuBackground());
  ok &= SavePng(dir, "image_501.png", MenuLogo());
  const char* items[] = {"Start 1 Player Game", "Start 2 Player Game", "Start Game as Host",
                         "Join Game as Client", "About this Game",     "Exit this Game"};
  for (int i = 0; i < 6; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "image_%d.png", 502 + i);
    ok &= SavePng(dir, name, MenuItem(items[i]));
  }
  ok &= SavePng(dir, "icon_skirmora.png", Icon(3), true);
  ok &= SavePng(dir, "icon_skirmora-host.png", Icon(1), true);
  ok &= SavePng(dir, "icon_skirmora-join.png", Icon(2), true);
  return ok ? 0 : 1;
}
