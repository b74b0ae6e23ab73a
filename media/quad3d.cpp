// 3D sprite table, batches and device state over the software rasteriser.

#include "media/quad3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "media/rasterizer.h"
#include "media/surface.h"
#include "media/tile_grid.h"

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
  // The textures it was made from, with their revisions then.
  std::vector<std::pair<const media::Surface*, uint64_t>> textures;
  media::Surface picture;
  media::TileGrid tiles;  // where the picture may be other than black
  uint64_t serial = 0;    // of the picture: see NextPictureSerial
};

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

bool ScreenOpen() {
  return media::DisplayArea().width > 0;
}

// The screen pixels a quad with this texture can change: its corners' box,
// narrowed to where texels other than the key land.
ScreenArea DrawnArea(const media::Surface& texture, const media::QuadVertex v[4]) {
  const ScreenArea corners = CornersArea(v);
  int left = 0, top = 0, right = 0, bottom = 0;
  if (!media::QuadDrawnBounds(texture, v, &left, &top, &right, &bottom)) return corners;
  const int64_t x0 = std::max<int64_t>(corners.x, left);
  const int64_t y0 = std::max<int64_t>(corners.y, top);
  const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(corners.x) + corners.width, right);
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(corners.y) + corners.height, bottom);
  if (x1 <= x0 || y1 <= y0) return ScreenArea{};
  return ScreenArea{static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                    static_cast<int32_t>(x1 - x0), static_cast<int32_t>(y1 - y0)};
}

// Draws one sprite on the screen and says where.
void DrawOnScreen(const media::Surface& texture, const media::QuadVertex v[4],
                  const media::QuadDrawState& draw) {
  const ScreenArea area = DrawnArea(texture, v);
  media::Surface* back = media::DisplayDrawInto(area.x, area.y, area.width, area.height);
  if (back != nullptr && media::RasterizeQuad(*back, texture, v, draw)) {
    media::DisplayDamage(area.x, area.y, area.width, area.height);
  }
}

// A new number for every kept picture the process makes, also across a
// fresh start of the 3D sprites: the textures and the display tell pictures
// apart by it.
uint64_t NextPictureSerial() {
  static uint64_t last = 0;
  return ++last;
}

// True when the kept picture is the sum of these draws on this screen.
bool LayerHolds(const KeptLayer& k, const std::vector<LayerDraw>& draws, const ScreenArea& screen) {
  if (!k.valid || k.screenStamp != media::DisplayScreenStamp() || k.picture.width != screen.width ||
      k.picture.height != screen.height ||
      k.picture.bytesPerPixel != media::DisplayBytesPerPixel() || k.draws.size() != draws.size()) {
    return false;
  }
  for (size_t i = 0; i < draws.size(); ++i) {
    if (!SameDraw(k.draws[i], draws[i])) return false;
  }
  for (const auto& [texture, revision] : k.textures) {
    if (texture->keptMark != k.serial || texture->revision != revision) return false;
  }
  return true;
}

// Draws the sum of the draws on black into the kept picture.
void MakeLayer(KeptLayer& k, std::vector<LayerDraw>& draws, const ScreenArea& screen) {
  media::Surface& p = k.picture;
  const int bpp = media::DisplayBytesPerPixel();
  if (p.width != screen.width || p.height != screen.height || p.bytesPerPixel != bpp) {
    p = media::Surface{};
    p.width = screen.width;
    p.height = screen.height;
    p.bytesPerPixel = bpp;
    p.pitch = screen.width * bpp;
    p.pixels.assign(static_cast<size_t>(p.pitch) * static_cast<size_t>(p.height), 0);
  } else {
    // Black again where the last picture may not have been, a pixel row of
    // a run of tiles at a time.
    for (int r = 0; r < k.tiles.Rows(); ++r) {
      k.tiles.ForEachRun(r, [&](const platform::Rect& run) {
        for (int y = run.y; y < run.y + run.height; ++y) {
          std::memset(p.Row(y) + static_cast<size_t>(run.x) * static_cast<size_t>(bpp), 0,
                      static_cast<size_t>(run.width) * static_cast<size_t>(bpp));
        }
      });
    }
  }
  k.tiles.Reset(p.width, p.height);
  k.textures.clear();
  for (const LayerDraw& d : draws) {
    if (media::RasterizeQuad(p, *d.texture, d.v, d.draw)) {
      const ScreenArea area = DrawnArea(*d.texture, d.v);
      k.tiles.Mark(area.x, area.y, area.width, area.height);
    }
    const bool known = std::any_of(k.textures.begin(), k.textures.end(),
                                   [&](const auto& t) { return t.first == d.texture; });
    if (!known) k.textures.emplace_back(d.texture, d.texture->revision);
  }
  k.draws = std::move(draws);
  k.valid = true;
  k.screenStamp = media::DisplayScreenStamp();
  k.serial = NextPictureSerial();
  for (const auto& t : k.textures) t.first->keptMark = k.serial;
}

bool DeviceReady() {
  const Quad3DState& s = State();
  return s.haveDevice && ScreenOpen() && s.deviceStamp == media::DisplayScreenStamp();
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
    if (!ScreenOpen()) return 0;
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
  DrawOnScreen(*texture, v, s.draw);
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
  const ScreenArea screen = media::DisplayArea();
  if (screen.width <= 0 || !media::DisplayActive() || draws.empty()) return;
  const bool adds = std::all_of(draws.begin(), draws.end(), [&](const LayerDraw& d) {
    return d.texture->bytesPerPixel == media::DisplayBytesPerPixel() &&
           media::QuadAddsTexels(d.v, d.draw);
  });
  if (!adds || !media::DisplayClearWaits()) {
    // Drawn as they would have been, in their order.
    for (const LayerDraw& d : draws) DrawOnScreen(*d.texture, d.v, d.draw);
    return;
  }
  if (!LayerHolds(k, draws, screen)) MakeLayer(k, draws, screen);
  media::DisplayClearWithLayer(k.picture, k.tiles, k.serial);
}

int32_t Quad3DBounds(int32_t number, int32_t x, int32_t y, ScreenArea* area) {
  const QuadSlot* slot = Find(number);
  const ScreenArea screen = media::DisplayArea();
  if (slot == nullptr || screen.width <= 0 || area == nullptr) return 0;
  media::QuadVertex v[4];
  media::QuadShapePlace(slot->shape, x, y, 255, v);
  *area = ScreenAreaClip(CornersArea(v), screen.width, screen.height);
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
