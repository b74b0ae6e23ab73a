#pragma once
// Shared helpers of the asset tools: a float canvas with supersampled shape
// painting, a small seeded random generator and noise, and writers for the
// three file formats the programs embed (24-bit BMP, PNG, 8-bit PCM WAV).
// Everything here is deterministic: the same program run twice writes the
// same bytes.

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tools {

// ---------------------------------------------------------------- random --

// SplitMix64: tiny, fast and identical on every platform.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  // Uniform in [-1, 1).
  double Signed() { return Uniform() * 2.0 - 1.0; }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

inline uint32_t HashInts(int x, int y, uint32_t seed) {
  uint32_t h = seed * 0x27D4EB2Du ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^
               static_cast<uint32_t>(y) * 0xC2B2AE35u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

inline double Smooth(double t) {
  return t * t * (3.0 - 2.0 * t);
}

// Value noise in [0, 1]; periodic in x with the given period (in lattice
// cells) when period > 0, so that a texture can tile sideways.
inline double ValueNoise(double x, double y, uint32_t seed, int period = 0) {
  int x0 = static_cast<int>(std::floor(x));
  int y0 = static_cast<int>(std::floor(y));
  double fx = Smooth(x - x0), fy = Smooth(y - y0);
  auto at = [&](int ix, int iy) {
    if (period > 0) ix = ((ix % period) + period) % period;
    return (HashInts(ix, iy, seed) & 0xFFFFFF) / 16777215.0;
  };
  double a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// Fractal sum of value noise, in [0, 1].
inline double Fbm(double x, double y, uint32_t seed, int octaves, int period = 0) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += ValueNoise(x, y, seed + o * 101u, period) * amp;
    norm += amp;
    x *= 2;
    y *= 2;
    if (period > 0) period *= 2;
    amp *= 0.5;
  }
  return sum / norm;
}

// ---------------------------------------------------------------- colour --

struct Rgb {
  double r = 0, g = 0, b = 0;
};

inline Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Rgb Scale(Rgb a, double k) {
  return {a.r * k, a.g * k, a.b * k};
}
inline Rgb Add(Rgb a, Rgb b) {
  return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline uint8_t ToByte(double v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
}

// ---------------------------------------------------------------- canvas --

// A picture in floating point colour (0..255) with a coverage channel
// (0..1) that tells how much of each pixel has been painted.
struct Canvas {
  int w = 0, h = 0;
  std::vector<Rgb> px;
  std::vector<double> cover;

  Canvas(int width, int height) : w(width), h(height), px(width * height), cover(width * height) {}
  Rgb& At(int x, int y) { return px[y * w + x]; }
  const Rgb& At(int x, int y) const { return px[y * w + x]; }
  double& Cover(int x, int y) { return cover[y * w + x]; }

  void Fill(const std::function<Rgb(double x, double y)>& f) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        At(x, y) = f(x + 0.5, y + 0.5);
        Cover(x, y) = 1;
      }
  }

  // Paints a shape given by an inside test with ss x ss samples per pixel,
  // blending colour(x, y) over the pixel by the covered share times opacity.
  void Paint(const std::function<bool(double x, double y)>& inside,
             const std::function<Rgb(double x, double y)>& colour, double opacity = 1.0, int ss = 4,
             int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
    if (x1 < 0) x1 = w;
    if (y1 < 0) y1 = h;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, w);
    y1 = std::min(y1, h);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        int hits = 0;
        for (int sy = 0; sy < ss; ++sy)
          for (int sx = 0; sx < ss; ++sx)
            if (inside(x + (sx + 0.5) / ss, y + (sy + 0.5) / ss)) ++hits;
        if (hits == 0) continue;
        double a = opacity * hits / (ss * ss);
        Rgb c = colour(x + 0.5, y + 0.5);
        At(x, y) = Mix(At(x, y), c, a);
        Cover(x, y) = Cover(x, y) + (1 - Cover(x, y)) * a;
      }
  }

  void PaintSolid(const std::function<bool(double x, double y)>& inside, Rgb c,
                  double opacity = 1.0, int ss = 4) {
    Paint(
        inside, [c](double, double) { return c; }, opacity, ss);
  }

  // Top-down 8-bit RGB (or RGBA when alpha is wanted, alpha from coverage).
  std::vector<uint8_t> Bytes(bool alpha = false) const {
    std::vector<uint8_t> out;
    out.reserve(w * h * (alpha ? 4 : 3));
    for (int i = 0; i < w * h; ++i) {
      out.push_back(ToByte(px[i].r));
      out.push_back(ToByte(px[i].g));
      out.push_back(ToByte(px[i].b));
      if (alpha) out.push_back(ToByte(cover[i] * 255));
    }
    return out;
  }
};

