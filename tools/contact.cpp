// Contact sheet of the built-in assets: one PNG showing every picture on a
// grey background (small ones enlarged), a mock-up of the menu screen as the
// game composes it, and each recording rendered as heard in the game (at the
// playback rates the game uses) as 16-bit WAV files, with level figures.
// Usage: tool_contact <assets directory> <output directory>

#include <png.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/font.h"
#include "tools/common.h"

using namespace tools;

namespace {

struct Picture {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;  // top-down
};

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

bool DecodeBmp(const std::vector<uint8_t>& d, Picture* p) {
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M' || (d[28] | d[29] << 8) != 24) return false;
  p->w = static_cast<int>(Le32(d, 18));
  p->h = static_cast<int>(Le32(d, 22));
  size_t off = Le32(d, 10), stride = (p->w * 3 + 3) & ~3;
  if (p->w <= 0 || p->h <= 0 || off + stride * p->h > d.size()) return false;
  p->rgb.resize(static_cast<size_t>(p->w) * p->h * 3);
  for (int y = 0; y < p->h; ++y)
    for (int x = 0; x < p->w; ++x) {
      const uint8_t* s = &d[off + (p->h - 1 - y) * stride + x * 3];
      uint8_t* o = &p->rgb[(y * p->w + x) * 3];
      o[0] = s[2], o[1] = s[1], o[2] = s[0];
    }
  return true;
}

bool DecodePng(const std::vector<uint8_t>& d, Picture* p) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, d.data(), d.size())) return false;
  img.format = PNG_FORMAT_RGB;
  p->w = static_cast<int>(img.width);
  p->h = static_cast<int>(img.height);
  p->rgb.resize(PNG_IMAGE_SIZE(img));
  bool ok = png_image_finish_read(&img, nullptr, p->rgb.data(), 0, nullptr) != 0;
  png_image_free(&img);
  return ok;
}

Picture Load(const std::string& dir, const std::string& name) {
  Picture p;
  std::vector<uint8_t> d = ReadAll(JoinPath(dir, name));
  bool ok = name.ends_with(".bmp") ? DecodeBmp(d, &p) : DecodePng(d, &p);
  if (!ok) {
    std::fprintf(stderr, "cannot read %s\n", name.c_str());
    std::exit(1);
  }
  return p;
}

struct Sheet {
  int w, h;
  std::vector<uint8_t> rgb;
  Sheet(int width, int height) : w(width), h(height), rgb(width * height * 3, 112) {}
  void Set(int x, int y, const uint8_t* c) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    std::copy(c, c + 3, &rgb[(y * w + x) * 3]);
  }
  // Draws a picture scaled by zoom (nearest; a zoom below 1 averages),
  // optionally leaving its black key pixels out.
  void Put(const Picture& p, int x, int y, double zoom, bool keyed) {
    int ow = static_cast<int>(p.w * zoom), oh = static_cast<int>(p.h * zoom);
    for (int oy = 0; oy < oh; ++oy)
      for (int ox = 0; ox < ow; ++ox) {
        const uint8_t* s =
            &p.rgb[(static_cast<int>(oy / zoom) * p.w + static_cast<int>(ox / zoom)) * 3];
        if (keyed && s[0] == 0 && s[1] == 0 && s[2] == 0) continue;
        Set(x + ox, y + oy, s);
      }
  }
  void Label(const std::string& text, int x, int y) {
    platform::TextBitmap bm;
    if (!platform::FontRender(text, 12, false, &bm)) return;
    for (int yy = 0; yy < bm.height; ++yy)
      for (int xx = 0; xx < bm.width; ++xx) {
        double a = bm.coverage[yy * bm.width + xx] / 255.0;
        if (a <= 0 || x + xx >= w || y + yy >= h) continue;
        uint8_t* o = &rgb[((y + yy) * w + x + xx) * 3];
        for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>(o[k] * (1 - a) + 255 * a);
      }
  }
};

