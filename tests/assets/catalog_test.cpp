// Checks every built-in asset of both catalogues: file format, size, pixel
// format, key-colour rules and a little of what the pictures show; the
// recordings' format, exact data sizes and levels; the tune's module
// structure; and that the tools reproduce the committed files exactly.

#include "assets/catalog.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

using Bytes = std::span<const uint8_t>;

uint32_t Le16(Bytes d, size_t at) {
  return d[at] | d[at + 1] << 8;
}
uint32_t Le32(Bytes d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}
uint32_t Be32(Bytes d, size_t at) {
  return static_cast<uint32_t>(d[at]) << 24 | d[at + 1] << 16 | d[at + 2] << 8 | d[at + 3];
}

struct Picture {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;  // top-down
  const uint8_t* At(int x, int y) const { return &rgb[(y * w + x) * 3]; }
  bool Key(int x, int y) const {
    const uint8_t* p = At(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
  }
  int Solid() const {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += !Key(x, y);
    return n;
  }
};

// Checks the header of a 24-bit uncompressed bottom-up BMP and decodes it.
Picture CheckBmp(Bytes d, int w, int h) {
  Picture p;
  int stride = (w * 3 + 3) & ~3;
  EXPECT_EQ(d.size(), static_cast<size_t>(54 + stride * h));
  if (d.size() < 54) return p;
  EXPECT_EQ(d[0], 'B');
  EXPECT_EQ(d[1], 'M');
  EXPECT_EQ(Le32(d, 2), d.size());
  EXPECT_EQ(Le32(d, 10), 54u);
  EXPECT_EQ(Le32(d, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(Le32(d, 18)), w);
  EXPECT_EQ(static_cast<int32_t>(Le32(d, 22)), h);  // positive: bottom row first
  EXPECT_EQ(Le16(d, 26), 1u);
  EXPECT_EQ(Le16(d, 28), 24u);
  EXPECT_EQ(Le32(d, 30), 0u);
  if (d.size() != static_cast<size_t>(54 + stride * h)) return p;
  p.w = w, p.h = h;
  p.rgb.resize(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = &d[54 + (h - 1 - y) * stride + x * 3];
      uint8_t* o = &p.rgb[(y * w + x) * 3];
      o[0] = s[2], o[1] = s[1], o[2] = s[0];
    }
  return p;
}

// Checks a non-interlaced 8-bit PNG of colour type 2 (RGB) or 6 (RGBA) and
// decodes it to RGB, dropping any alpha as the programs do.
Picture CheckPng(Bytes d, int w, int h, int colourType) {
  Picture p;
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_GE(d.size(), 33u);
  if (d.size() < 33) return p;
  EXPECT_TRUE(std::equal(sig, sig + 8, d.begin()));
  EXPECT_EQ(Be32(d, 8), 13u);
  EXPECT_EQ(std::string(d.begin() + 12, d.begin() + 16), "IHDR");
  EXPECT_EQ(Be32(d, 16), static_cast<uint32_t>(w));
  EXPECT_EQ(Be32(d, 20), static_cast<uint32_t>(h));
  EXPECT_EQ(d[24], 8);           // bits per channel
  EXPECT_EQ(d[25], colourType);  // 2 RGB, 6 RGBA
  EXPECT_EQ(d[28], 0);           // not interlaced
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, d.data(), d.size())) {
    ADD_FAILURE() << "PNG does not decode";
    return p;
  }
  img.format = PNG_FORMAT_RGB;
  p.rgb.resize(PNG_IMAGE_SIZE(img));
  EXPECT_NE(png_image_finish_read(&img, nullptr, p.rgb.data(), 0, nullptr), 0);
  png_image_free(&img);
  p.w = static_cast<int>(img.width), p.h = static_cast<int>(img.height);
  return p;
}

const std::vector<int> kExplosion = [] {
  std::vector<int> v;
  for (int n = 161; n <= 179; ++n) v.push_back(n);
  return v;
}();

// Every non-key pixel of a keyed picture must stay solid on the network
// programs' 16-bit 5-6-5 screen, where red and blue below 8 and green below
// 4 turn into the key colour.
void ExpectSolidOn565(const Picture& p, const std::string& what) {
  int lost = 0;
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      const uint8_t* c = p.At(x, y);
      if (!p.Key(x, y) && c[0] < 8 && c[2] < 8 && c[1] < 4) ++lost;
    }
  EXPECT_EQ(lost, 0) << what << " has dark pixels that vanish on a 16-bit screen";
}