// Keyed pictures: black is the transparent key colour. Pixels painted less
// than half are made exactly black; painted pixels are lifted so that no
// solid pixel turns transparent on a 16-bit 5-6-5 screen either (there every
// colour with red and blue below 8 and green below 4 becomes the key).
inline void ApplyKey(Canvas& c, double threshold = 0.5) {
  for (int i = 0; i < c.w * c.h; ++i) {
    if (c.cover[i] < threshold) {
      c.px[i] = {0, 0, 0};
      continue;
    }
    Rgb& p = c.px[i];
    // Undo the darkening of partly covered edge pixels towards the black.
    if (c.cover[i] < 1) p = Scale(p, 1.0 / c.cover[i]);
    if (p.r < 12 && p.b < 12 && p.g < 6)
      p = {std::max(p.r, 12.0), std::max(p.g, 10.0), std::max(p.b, 12.0)};
  }
}

// True when a byte triple would survive as a solid (non-key) pixel on both
// the 32-bit and the 16-bit 5-6-5 screens.
inline bool SolidOn565(uint8_t r, uint8_t g, uint8_t b) {
  return r >= 8 || b >= 8 || g >= 4;
}

// ---------------------------------------------------------------- shapes --

inline bool InEllipse(double x, double y, double cx, double cy, double rx, double ry) {
  double dx = (x - cx) / rx, dy = (y - cy) / ry;
  return dx * dx + dy * dy <= 1.0;
}

inline double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double vx = bx - ax, vy = by - ay;
  double len2 = vx * vx + vy * vy;
  double t = len2 > 0 ? std::clamp(((px - ax) * vx + (py - ay) * vy) / len2, 0.0, 1.0) : 0.0;
  double dx = px - (ax + vx * t), dy = py - (ay + vy * t);
  return std::sqrt(dx * dx + dy * dy);
}

struct Pt {
  double x, y;
};

// Even-odd point-in-polygon test.
inline bool InPolygon(double x, double y, const std::vector<Pt>& poly) {
  bool in = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    if ((poly[i].y > y) != (poly[j].y > y) &&
        x < (poly[j].x - poly[i].x) * (y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
      in = !in;
  }
  return in;
}

// ---------------------------------------------------------------- writers --

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(x & 0xFF);
  v.push_back((x >> 8) & 0xFF);
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// 24-bit uncompressed bottom-up BMP with the 14 + 40 byte header, from
// top-down RGB bytes.
inline std::vector<uint8_t> EncodeBmp(int w, int h, const std::vector<uint8_t>& rgb) {
  int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> v;
  v.push_back('B');
  v.push_back('M');
  Put32(v, 54 + stride * h);  // file size
  Put32(v, 0);                // reserved
  Put32(v, 54);               // pixel data offset
  Put32(v, 40);               // information header size
  Put32(v, w);
  Put32(v, h);  // positive: bottom row first
  Put16(v, 1);  // planes
  Put16(v, 24);
  Put32(v, 0);  // no compression
  Put32(v, stride * h);
  Put32(v, 2835);  // 72 dpi
  Put32(v, 2835);
  Put32(v, 0);
  Put32(v, 0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgb[(y * w + x) * 3];
      v.push_back(p[2]);
      v.push_back(p[1]);
      v.push_back(p[0]);
    }
    for (int pad = w * 3; pad < stride; ++pad) v.push_back(0);
  }
  return v;
}

// Non-interlaced 8-bit PNG, RGB (channels 3) or RGBA (4), from top-down
// bytes. No time stamp or other varying chunk is written.
inline std::vector<uint8_t> EncodePng(int w, int h, int channels, const std::vector<uint8_t>& px) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, w, h, 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y)
    png_write_row(png, const_cast<png_bytep>(&px[static_cast<size_t>(y) * w * channels]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// 8-bit mono PCM WAV: RIFF header, a 16-byte format chunk, then the data
// chunk. Samples are signed -1..1 and stored unsigned around 128. An odd
// data size gets the pad byte RIFF asks for after the data chunk.
inline std::vector<uint8_t> EncodeWav8(int rate, const std::vector<double>& samples) {
  std::vector<uint8_t> v;
  uint32_t n = static_cast<uint32_t>(samples.size());
  uint32_t padded = n + (n & 1);
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(v, 4 + 8 + 16 + 8 + padded);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(v, 16);
  Put16(v, 1);  // PCM
  Put16(v, 1);  // mono
  Put32(v, rate);
  Put32(v, rate);  // bytes per second
  Put16(v, 1);     // block alignment
  Put16(v, 8);     // bits per sample
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, n);
  for (double s : samples) v.push_back(ToByte(128.0 + 127.0 * s));
  if (n & 1) v.push_back(128);
  return v;
}

inline std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace tools