// The menu screen as the game composes it, from its pictures.
Picture MenuMockup(const std::string& dir) {
  Picture screen = Load(dir, "image_500.png");
  auto put = [&](const Picture& p, int x, int y, bool keyed) {
    for (int yy = 0; yy < p.h; ++yy)
      for (int xx = 0; xx < p.w; ++xx) {
        const uint8_t* s = &p.rgb[(yy * p.w + xx) * 3];
        if (keyed && s[0] == 0 && s[1] == 0 && s[2] == 0) continue;
        if (x + xx >= screen.w || y + yy >= screen.h) continue;
        std::copy(s, s + 3, &screen.rgb[((y + yy) * screen.w + x + xx) * 3]);
      }
  };
  put(Load(dir, "image_501.png"), 440, 10, true);
  put(Load(dir, "image_503.png"), 445, 120, false);
  put(Load(dir, "image_504.png"), 445, 160, false);
  put(Load(dir, "image_506.png"), 445, 200, false);
  put(Load(dir, "image_507.png"), 445, 240, false);
  put(Load(dir, "image_100.bmp"), 720, 100, true);
  put(Load(dir, "image_110.bmp"), 400, 100, true);
  return screen;
}

// --------------------------------------------------------------- sounds --

struct Recording {
  int rate = 0;
  std::vector<uint8_t> data;
};

Recording LoadWav(const std::string& path) {
  std::vector<uint8_t> d = ReadAll(path);
  Recording r;
  if (d.size() < 44) return r;
  uint32_t f = Le32(d, 16);
  r.rate = static_cast<int>(Le32(d, 24));
  uint32_t n = Le32(d, 24 + f);
  if (28 + f + n > d.size()) return {};
  r.data.assign(d.begin() + 28 + f, d.begin() + 28 + f + n);
  return r;
}

// Plays the recording at the given rate into 44,100 Hz 16-bit mono, as a
// sound voice would (linear interpolation), looping it `loops` times.
void RenderWav(const Recording& r, int playRate, int loops, const std::string& path) {
  std::vector<int16_t> out;
  double step = static_cast<double>(playRate) / 44100.0;
  size_t n = r.data.size();
  double total = static_cast<double>(n) * loops;
  for (double pos = 0; pos < total - 1; pos += step) {
    size_t i = static_cast<size_t>(pos);
    double frac = pos - i;
    double a = r.data[i % n] - 128.0, b = r.data[(i + 1) % n] - 128.0;
    out.push_back(static_cast<int16_t>(std::lround((a + (b - a) * frac) * 200)));
  }
  std::vector<uint8_t> v;
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(v, 36 + out.size() * 2);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(v, 16);
  Put16(v, 1);
  Put16(v, 1);
  Put32(v, 44100);
  Put32(v, 88200);
  Put16(v, 2);
  Put16(v, 16);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, out.size() * 2);
  for (int16_t s : out) Put16(v, static_cast<uint16_t>(s));
  WriteFile(path, v);
}