TEST(AssetCatalogue, LocalImagesHaveTheirFormatAndSize) {
  for (int n : {100, 101, 110, 111}) {
    SCOPED_TRACE(n);
    Picture p = CheckBmp(assets::LocalImage(n), 64, 64);
    ExpectSolidOn565(p, "plane");
  }
  for (int n : kExplosion) {
    SCOPED_TRACE(n);
    ExpectSolidOn565(CheckBmp(assets::LocalImage(n), 64, 64), "explosion");
  }
  ExpectSolidOn565(CheckPng(assets::LocalImage(150), 8, 8, 2), "shot");
  ExpectSolidOn565(CheckPng(assets::LocalImage(200), 256, 256, 6), "cloud band");
  ExpectSolidOn565(CheckPng(assets::LocalImage(201), 64, 64, 2), "smoke puff");
  CheckPng(assets::LocalImage(499), 800, 600, 2);
  CheckPng(assets::LocalImage(500), 800, 600, 2);
  ExpectSolidOn565(CheckPng(assets::LocalImage(501), 300, 87, 2), "logo");
  for (int n = 502; n <= 507; ++n) CheckPng(assets::LocalImage(n), 300, 29, 2);
  for (int n : {-1, 0, 99, 102, 112, 151, 160, 180, 202, 498, 508, 600})
    EXPECT_TRUE(assets::LocalImage(n).empty()) << n;
}

TEST(AssetCatalogue, NetworkImagesShareThePicturesButTheShotIsABmp) {
  for (int n : {100, 101, 110, 111, 200}) {
    Bytes a = assets::NetworkImage(n), b = assets::LocalImage(n);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << n;
  }
  for (int n : kExplosion) EXPECT_EQ(assets::NetworkImage(n).size(), assets::LocalImage(n).size());
  Picture bmp = CheckBmp(assets::NetworkImage(150), 8, 8);
  Picture png = CheckPng(assets::LocalImage(150), 8, 8, 2);
  EXPECT_EQ(bmp.rgb, png.rgb) << "the two shots show the same ball";
  for (int n : {201, 499, 500, 501, 502, 507, 99, 600})
    EXPECT_TRUE(assets::NetworkImage(n).empty()) << n;
}

TEST(AssetPictures, PlanesAreRedAndBlueWithTheNoseWhereThePropellerTurns) {
  for (bool red : {true, false}) {
    SCOPED_TRACE(red ? "red" : "blue");
    int base = red ? 100 : 110;
    Picture a = CheckBmp(assets::LocalImage(base), 64, 64);
    Picture b = CheckBmp(assets::LocalImage(base + 1), 64, 64);
    ASSERT_EQ(a.w, 64);
    ASSERT_EQ(b.w, 64);
    EXPECT_GT(a.Solid(), 900);  // a plane, not a speck
    EXPECT_LT(a.Solid(), 3000);
    long r = 0, bl = 0;
    for (int i = 0; i < 64 * 64; ++i) r += a.rgb[i * 3], bl += a.rgb[i * 3 + 2];
    EXPECT_TRUE(red ? r > bl * 3 / 2 : bl > r * 3 / 2);
    // The frames differ only at the propeller, in front of the nose.
    int changed = 0, atNose = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        if (!std::equal(a.At(x, y), a.At(x, y) + 3, b.At(x, y))) {
          ++changed;
          atNose += red ? x < 14 : x >= 50;
        }
    EXPECT_GT(changed, 20);
    EXPECT_EQ(atNose, changed);
  }
}

