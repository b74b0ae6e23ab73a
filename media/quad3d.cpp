// 3D sprite table, batches and device state over the software rasteriser.

#include "media/quad3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "media/rasterizer.h"
#include "media/surface.h"

namespace {

// Highest 3D sprite number that can be created; keeps a stray number from
// growing the table without bound.
constexpr int32_t kMaxNumber = 65535;
constexpr int32_t kInitialSlots = 50;
constexpr int16_t kTextureMode = 4;
constexpr int32_t kFarArea = 1 << 28;  // half the side of "everywhere"

struct QuadSlot {
  bool used = false;
  int32_t image = 0;  // the texture: the pixels of this image, shared, not copied
  media::QuadShape shape;
};

// One sprite drawn into a layer.
struct LayerDraw {
  const media::Surface* texture = nullptr;
  media::QuadVertex v[4];
  media::QuadDrawState draw;
};

bool SameDraw(const LayerDraw& a, const LayerDraw& b) {
  if (a.texture != b.texture || a.draw.srcBlend != b.draw.srcBlend ||
      a.draw.dstBlend != b.draw.dstBlend || a.draw.bilinear != b.draw.bilinear) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    const media::QuadVertex& p = a.v[i];
    const media::QuadVertex& q = b.v[i];
    if (p.x != q.x || p.y != q.y || p.u != q.u || p.v != q.v || p.color != q.color) return false;
  }
  return true;
}

// The kept layer: the sum of its draws on black, and what it was made from.
struct KeptLayer {
  bool open = false;
  std::vector<LayerDraw> pending;  // the open layer's draws
  bool valid = false;
  uint32_t screenStamp = 0;
  std::vector<LayerDraw> draws;
  // The textures' pixels as they were, one copy per texture.
  std::vector<std::pair<const media::Surface*, std::vector<uint8_t>>> textures;
  media::Surface picture;
  ScreenArea area;  // where the picture is not black
  // For each row of the picture, bit c set when its pixels c x chunkWidth
  // to (c + 1) x chunkWidth - 1 are not all black: only they are added.
  int chunkWidth = 32;
  std::vector<uint32_t> chunks;
};

// Calls f(x, width) for each run of chunks of the row that hold something.
template <typename F>
void ForEachRun(const KeptLayer& k, int row, F f) {
  const uint32_t bits = k.chunks[static_cast<size_t>(row)];
  int c = 0;
  while (c < 32 && (bits >> c) != 0) {
    if (((bits >> c) & 1u) == 0) {
      ++c;
      continue;
    }
    int end = c;
    while (end < 32 && ((bits >> end) & 1u) != 0) ++end;
    const int x = c * k.chunkWidth;
    if (x < k.picture.width) f(x, std::min((end - c) * k.chunkWidth, k.picture.width - x));
    c = end;
  }
}

// True when any of the bytes is not 0.
bool AnyByteSet(const uint8_t* p, size_t bytes) {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    any |= w;
  }
  for (; i < bytes; ++i) any |= p[i];
  return any != 0;
}

struct Quad3DState {
  bool initialised = false;
  KeptLayer layer;
  std::vector<QuadSlot> slots;
  // The "device": set up at Quad3DBegin for the screen of a given stamp.
  bool rebuild = true;
  bool haveDevice = false;
  uint32_t deviceStamp = 0;
  bool inBatch = false;
  int32_t quality = 0;
  media::QuadDrawState draw;
};

Quad3DState& State() {
  static Quad3DState state;
  return state;
}

QuadSlot* Find(int32_t number) {
  Quad3DState& s = State();
  if (number < 0 || static_cast<size_t>(number) >= s.slots.size()) return nullptr;
  QuadSlot& slot = s.slots[static_cast<size_t>(number)];
  return slot.used ? &slot : nullptr;
}