void Report(const char* name, const Recording& r, bool loop) {
  double sum = 0, sq = 0, maxStep = 0;
  int peak = 0, clipped = 0;
  for (size_t i = 0; i < r.data.size(); ++i) {
    int v = r.data[i] - 128;
    sum += v;
    sq += v * v;
    peak = std::max(peak, std::abs(v));
    if (r.data[i] == 0 || r.data[i] == 255) ++clipped;
    if (i > 0)
      maxStep = std::max(maxStep, std::fabs(static_cast<double>(r.data[i]) - r.data[i - 1]));
  }
  double n = static_cast<double>(r.data.size());
  std::printf("%s: %d Hz, %zu bytes, peak %d/127 (%.1f dBFS), rms %.1f dBFS, mean %.2f, clipped %d",
              name, r.rate, r.data.size(), peak, 20 * std::log10(peak / 127.0),
              20 * std::log10(std::sqrt(sq / n) / 127.0), sum / n, clipped);
  if (loop)
    std::printf(", loop seam step %d (largest step inside %.0f)",
                std::abs(static_cast<int>(r.data.front()) - r.data.back()), maxStep);
  else
    std::printf(", first %d last %d", r.data.front() - 128, r.data.back() - 128);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <assets directory> <output directory>\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1], out = argv[2];
  std::string mk = "mkdir -p '" + out + "'";
  if (std::system(mk.c_str()) != 0) return 1;

  Sheet s(1500, 1020);
  int x = 10, y = 10;
  auto tile = [&](const std::string& name, const std::string& label, double zoom) {
    Picture p = Load(dir, name);
    s.Put(p, x, y + 16, zoom, false);
    s.Label(label, x, y);
    x += static_cast<int>(p.w * zoom) + 12;
  };
  tile("image_100.bmp", "100", 2);
  tile("image_101.bmp", "101", 2);
  tile("image_110.bmp", "110", 2);
  tile("image_111.bmp", "111", 2);
  tile("image_150.png", "150", 8);
  tile("image_150_net.bmp", "150 net", 8);
  tile("image_201.png", "201", 2);
  // The planes as drawn over the sky (keyed), at actual size and doubled.
  {
    Picture sky{128, 64, std::vector<uint8_t>(128 * 64 * 3)};
    for (int i = 0; i < 128 * 64; ++i)
      sky.rgb[i * 3] = 170, sky.rgb[i * 3 + 1] = 200, sky.rgb[i * 3 + 2] = 255;
    s.Put(sky, x, y + 16, 2, false);
    s.Put(Load(dir, "image_101.bmp"), x + 8, y + 16, 2, true);
    s.Put(Load(dir, "image_110.bmp"), x + 128, y + 16, 2, true);
    s.Label("on the sky (keyed)", x, y);
  }
  x = 10, y = 170;
  for (int k = 0; k < 19; ++k)
    tile("image_" + std::to_string(161 + k) + ".bmp", std::to_string(161 + k), 1);
  x = 10, y = 270;
  tile("image_200.png", "200", 1);
  {
    Picture logo = Load(dir, "image_501.png");
    s.Put(logo, x, y + 16, 1, false);
    s.Label("501", x, y);
    for (int i = 0; i < 6; ++i) {
      Picture item = Load(dir, "image_" + std::to_string(502 + i) + ".png");
      s.Put(item, x, y + 120 + i * 36, 1, false);
      s.Label(std::to_string(502 + i), x + 306, y + 126 + i * 36);
    }
    x += 360;
  }
  {
    Picture menu = MenuMockup(dir);
    s.Put(menu, x, y + 16, 0.5, false);
    s.Label("menu screen as composed (half size)", x, y);
  }
  x = 10, y = 600;
  tile("image_499.png", "499 (half size)", 0.5);
  tile("image_500.png", "500 (half size)", 0.5);
  std::vector<uint8_t> png = EncodePng(s.w, s.h, 3, s.rgb);
  if (png.empty() || !WriteFile(JoinPath(out, "contact_sheet.png"), png)) return 1;

  Recording a = LoadWav(JoinPath(dir, "recording_a.wav"));
  Recording b = LoadWav(JoinPath(dir, "recording_b.wav"));
  Recording c = LoadWav(JoinPath(dir, "recording_c.wav"));
  if (a.data.empty() || b.data.empty() || c.data.empty()) return 1;
  Report("A engine", a, true);
  Report("B shot", b, false);
  Report("C hit", c, false);
  for (int rate : {12000, 22050, 48000})
    RenderWav(a, rate, 4, JoinPath(out, "engine_" + std::to_string(rate) + ".wav"));
  for (int rate : {11000, 80000})
    RenderWav(b, rate, 1, JoinPath(out, "shot_" + std::to_string(rate) + ".wav"));
  for (int rate : {11000, 30000, 60000})
    RenderWav(c, rate, 1, JoinPath(out, "hit_" + std::to_string(rate) + ".wav"));
  std::printf("contact sheet and recordings written to %s\n", out.c_str());
  return 0;
}