TEST(AssetPictures, ExplosionGrowsFromAWhiteDotAndFades) {
  std::vector<int> solid;
  std::vector<double> brightness;
  for (int n : kExplosion) {
    Picture p = CheckBmp(assets::LocalImage(n), 64, 64);
    ASSERT_EQ(p.w, 64);
    solid.push_back(p.Solid());
    double sum = 0;
    for (int i = 0; i < 64 * 64; ++i) sum += p.rgb[i * 3] + p.rgb[i * 3 + 1] + p.rgb[i * 3 + 2];
    brightness.push_back(sum / std::max(1, p.Solid()) / 3);
  }
  EXPECT_GT(solid[0], 0);
  EXPECT_LT(solid[0], 40);
  EXPECT_GT(brightness[0], 240);  // white
  size_t peak = std::max_element(solid.begin(), solid.end()) - solid.begin();
  EXPECT_GT(peak, 4u);
  EXPECT_LT(peak, 14u);
  for (size_t i = 1; i <= peak; ++i) EXPECT_GE(solid[i], solid[i - 1]) << "grows until frame " << i;
  EXPECT_LT(solid.back(), solid[peak] / 4);
  EXPECT_LT(brightness.back(), brightness[peak] * 0.6) << "darkens";
}

TEST(AssetPictures, MenuPicturesFitTheMenuLayout) {
  // Item pictures: white lettering on black, drawn opaquely.
  for (int n = 502; n <= 507; ++n) {
    Picture p = CheckPng(assets::LocalImage(n), 300, 29, 2);
    ASSERT_EQ(p.w, 300);
    int white = 0;
    for (int i = 0; i < 300 * 29; ++i) {
      const uint8_t* c = &p.rgb[i * 3];
      EXPECT_TRUE(c[0] == c[1] && c[1] == c[2]) << n;
      white += c[0] > 240;
    }
    EXPECT_GT(white, 300) << n;
    EXPECT_TRUE(p.Key(0, 0) && p.Key(299, 28) && p.Key(0, 28) && p.Key(299, 0)) << n;
  }
  // The background stays dark where the items, logo and cursors go, so the
  // black item boxes read as part of it.
  Picture bg = CheckPng(assets::LocalImage(500), 800, 600, 2);
  ASSERT_EQ(bg.w, 800);
  double sum = 0;
  for (int y = 100; y < 285; ++y)
    for (int x = 400; x < 785; ++x) sum += bg.At(x, y)[0] + bg.At(x, y)[1] + bg.At(x, y)[2];
  EXPECT_LT(sum / (185 * 385 * 3), 40);
  // The logo is lettering on the key colour, touching no edge.
  Picture logo = CheckPng(assets::LocalImage(501), 300, 87, 2);
  ASSERT_EQ(logo.w, 300);
  EXPECT_GT(logo.Solid(), 3000);
  for (int x = 0; x < 300; ++x) EXPECT_TRUE(logo.Key(x, 0) && logo.Key(x, 86)) << x;
  for (int y = 0; y < 87; ++y) EXPECT_TRUE(logo.Key(0, y) && logo.Key(299, y)) << y;
}

TEST(AssetPictures, CloudBandIsWhiteAlongTheBottomAndTilesSideways) {
  Picture c = CheckPng(assets::LocalImage(200), 256, 256, 6);
  ASSERT_EQ(c.w, 256);
  auto rowMean = [&](int y) {
    double s = 0;
    for (int x = 0; x < 256; ++x) s += c.At(x, y)[0];
    return s / 256;
  };
  EXPECT_GT(rowMean(250), 200);  // the edge of the screen is white
  EXPECT_EQ(rowMean(2), 0);      // the inner side is clear
  // Left and right columns join without a seam.
  double diff = 0;
  for (int y = 0; y < 256; ++y) diff += std::abs(c.At(0, y)[0] - c.At(255, y)[0]);
  EXPECT_LT(diff / 256, 12);
}

// ------------------------------------------------------------ recordings --

struct Wav {
  int rate = 0;
  std::vector<uint8_t> data;
};