// The texture of a 3D sprite: its image's pixels as they are now. An image
// that was freed or replaced by one that is not a texture leaves the sprite
// without a texture, and it is not drawn.
const media::Surface* Texture(const QuadSlot& slot) {
  const media::ImageSlot* image = media::ImageFind(slot.image);
  if (image == nullptr || image->mode != kTextureMode) return nullptr;
  return &image->surface;
}

// The screen pixels a quad with these corners can change: the box of its
// corners, a pixel wider on every side for rounding. The whole screen for
// corners too far out to say.
ScreenArea CornersArea(const media::QuadVertex v[4]) {
  float left = v[0].x, right = v[0].x, top = v[0].y, bottom = v[0].y;
  for (int i = 1; i < 4; ++i) {
    left = std::min(left, v[i].x);
    right = std::max(right, v[i].x);
    top = std::min(top, v[i].y);
    bottom = std::max(bottom, v[i].y);
  }
  constexpr float kFar = 1.0e6f;
  if (!(left > -kFar && right < kFar && top > -kFar && bottom < kFar)) {
    return ScreenArea{-kFarArea, -kFarArea, 2 * kFarArea, 2 * kFarArea};
  }
  const int32_t x0 = static_cast<int32_t>(std::floor(left)) - 1;
  const int32_t y0 = static_cast<int32_t>(std::floor(top)) - 1;
  const int32_t x1 = static_cast<int32_t>(std::ceil(right)) + 1;
  const int32_t y1 = static_cast<int32_t>(std::ceil(bottom)) + 1;
  return ScreenArea{x0, y0, x1 - x0, y1 - y0};
}

// Draws one sprite on the screen and says where.
void DrawOnScreen(media::Surface& back, const media::Surface& texture, const media::QuadVertex v[4],
                  const media::QuadDrawState& draw) {
  if (media::RasterizeQuad(back, texture, v, draw)) {
    const ScreenArea area = CornersArea(v);
    media::DisplayDamage(area.x, area.y, area.width, area.height);
  }
}

// True when the kept picture is the sum of these draws on this screen.
bool LayerHolds(const KeptLayer& k, const std::vector<LayerDraw>& draws,
                const media::Surface& back) {
  if (!k.valid || k.screenStamp != media::DisplayScreenStamp() || k.picture.width != back.width ||
      k.picture.height != back.height || k.picture.bytesPerPixel != back.bytesPerPixel ||
      k.draws.size() != draws.size()) {
    return false;
  }
  for (size_t i = 0; i < draws.size(); ++i) {
    if (!SameDraw(k.draws[i], draws[i])) return false;
  }
  for (const auto& [texture, pixels] : k.textures) {
    if (texture->pixels.size() != pixels.size() ||
        std::memcmp(texture->pixels.data(), pixels.data(), pixels.size()) != 0) {
      return false;
    }
  }
  return true;
}