Wav CheckWav(Bytes d, int rate, uint32_t bytes) {
  Wav w;
  EXPECT_GE(d.size(), 44u + bytes);
  if (d.size() < 44 + bytes) return w;
  EXPECT_EQ(std::string(d.begin(), d.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(d, 4), d.size() - 8);
  EXPECT_EQ(std::string(d.begin() + 8, d.begin() + 16), "WAVEfmt ");
  uint32_t f = Le32(d, 16);
  EXPECT_EQ(f, 16u);
  EXPECT_EQ(Le16(d, 20), 1u);  // PCM
  EXPECT_EQ(Le16(d, 22), 1u);  // mono
  EXPECT_EQ(Le32(d, 24), static_cast<uint32_t>(rate));
  EXPECT_EQ(Le32(d, 28), static_cast<uint32_t>(rate));
  EXPECT_EQ(Le16(d, 32), 1u);
  EXPECT_EQ(Le16(d, 34), 8u);
  EXPECT_EQ(std::string(d.begin() + 20 + f, d.begin() + 24 + f), "data");
  EXPECT_EQ(Le32(d, 24 + f), bytes);
  w.rate = rate;
  w.data.assign(d.begin() + 28 + f, d.begin() + 28 + f + bytes);
  int peak = 0;
  long sum = 0;
  for (uint8_t s : w.data) {
    peak = std::max(peak, std::abs(s - 128));
    sum += s - 128;
  }
  EXPECT_GT(peak, 80) << "loud enough";
  EXPECT_LT(peak, 127) << "never clipped";
  EXPECT_LT(std::abs(static_cast<double>(sum) / bytes), 2.0) << "no offset";
  return w;
}

TEST(AssetRecordings, FormatsAndExactDataSizes) {
  Wav a = CheckWav(assets::Recording('A'), 22050, 29944);
  Wav b = CheckWav(assets::Recording('B'), 8000, 15597);
  Wav c = CheckWav(assets::Recording('C'), 8000, 4355);
  // The engine loops: its last sample runs into its first like any other
  // neighbouring pair does.
  ASSERT_EQ(a.data.size(), 29944u);
  int largest = 0;
  for (size_t i = 1; i < a.data.size(); ++i)
    largest = std::max(largest, std::abs(a.data[i] - a.data[i - 1]));
  EXPECT_LE(std::abs(a.data.front() - a.data.back()), largest / 2);
  // The one-shots start and end in silence, so they never click.
  for (const Wav* w : {&b, &c}) {
    ASSERT_FALSE(w->data.empty());
    EXPECT_LE(std::abs(w->data.front() - 128), 2);
    EXPECT_LE(std::abs(w->data.back() - 128), 2);
  }
  EXPECT_TRUE(assets::Recording('D').empty());
  EXPECT_TRUE(assets::Recording('a').empty());
}

// ---------------------------------------------------------------- module --

struct ModuleFacts {
  std::set<int> effects;
  bool forwardLoop = false, pingPong = false, sustain = false, envelopeLoop = false;
  double secondsToLoop = 0;
};

// Walks the whole module as the player reads it and checks every offset,
// count and row; returns what it found.
void CheckModule(Bytes m, ModuleFacts& f) {
  EXPECT_GT(m.size(), 10064u);
  if (m.size() <= 10064) return;
  EXPECT_EQ(std::string(m.begin(), m.begin() + 4), std::string("MXM\0", 4));
  uint32_t orders = Le32(m, 4), restart = Le32(m, 8), channels = Le32(m, 12);
  uint32_t patterns = Le32(m, 16), instruments = Le32(m, 20);
  int speed = m[24], tempo = m[25];
  uint32_t flags = Le16(m, 26), dataAt = Le32(m, 28), bytes8 = Le32(m, 32), values16 = Le32(m, 36);
  EXPECT_TRUE(orders >= 1 && orders <= 256);
  EXPECT_LT(restart, orders);
  EXPECT_TRUE(channels >= 1 && channels <= 32);
  EXPECT_TRUE(patterns >= 1 && patterns <= 256);
  EXPECT_TRUE(instruments >= 1 && instruments <= 128);
  EXPECT_GT(speed, 0);
  EXPECT_GE(tempo, 32);
  EXPECT_TRUE(flags & 4) << "delta-coded samples";
  EXPECT_FALSE(flags & 2);
  EXPECT_EQ(values16, 0u);
  EXPECT_EQ(static_cast<size_t>(dataAt) + bytes8, m.size());
  EXPECT_LT(static_cast<int32_t>(Le32(m, 40)), static_cast<int32_t>(Le32(m, 44)));
  for (uint32_t i = 0; i < orders; ++i) EXPECT_LT(m[80 + i], patterns) << "order " << i;
  if (::testing::Test::HasFailure()) return;

  // Decoded 8-bit sample data (running sum of the stored bytes).
  std::vector<int8_t> decoded(bytes8);
  uint8_t run = 0;
  for (uint32_t i = 0; i < bytes8; ++i) decoded[i] = static_cast<int8_t>(run += m[dataAt + i]);

  // Instruments.
  for (uint32_t i = 0; i < 128; ++i) {
    uint32_t at = Le32(m, 336 + i * 4);
    if (i >= instruments) {
      EXPECT_EQ(at, 0u);
      continue;
    }
    ASSERT_GE(at, 10064u);
    uint32_t samples = at + 256 <= m.size() ? Le32(m, at) : 0;
    ASSERT_TRUE(samples >= 1 && samples <= 16) << "instrument " << i + 1;
    ASSERT_LE(static_cast<size_t>(at) + 256 + samples * 16, dataAt);
    for (int note = 0; note < 96; ++note) EXPECT_LT(m[at + 4 + note], samples);
    for (size_t env : {at + 106, at + 158}) {
      int last = m[env], sus = m[env + 1], ls = m[env + 2], le = m[env + 3];
      EXPECT_LT(last, 12);
      EXPECT_TRUE(sus == 255 || sus <= last);
      EXPECT_TRUE((ls == 255 && le == 255) || (ls <= le && le <= last));
      for (int p = 0; p <= last; ++p) EXPECT_LE(m[env + 4 + p * 4 + 2], 64);
      if (env == at + 106) f.sustain |= sus != 255;
      f.envelopeLoop |= ls != 255;
    }
    for (uint32_t s = 0; s < samples; ++s) {
      size_t sh = at + 256 + s * 16;
      uint32_t loopStart = Le32(m, sh), end = Le32(m, sh + 4);
      int kind = m[sh + 8], number = static_cast<int>(Le16(m, sh + 13));
      EXPECT_EQ(kind & ~0x18, 0) << "8-bit, no other flags";
      EXPECT_NE(kind, 0x18);
      EXPECT_LE(m[sh + 9], 64);
      ASSERT_LT(number, 2048);
      uint32_t start = Le32(m, 1872 + number * 4);
      ASSERT_GE(start, dataAt);
      ASSERT_LE(static_cast<size_t>(start) + end, m.size());
      EXPECT_GT(end, 0u);
      if (kind) {
        EXPECT_LT(loopStart, end);
      }
      if (kind == 0x08) {
        // A forward loop joins like any neighbouring pair inside it: true
        // only when the delta coding was done right.
        const int8_t* d = &decoded[start - dataAt];
        int largest = 0;
        for (uint32_t k = loopStart + 1; k < end; ++k)
          largest = std::max(largest, std::abs(d[k] - d[k - 1]));
        EXPECT_LE(std::abs(d[end - 1] - d[loopStart]), largest) << "instrument " << i + 1;
      }
      f.forwardLoop |= kind == 0x08;
      f.pingPong |= kind == 0x10;
      int peak = 0;
      for (uint32_t k = 0; k < end; ++k)
        peak = std::max(peak, std::abs(decoded[start - dataAt + k]));
      EXPECT_GT(peak, 40) << "instrument " << i + 1 << " is audible";
    }
  }

  // Patterns: every row is a list of well-formed entries ended by 0.
  std::vector<std::vector<std::vector<std::pair<int, int>>>> rows(patterns);  // effects per row
  for (uint32_t p = 0; p < 256; ++p) {
    uint32_t at = Le32(m, 848 + p * 4);
    if (p >= patterns) {
      EXPECT_EQ(at, 0u);
      continue;
    }
    ASSERT_GE(at, 10064u);
    ASSERT_LE(static_cast<size_t>(at) + 4, dataAt);
    uint32_t count = Le32(m, at);
    ASSERT_TRUE(count >= 1 && count <= 256) << "pattern " << p;
    size_t pos = at + 4;
    for (uint32_t r = 0; r < count; ++r) {
      rows[p].emplace_back();
      int lastChannel = -1;
      for (;;) {
        ASSERT_LT(pos, dataAt) << "pattern " << p << " runs into the sample data";
        uint8_t head = m[pos++];
        if (head == 0) break;
        int ch = head & 0x1F;
        ASSERT_LT(static_cast<uint32_t>(ch), channels);
        ASSERT_GT(ch, lastChannel) << "channels ascend in a row";
        lastChannel = ch;
        ASSERT_NE(head & 0xE0, 0);
        size_t need = (head & 0x20 ? 2 : 0) + (head & 0x40 ? 1 : 0) + (head & 0x80 ? 2 : 0);
        ASSERT_LE(pos + need, dataAt);
        if (head & 0x20) {
          int note = m[pos++], ins = m[pos++];
          EXPECT_LE(note, 97);
          EXPECT_LE(static_cast<uint32_t>(ins), instruments);
        }
        if (head & 0x40) {
          int v = m[pos++];
          EXPECT_TRUE(v >= 0x10 && v <= 0x50) << "volume column " << v;
        }
        if (head & 0x80) {
          int e = m[pos++], param = m[pos++];
          EXPECT_LT(e, 52);
          rows[p].back().push_back({e, param});
          f.effects.insert(e);
        }
      }
    }
  }

  // Playing time from the start until the order list wraps to the restart
  // position, following speed, tempo, pattern breaks and jumps.
  int order = 0, row = 0, guard = 0;
  while (guard++ < 100000) {
    const auto& pat = rows[m[80 + order]];
    int nextOrder = -1, nextRow = 0;
    for (auto [e, param] : pat[row]) {
      if (e == 15 && param > 0 && param < 32) speed = param;
      if (e == 15 && param >= 32) tempo = param;
      if (e == 13 && nextOrder < 0)
        nextOrder = order + 1, nextRow = (param >> 4) * 10 + (param & 15);
      if (e == 11) nextOrder = param, nextRow = 0;
    }
    f.secondsToLoop += speed * 2.5 / tempo;
    if (nextOrder < 0 && ++row >= static_cast<int>(pat.size())) nextOrder = order + 1, nextRow = 0;
    if (nextOrder >= 0) {
      if (nextOrder <= order || nextOrder >= static_cast<int>(orders)) break;  // loops
      order = nextOrder;
      row = nextRow;
      EXPECT_LT(row, static_cast<int>(rows[m[80 + order]].size()));
      if (row >= static_cast<int>(rows[m[80 + order]].size())) break;
    }
  }
  return;
}

TEST(AssetModule, IsWellFormedAndPlaysLongBeforeLooping) {
  Bytes m = assets::Module();
  ModuleFacts f;
  CheckModule(m, f);
  ASSERT_FALSE(::testing::Test::HasFailure());
  EXPECT_GE(f.secondsToLoop, 90.0);
  EXPECT_LT(f.secondsToLoop, 300.0);
  EXPECT_TRUE(f.forwardLoop);
  EXPECT_TRUE(f.pingPong);
  EXPECT_TRUE(f.sustain);
  EXPECT_TRUE(f.envelopeLoop);
  for (int e : {0, 3, 4, 10, 13, 15}) EXPECT_TRUE(f.effects.count(e)) << "effect " << e;
  EXPECT_TRUE(f.effects.count(1) || f.effects.count(2));
}

// ---------------------------------------------------------- reproducible --

std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AssetTools, RegenerateTheCommittedFilesByteForByte) {
  namespace fs = std::filesystem;
  const fs::path tools = fs::path(SKIRMORA_BINARY_DIR) / "tools";
  const fs::path source = SKIRMORA_SOURCE_DIR;
  const fs::path out =
      fs::temp_directory_path() / ("skirmora_assets_" + std::to_string(::getpid()));
  fs::create_directories(out);
  auto run = [](const std::string& cmd) { return std::system(cmd.c_str()); };
  ASSERT_EQ(run("'" + (tools / "tool_paint").string() + "' '" + out.string() + "'"), 0);
  ASSERT_EQ(run("'" + (tools / "tool_synth").string() + "' '" + out.string() + "'"), 0);
  ASSERT_EQ(run("'" + (tools / "tool_compose").string() + "' '" +
                (source / "tools/tune.txt").string() + "' '" + (out / "tune.mxm").string() + "'"),
            0);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    ++files;
    fs::path committed = source / "assets" / entry.path().filename();
    EXPECT_TRUE(fs::exists(committed)) << committed;
    EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(committed))
        << entry.path().filename() << " differs from the committed file; run make assets";
  }
  EXPECT_EQ(files, 4 + 2 + 19 + 2 + 3 + 6 + 3 + 3 + 1);  // pictures, icons, recordings, tune
  fs::remove_all(out);
}

}  // namespace