// Draws the sum of the draws on black into the kept picture.
void MakeLayer(KeptLayer& k, std::vector<LayerDraw>& draws, const media::Surface& back) {
  media::Surface& p = k.picture;
  const size_t bpp = static_cast<size_t>(back.bytesPerPixel);
  if (p.width != back.width || p.height != back.height || p.bytesPerPixel != back.bytesPerPixel) {
    p = media::Surface{};
    p.width = back.width;
    p.height = back.height;
    p.bytesPerPixel = back.bytesPerPixel;
    p.pitch = back.width * back.bytesPerPixel;
    p.pixels.assign(static_cast<size_t>(p.pitch) * static_cast<size_t>(p.height), 0);
    k.chunkWidth = std::max(8, ((p.width + 31) / 32 + 7) / 8 * 8);
  } else {
    // Black again where the last layer was not.
    for (int row = 0; row < p.height; ++row) {
      ForEachRun(k, row, [&](int x, int width) {
        std::memset(p.Row(row) + static_cast<size_t>(x) * bpp, 0, static_cast<size_t>(width) * bpp);
      });
    }
  }
  k.area = ScreenArea{};
  k.textures.clear();
  for (const LayerDraw& d : draws) {
    if (media::RasterizeQuad(p, *d.texture, d.v, d.draw))
      k.area = ScreenAreaCover(k.area, CornersArea(d.v));
    const bool known = std::any_of(k.textures.begin(), k.textures.end(),
                                   [&](const auto& t) { return t.first == d.texture; });
    if (!known) k.textures.emplace_back(d.texture, d.texture->pixels);
  }
  k.area = ScreenAreaClip(k.area, p.width, p.height);
  k.chunks.assign(static_cast<size_t>(p.height), 0);
  for (int row = k.area.y; row < k.area.y + k.area.height; ++row) {
    const media::Surface& pc = p;
    const uint8_t* line = pc.Row(row);
    uint32_t bits = 0;
    for (int c = 0; c * k.chunkWidth < p.width; ++c) {
      const size_t from = static_cast<size_t>(c * k.chunkWidth) * bpp;
      const size_t bytes =
          static_cast<size_t>(std::min(k.chunkWidth, p.width - c * k.chunkWidth)) * bpp;
      if (AnyByteSet(line + from, bytes)) bits |= 1u << c;
    }
    k.chunks[static_cast<size_t>(row)] = bits;
  }
  k.draws = std::move(draws);
  k.valid = true;
  k.screenStamp = media::DisplayScreenStamp();
}

bool DeviceReady() {
  const Quad3DState& s = State();
  return s.haveDevice && media::DisplayBackBuffer() != nullptr &&
         s.deviceStamp == media::DisplayScreenStamp();
}

}  // namespace

int32_t Quad3DSystemInit() {
  Quad3DState& s = State();
  s = Quad3DState{};
  s.slots.resize(kInitialSlots);
  s.initialised = true;
  s.rebuild = true;
  return 1;
}

void Quad3DEndHook() {
  State() = Quad3DState{};
}

int32_t Quad3DCreate(int32_t number, int32_t image) {
  Quad3DState& s = State();
  if (!s.initialised || number < 0 || number > kMaxNumber) return 0;
  if (static_cast<size_t>(number) < s.slots.size())
    s.slots[static_cast<size_t>(number)] = QuadSlot{};
  const media::ImageSlot* img = media::ImageFind(image);
  if (img == nullptr || img->mode != kTextureMode) return 0;
  if (static_cast<size_t>(number) >= s.slots.size())
    s.slots.resize(static_cast<size_t>(number) + 11);
  QuadSlot& slot = s.slots[static_cast<size_t>(number)];
  slot.used = true;
  slot.image = image;
  slot.shape = media::QuadShapeMake(img->width, img->height);
  return 1;
}

int32_t Quad3DBegin() {
  Quad3DState& s = State();
  if (!s.initialised) return 0;
  const uint32_t stamp = media::DisplayScreenStamp();
  if (s.rebuild || !s.haveDevice || s.deviceStamp != stamp) {
    // The device renders into the back buffer of the screen that is open now;
    // without a screen there is none, and the next Quad3DBegin tries again.
    s.haveDevice = false;
    s.inBatch = false;
    if (media::DisplayBackBuffer() == nullptr) return 0;
    s.haveDevice = true;
    s.deviceStamp = stamp;
    s.rebuild = false;
  }
  // A batch that is already open stays open; starting another one fails.
  if (s.inBatch) return 0;
  s.draw.srcBlend = media::kBlendSrcAlpha;
  s.draw.dstBlend = media::kBlendInvSrcAlpha;
  s.inBatch = true;
  return 1;
}

void Quad3DEnd() {
  Quad3DLayerEnd();
  State().inBatch = false;
}

void Quad3DShow(int32_t number, int32_t x, int32_t y, int32_t alpha) {
  Quad3DState& s = State();
  const QuadSlot* slot = Find(number);
  if (slot == nullptr || !s.inBatch || !DeviceReady() || !media::DisplayActive()) return;
  const media::Surface* texture = Texture(*slot);
  if (texture == nullptr) return;
  media::QuadVertex v[4];
  media::QuadShapePlace(slot->shape, x, y, alpha, v);
  s.draw.bilinear = s.quality != 0;
  if (s.layer.open) {
    LayerDraw d;
    d.texture = texture;
    std::copy(v, v + 4, d.v);
    d.draw = s.draw;
    s.layer.pending.push_back(d);
    return;
  }
  DrawOnScreen(*media::DisplayBackBuffer(), *texture, v, s.draw);
}

void Quad3DLayerBegin() {
  Quad3DState& s = State();
  if (!s.inBatch || s.layer.open) return;
  s.layer.open = true;
  s.layer.pending.clear();
}

void Quad3DLayerEnd() {
  Quad3DState& s = State();
  KeptLayer& k = s.layer;
  if (!k.open) return;
  k.open = false;
  std::vector<LayerDraw> draws = std::move(k.pending);
  k.pending.clear();
  media::Surface* back = media::DisplayBackBuffer();
  if (back == nullptr || !media::DisplayActive() || draws.empty()) return;
  const bool adds = std::all_of(draws.begin(), draws.end(), [&](const LayerDraw& d) {
    return d.texture->bytesPerPixel == back->bytesPerPixel && media::QuadAddsTexels(d.v, d.draw);
  });
  if (!adds) {
    // The order of the draws counts: each is drawn as it would have been.
    for (const LayerDraw& d : draws) DrawOnScreen(*back, *d.texture, d.v, d.draw);
    return;
  }
  if (!LayerHolds(k, draws, *back)) MakeLayer(k, draws, *back);
  for (int row = k.area.y; row < k.area.y + k.area.height; ++row) {
    ForEachRun(k, row,
               [&](int x, int width) { media::AddSaturated(*back, k.picture, x, row, width, 1); });
  }
  media::DisplayDamage(k.area.x, k.area.y, k.area.width, k.area.height);
}

int32_t Quad3DBounds(int32_t number, int32_t x, int32_t y, ScreenArea* area) {
  const QuadSlot* slot = Find(number);
  const media::Surface* back = media::DisplayBackBuffer();
  if (slot == nullptr || back == nullptr || area == nullptr) return 0;
  media::QuadVertex v[4];
  media::QuadShapePlace(slot->shape, x, y, 255, v);
  *area = ScreenAreaClip(CornersArea(v), back->width, back->height);
  return 1;
}

void Quad3DRotate(int32_t number, int32_t angle, int32_t mode) {
  if (QuadSlot* slot = Find(number)) media::QuadShapeRotate(slot->shape, angle, mode);
}

int32_t Quad3DAngle(int32_t number) {
  if (QuadSlot* slot = Find(number)) return slot->shape.angle;
  return 0;
}

void Quad3DZoom(int32_t number, int32_t width, int32_t height) {
  if (QuadSlot* slot = Find(number)) media::QuadShapeZoom(slot->shape, width, height);
}

void Quad3DTransform(int32_t number, float x1, float y1, float x2, float y2, float x3, float y3,
                     float x4, float y4) {
  if (QuadSlot* slot = Find(number)) {
    media::QuadShapeTransform(slot->shape, x1, y1, x2, y2, x3, y3, x4, y4);
  }
}

void Quad3DQuality(int32_t quality) {
  State().quality = quality;
}

void Quad3DBlendingMode(int32_t source, int32_t destination) {
  Quad3DState& s = State();
  if (!s.haveDevice) return;
  auto valid = [](int32_t f) { return f >= media::kBlendZero && f <= media::kBlendSrcAlphaSat; };
  if (valid(source)) s.draw.srcBlend = source;
  if (valid(destination)) s.draw.dstBlend = destination;
}
