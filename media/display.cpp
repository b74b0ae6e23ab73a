#include "media/display.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "media/rasterizer.h"
#include "media/surface.h"
#include "media/tile_grid.h"
#include "platform/platform.h"

namespace {

// Largest back buffer side we agree to allocate.
constexpr int kMaxScreenSide = 8192;
constexpr int kInitialImageSlots = 50;
// Creating beyond the table makes numbers up to n + kTableGrowth exist.
constexpr int kTableGrowth = 10;

// A steady frame cadence on the high-resolution counter. Frame due times are
// start + frames * ticks / perFrames: ticks counter ticks make perFrames
// frames, so a rate that does not divide the counter frequency gathers no
// rounding error.
struct Cadence {
  uint64_t start = 0;   // counter value the due times count from; 0 = not running
  uint64_t frames = 0;  // frames since start, below perFrames
};

struct DisplayState {
  bool initialised = false;
  int internalWindow = 0;  // the display's own window, shown only for a full screen
  int targetWindow = 0;    // the window the screen is presented in
  bool open = false;
  bool windowed = false;
  bool active = false;
  int width = 0;
  int height = 0;
  int depth = 0;
  int refreshRequest = 0;    // 0: the display's own refresh
  int monitorFrequency = 0;  // Hz, read when a full screen opens
  int formatCode = 0;
  media::Surface back;

  // Pacing by frame rate.
  int32_t frameRate = 0;
  int64_t ticksPerFrame = 0;
  int32_t lastTick = 0;
  bool automaticRate = false;

  // Pacing to the display refresh when presenting does not wait for it.
  Cadence refreshCadence;

  // A fixed presentation rate (0 = none) and its pacing.
  int32_t presentRate = 0;
  Cadence presentCadence;

  // Windowed presentation.
  int xOffset = 0;
  int yOffset = 0;
  bool stretch = false;
  int rightOffset = 0;
  int bottomOffset = 0;
  std::vector<uint8_t> scaled;  // stretched copy of the back buffer
  bool fit = false;             // scaled into the whole client area, shape kept

  // Switching at run time. A full screen can become a window of its own
  // (framed, resizable) and back; a screen fitted into a window can have that
  // window cover the desktop and back.
  bool fullscreenNow = false;
  bool closeAsked = false;  // the full screen's own window, shown as a window, was asked to close

  uint32_t screenStamp = 0;
  uint64_t wokeAt = 0;  // counter value when the pacing last let a frame go on; 0 = not yet

  // The tiles of the back buffer drawn into since the last present, and the
  // window that present went to: a window shown the previous frame need only
  // look at these tiles of the next one.
  media::TileGrid damage;
  std::vector<platform::Rect> parts;  // the damage as rectangles, for the present
  int presentedWindow = 0;

  // A clear that waits (see ScreenClear): the tiles drawn into are filled
  // first, the others when the frame needs them.
  bool clearWaits = false;
  uint32_t clearValue = 0;
  media::TileGrid claimed;  // tiles filled with the clear colour while it waits
  // The kept background: the clear colour with a layer added. Outside the
  // tiles of `drawn` the back buffer holds exactly that.
  bool backgroundKept = false;
  uint32_t backgroundValue = 0;
  uint64_t backgroundLayer = 0;
  media::TileGrid backgroundLayerTiles;  // where that layer may not be black
  media::TileGrid drawn;                 // tiles drawn into since the background was made
  media::TileGrid restore;               // the tiles of `drawn` when the waiting clear began

  std::vector<std::unique_ptr<media::ImageSlot>> images;
  uint64_t frameCount = 0;  // see ScreenFrameCount
};

constexpr platform::Rect kWholeScreen{0, 0, platform::PresentRequest::kWholePicture,
                                      platform::PresentRequest::kWholePicture};

DisplayState& State() {
  static DisplayState state;
  return state;
}

platform::Platform& Os() {
  return platform::Current();
}

platform::PixelLayout Layout(const DisplayState& s) {
  return s.formatCode == 3 ? platform::PixelLayout::Rgb565 : platform::PixelLayout::Xrgb8888;
}

// Allocates a black back buffer of the given size and depth.
void MakeBackBuffer(DisplayState& s) {
  s.back = media::Surface{};
  s.back.width = s.width;
  s.back.height = s.height;
  s.back.bytesPerPixel = s.depth == 16 ? 2 : 4;
  s.back.pitch = s.width * s.back.bytesPerPixel;
  s.back.pixels.assign(static_cast<size_t>(s.back.pitch) * static_cast<size_t>(s.height), 0);
  for (media::TileGrid* g : {&s.damage, &s.claimed, &s.drawn, &s.restore}) {
    g->Reset(s.width, s.height);
  }
  s.damage.MarkAll();
  s.clearWaits = false;
  s.backgroundKept = false;
}

// Fills count pixels with one pixel value.
void FillRow(uint8_t* out, uint32_t value, int count, size_t bpp) {
  if (bpp == 4) {
    std::fill_n(reinterpret_cast<uint32_t*>(out), count, value);
  } else {
    std::fill_n(reinterpret_cast<uint16_t*>(out), count, static_cast<uint16_t>(value));
  }
}

// Fills one tile of the back buffer with the clear colour.
void FillTile(DisplayState& s, int column, int row) {
  const platform::Rect t = s.claimed.TileRect(column, row);
  const size_t bpp = static_cast<size_t>(s.back.bytesPerPixel);
  for (int y = t.y; y < t.y + t.height; ++y) {
    FillRow(s.back.Row(y) + static_cast<size_t>(t.x) * bpp, s.clearValue, t.width, bpp);
  }
  s.damage.Mark(column, row);
}

// Ends a waiting clear with no layer: every tile not yet filled is filled,
// as a clear at once would have done.
void FinishClear(DisplayState& s) {
  if (!s.clearWaits) return;
  s.clearWaits = false;
  if (!s.claimed.Any()) {
    // Nothing was drawn under it: the whole back buffer at once.
    const size_t bpp = static_cast<size_t>(s.back.bytesPerPixel);
    FillRow(s.back.Row(0), s.clearValue, s.width, bpp);
    for (int y = 1; y < s.height; ++y) {
      std::memcpy(s.back.Row(y), s.back.Row(0), static_cast<size_t>(s.width) * bpp);
    }
    s.damage.MarkAll();
  } else {
    for (int r = 0; r < s.claimed.Rows(); ++r) {
      for (int c = 0; c < s.claimed.Columns(); ++c) {
        if (!s.claimed.Marked(c, r)) FillTile(s, c, r);
      }
    }
  }
  s.backgroundKept = false;
  s.drawn.MarkAll();
}

// The back buffer of our own making always has the usual layouts: 5-6-5 for
// 16 bits, blue in the lowest byte for 32 bits.
int FormatCodeFor(int depth) {
  switch (depth) {
    case 16:
      return 3;
    case 24:
      return 5;
    case 32:
      return 7;
    default:
      return 1;
  }
}

// A new stamp each time a screen is opened, even twice within one millisecond,
// so that users of the stamp never miss a reopened screen.
void TakeScreenStamp(DisplayState& s) {
  uint32_t now = Os().ElapsedMs();
  s.screenStamp = now == s.screenStamp ? now + 1 : now;
}

void PresentBackBuffer(DisplayState& s) {
  platform::PresentRequest request;
  request.pixels = s.back.pixels.data();
  request.width = s.width;
  request.height = s.height;
  request.pitch = s.back.pitch;
  request.layout = Layout(s);
  if (s.presentedWindow != s.targetWindow || s.damage.All()) {
    request.changed = kWholeScreen;
  } else {
    request.changed = s.damage.Cover();
    s.damage.Parts(s.parts);
    request.parts = s.parts.data();
    request.partCount = static_cast<int>(s.parts.size());
  }
  s.damage.Clear();
  s.presentedWindow = s.targetWindow;
  if (!s.windowed || s.fit) {
    request.fitToWindow = true;
    Os().WindowPresent(s.targetWindow, request);
    return;
  }
  request.destX = s.xOffset;
  request.destY = s.yOffset;
  if (s.stretch) {
    // The picture reaches to right and bottom pixels short of the client
    // area's edges, scaled nearest neighbour.
    platform::Rect client = Os().WindowBounds(s.targetWindow);
    int destWidth = client.width - s.rightOffset - s.xOffset;
    int destHeight = client.height - s.bottomOffset - s.yOffset;
    if (destWidth <= 0 || destHeight <= 0 || destWidth > kMaxScreenSide ||
        destHeight > kMaxScreenSide) {
      return;
    }
    if (destWidth != s.width || destHeight != s.height) {
      const size_t bpp = static_cast<size_t>(s.back.bytesPerPixel);
      const size_t rowBytes = static_cast<size_t>(destWidth) * bpp;
      s.scaled.resize(rowBytes * static_cast<size_t>(destHeight));
      for (int y = 0; y < destHeight; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * s.height / destHeight);
        const uint8_t* src = s.back.Row(sy);
        uint8_t* dst = s.scaled.data() + rowBytes * static_cast<size_t>(y);
        for (int x = 0; x < destWidth; ++x) {
          const int sx = static_cast<int>(static_cast<int64_t>(x) * s.width / destWidth);
          std::memcpy(dst + static_cast<size_t>(x) * bpp, src + static_cast<size_t>(sx) * bpp, bpp);
        }
      }
      request.pixels = s.scaled.data();
      request.width = destWidth;
      request.height = destHeight;
      request.pitch = static_cast<int>(rowBytes);
      request.changed = kWholeScreen;
      request.partCount = 0;
    }
  }
  Os().WindowPresent(s.targetWindow, request);
}

// Waits until more than ticks-per-frame counter ticks have passed since the
// end of the previous paced frame. The interval is measured on the low 32 bits
// of the counter as a signed value; when those change sign the interval is
// measured afresh from that moment. Waiting sleeps and then spins in the
// platform, never burning a whole frame.
void PaceByFrameRate(DisplayState& s) {
  platform::Platform& os = Os();
  for (int round = 0; round < 8; ++round) {
    const uint64_t now = os.Counter();
    const int32_t t = static_cast<int32_t>(static_cast<uint32_t>(now & 0xFFFFFFFFu));
    if ((t < 0 && s.lastTick >= 0) || (t > 0 && s.lastTick <= 0)) s.lastTick = t;
    const int64_t elapsed = static_cast<int64_t>(t) - s.lastTick;
    if (elapsed > s.ticksPerFrame) {
      s.lastTick = t;
      return;
    }
    uint64_t wait = static_cast<uint64_t>(s.ticksPerFrame - elapsed + 1);
    // Stop at the first counter value whose low 32 bits have the other sign.
    const uint64_t low = now & 0xFFFFFFFFu;
    const uint64_t toSignChange = low < 0x80000000u ? 0x80000000u - low : 0x100000001u - low;
    os.WaitForCounter(now + std::min(wait, toSignChange));
  }
  s.lastTick = static_cast<int32_t>(static_cast<uint32_t>(os.Counter() & 0xFFFFFFFFu));
}

// Waits until the current frame is due, then moves the due time on by one
// frame. Starts afresh on the first call and after a stall of more than one
// frame, so a stall is not made up by rushing the following frames; a frame
// that is late by less than that is caught up.
void PaceCadence(Cadence& c, uint64_t ticks, uint64_t perFrames) {
  platform::Platform& os = Os();
  const uint64_t interval = ticks / perFrames;
  uint64_t now = os.Counter();
  const uint64_t due = c.start + c.frames * ticks / perFrames;
  if (c.start != 0 && now < due) {
    os.WaitForCounter(due);
    now = due;
  }
  if (c.start == 0 || now - due > interval) {
    c.start = now;
    c.frames = 1;
  } else {
    ++c.frames;
  }
  // Whole seconds (of this cadence) move into the start, keeping the product small.
  if (c.frames >= perFrames) {
    c.start += ticks;
    c.frames -= perFrames;
  }
}

// Keeps a full screen whose presentation does not wait for the vertical blank
// at the display's refresh rate, so that movement counted in frames keeps its
// speed. Its interval is a whole number of counter ticks.
void PaceToRefresh(DisplayState& s) {
  const uint64_t frequency = Os().CounterFrequency();
  if (frequency == 0) return;
  const int rate = s.monitorFrequency > 0 ? s.monitorFrequency : 60;
  PaceCadence(s.refreshCadence, frequency / static_cast<uint64_t>(rate), 1);
}

// Paces to the fixed presentation rate, exactly that many frames per second of
// the counter.
void PaceToPresentRate(DisplayState& s) {
  const uint64_t frequency = Os().CounterFrequency();
  if (frequency == 0) return;
  PaceCadence(s.presentCadence, frequency, static_cast<uint64_t>(s.presentRate));
}

// Paces one frame: to the fixed presentation rate when one is set (unless
// presenting waits for the vertical blank of a display at that rate), else to
// the frame rate when one is set, else a full screen whose presenting does
// not wait for the blank (or that is inactive) to the display's refresh.
enum class Pacing { None, PresentRate, FrameRate, Refresh };

Pacing PacingOf(const DisplayState& s) {
  const bool blankPaces = s.active && Os().PresentIsVsynced(s.targetWindow);
  if (s.presentRate != 0) {
    return !blankPaces || s.monitorFrequency != s.presentRate ? Pacing::PresentRate : Pacing::None;
  }
  if (s.frameRate != 0) return Pacing::FrameRate;
  if (!s.windowed && !blankPaces) return Pacing::Refresh;
  return Pacing::None;
}

void PaceFrame(DisplayState& s) {
  switch (PacingOf(s)) {
    case Pacing::PresentRate:
      PaceToPresentRate(s);
      break;
    case Pacing::FrameRate:
      PaceByFrameRate(s);
      break;
    case Pacing::Refresh:
      PaceToRefresh(s);
      break;
    case Pacing::None:
      break;
  }
  s.wokeAt = Os().Counter();
}

// A full screen presents as soon as its frame is composed, right after the
// pacing woke. Where the pacing is ours, the present waits until a fixed
// time after that wake instead, so that a frame that takes longer to
// compose than the one before is not shown later than it.
constexpr uint64_t kPresentAfterWakeUs = 2000;

void WaitForSteadyPresent(DisplayState& s) {
  // A present of an unchanged picture shows nothing new: no need to wait.
  const bool unchanged = s.presentedWindow == s.targetWindow && !s.damage.Any();
  if (s.wokeAt == 0 || unchanged || PacingOf(s) == Pacing::None) return;
  const uint64_t at = s.wokeAt + Os().CounterFrequency() * kPresentAfterWakeUs / 1000000;
  if (Os().Counter() < at) Os().WaitForCounter(at);
}

// Takes every pending message of the full screen's window; only activation
// changes matter, everything else (a close request included) is dropped.
void ProcessFullScreenMessages(DisplayState& s) {
  platform::WindowEvent event;
  while (Os().WindowPollEvent(s.internalWindow, &event)) {
    if (event.kind == platform::EventKind::FocusLost) {
      // A window keeps showing its frames without the focus.
      if (s.fullscreenNow) s.active = false;
    } else if (event.kind == platform::EventKind::FocusGained) {
      s.active = true;
    } else if (event.kind == platform::EventKind::Close && !s.fullscreenNow) {
      s.closeAsked = true;
    }
  }
}

bool ValidSize(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxScreenSide && height <= kMaxScreenSide;
}

}  // namespace

namespace media {

Surface* DisplayBackBuffer() {
  DisplayState& s = State();
  if (!s.open) return nullptr;
  FinishClear(s);
  return &s.back;
}

Surface* DisplayDrawInto(int x, int y, int width, int height) {
  DisplayState& s = State();
  if (!s.open) return nullptr;
  if (s.clearWaits) {
    s.claimed.ForEachTile(x, y, width, height, [&s](int column, int row) {
      if (s.claimed.Marked(column, row)) return;
      FillTile(s, column, row);
      s.claimed.Mark(column, row);
    });
  }
  return &s.back;
}

ScreenArea DisplayArea() {
  DisplayState& s = State();
  return s.open ? ScreenArea{0, 0, s.width, s.height} : ScreenArea{};
}

bool DisplayClearWaits() {
  return State().clearWaits;
}

void DisplayClearWithLayer(const Surface& layer, const TileGrid& layerTiles, uint64_t layerSerial) {
  DisplayState& s = State();
  if (!s.clearWaits) return;
  if (layer.width != s.width || layer.height != s.height ||
      layer.bytesPerPixel != s.back.bytesPerPixel || layerTiles.Columns() != s.claimed.Columns() ||
      layerTiles.Rows() != s.claimed.Rows()) {
    FinishClear(s);
    return;
  }
  s.clearWaits = false;
  const bool sameColour = s.backgroundKept && s.backgroundValue == s.clearValue &&
                          s.backgroundLayerTiles.Columns() == layerTiles.Columns() &&
                          s.backgroundLayerTiles.Rows() == layerTiles.Rows();
  const bool same = sameColour && s.backgroundLayer == layerSerial;
  // What each tile needs, done for runs of neighbouring tiles that need the
  // same, a pixel row of the run at a time.
  enum Work : uint8_t { kNothing, kFill, kOntoColour, kOntoDrawn };
  std::vector<uint8_t> work(static_cast<size_t>(s.claimed.Columns()));
  const size_t bpp = static_cast<size_t>(s.back.bytesPerPixel);
  for (int r = 0; r < s.claimed.Rows(); ++r) {
    for (int c = 0; c < s.claimed.Columns(); ++c) {
      const bool claimed = s.claimed.Marked(c, r);
      uint8_t& w = work[static_cast<size_t>(c)];
      // A tile that still shows the background, and a tile of the clear
      // colour alone that the new layer leaves black too, stay as they are.
      const bool unchanged =
          same || (sameColour && !layerTiles.Marked(c, r) && !s.backgroundLayerTiles.Marked(c, r));
      if (!claimed && unchanged && !s.restore.Marked(c, r)) {
        w = kNothing;
      } else if (!layerTiles.Marked(c, r)) {
        w = claimed ? kNothing : kFill;
      } else {
        w = claimed ? kOntoDrawn : kOntoColour;
      }
      if (w != kNothing) s.damage.Mark(c, r);
    }
    for (int c = 0; c < s.claimed.Columns();) {
      const uint8_t w = work[static_cast<size_t>(c)];
      int end = c + 1;
      while (end < s.claimed.Columns() && work[static_cast<size_t>(end)] == w) ++end;
      const platform::Rect first = s.claimed.TileRect(c, r);
      const platform::Rect last = s.claimed.TileRect(end - 1, r);
      const int width = last.x + last.width - first.x;
      const size_t at = static_cast<size_t>(first.x) * bpp;
      for (int y = first.y; w != kNothing && y < first.y + first.height; ++y) {
        uint8_t* out = s.back.Row(y) + at;
        if (w == kFill) {
          FillRow(out, s.clearValue, width, bpp);
        } else if (w == kOntoColour) {
          media::AddPixelsToColour(out, layer.Row(y) + at, s.clearValue, width,
                                   static_cast<int>(bpp));
        } else {
          media::AddPixelsSaturated(out, layer.Row(y) + at, width, static_cast<int>(bpp));
        }
      }
      c = end;
    }
  }
  s.backgroundKept = true;
  s.backgroundValue = s.clearValue;
  s.backgroundLayer = layerSerial;
  s.backgroundLayerTiles = layerTiles;
}

bool DisplayActive() {
  DisplayState& s = State();
  return s.open && s.active;
}

int DisplayPixelFormatCode() {
  DisplayState& s = State();
  return s.open ? s.formatCode : 0;
}

int DisplayBytesPerPixel() {
  DisplayState& s = State();
  return s.open ? s.back.bytesPerPixel : 0;
}

uint32_t DisplayScreenStamp() {
  return State().screenStamp;
}

ImageSlot* ImageFind(int number) {
  auto& images = State().images;
  if (number < 0 || static_cast<size_t>(number) >= images.size()) return nullptr;
  ImageSlot* slot = images[static_cast<size_t>(number)].get();
  return slot != nullptr && slot->used ? slot : nullptr;
}

ImageSlot* ImageNew(int number) {
  if (number < 0 || number > media::kMaxImageNumber) return nullptr;
  auto& images = State().images;
  if (static_cast<size_t>(number) >= images.size()) {
    images.resize(static_cast<size_t>(number) + kTableGrowth + 1);
  }
  auto& slot = images[static_cast<size_t>(number)];
  slot = std::make_unique<ImageSlot>();
  return slot.get();
}

void ImageFree(int number) {
  auto& images = State().images;
  if (number >= 0 && static_cast<size_t>(number) < images.size()) {
    images[static_cast<size_t>(number)].reset();
  }
}

void DisplayDamage(int x, int y, int width, int height) {
  DisplayState& s = State();
  s.damage.Mark(x, y, width, height);
  s.drawn.Mark(x, y, width, height);
}

void DisplayDamageAll() {
  DisplayState& s = State();
  s.damage.MarkAll();
  s.drawn.MarkAll();
}

}  // namespace media

ScreenArea ScreenAreaClip(const ScreenArea& area, int32_t width, int32_t height) {
  if (area.width <= 0 || area.height <= 0) return ScreenArea{};
  const int64_t left = std::max<int64_t>(area.x, 0);
  const int64_t top = std::max<int64_t>(area.y, 0);
  const int64_t right = std::min<int64_t>(static_cast<int64_t>(area.x) + area.width, width);
  const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(area.y) + area.height, height);
  if (right <= left || bottom <= top) return ScreenArea{};
  return ScreenArea{static_cast<int32_t>(left), static_cast<int32_t>(top),
                    static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top)};
}

ScreenArea ScreenAreaCover(const ScreenArea& a, const ScreenArea& b) {
  const platform::Rect r = platform::UnionRect(platform::Rect{a.x, a.y, a.width, a.height},
                                               platform::Rect{b.x, b.y, b.width, b.height});
  return ScreenArea{r.x, r.y, r.width, r.height};
}

int32_t SpriteSystemInit() {
  DisplayState& s = State();
  // Always a fresh start. A second call (the tests make one per platform
  // twin) drops the old state without touching windows, which may belong to
  // a platform that no longer exists.
  const uint64_t frames = s.frameCount + 1;
  s = DisplayState{};
  s.frameCount = frames;
  platform::WindowSpec spec;
  spec.title = "";
  spec.x = 0;
  spec.y = 0;
  spec.width = 1;
  spec.height = 1;
  spec.borderless = true;
  spec.hidden = true;
  s.internalWindow = Os().WindowCreate(spec);
  if (s.internalWindow == 0) return 0;
  s.targetWindow = s.internalWindow;
  s.initialised = true;
  s.images.resize(kInitialImageSlots);
  return 1;
}

int32_t ScreenOpen(int32_t width, int32_t height, int32_t depth, const std::string& title) {
  DisplayState& s = State();
  if (!s.initialised) return 0;
  if (s.open) ScreenClose();
  const int w = static_cast<int16_t>(width);
  const int h = static_cast<int16_t>(height);
  const int d = static_cast<int16_t>(depth);
  platform::Platform& os = Os();
  os.WindowSetTitle(s.internalWindow, title);
  // The window covers the desktop (the picture is scaled into it), also where
  // no window manager applies the full-screen request.
  os.WindowSetBounds(s.internalWindow, os.DesktopBounds());
  // Only the two layouts we can present exist as modes.
  if (!ValidSize(w, h) || (d != 16 && d != 32)) return 0;
  s.width = w;
  s.height = h;
  s.depth = d;
  s.windowed = false;
  s.targetWindow = s.internalWindow;
  os.CursorShow(false);
  os.WindowShow(s.internalWindow, true);
  os.WindowSetFullscreen(s.internalWindow, true);
  os.WindowRaise(s.internalWindow);
  MakeBackBuffer(s);
  s.open = true;
  s.formatCode = FormatCodeFor(d);
  // Show black at once, as the cleared front surface would.
  PresentBackBuffer(s);
  TakeScreenStamp(s);
  s.monitorFrequency = os.DisplayRefreshRate();
  s.refreshCadence = Cadence{};
  s.presentCadence = Cadence{};
  s.active = true;
  s.fit = false;
  s.fullscreenNow = true;
  s.closeAsked = false;
  return 1;
}

int32_t ScreenOpenInWindow(int32_t windowHandle, int32_t x, int32_t y, int32_t width,
                           int32_t height, int32_t stretch, int32_t right, int32_t bottom) {
  DisplayState& s = State();
  if (!s.initialised) return 0;
  if (s.open) ScreenClose();
  platform::Platform& os = Os();
  if (windowHandle == 0 || !os.WindowExists(windowHandle) || !ValidSize(width, height)) return 0;
  s.windowed = true;
  os.WindowShow(s.internalWindow, false);
  s.targetWindow = windowHandle;
  s.width = width;
  s.height = height;
  s.depth = 32;  // the desktop's depth
  if (s.frameRate == 0) {
    ScreenFrameRate(60);
    s.automaticRate = true;
  } else {
    s.automaticRate = false;
  }
  os.WindowShow(windowHandle, true);
  MakeBackBuffer(s);
  s.open = true;
  TakeScreenStamp(s);
  // Our windows have no frame inside their client coordinates, so the
  // offsets are the position itself.
  s.xOffset = x;
  s.yOffset = y;
  s.stretch = stretch != 0;
  s.rightOffset = right;
  s.bottomOffset = bottom;
  s.formatCode = FormatCodeFor(s.depth);
  s.monitorFrequency = os.DisplayRefreshRate();
  s.presentCadence = Cadence{};
  s.active = true;
  s.fit = false;
  s.fullscreenNow = false;
  s.closeAsked = false;
  return 1;
}

int32_t ScreenFitToWindow() {
  DisplayState& s = State();
  if (!s.open || !s.windowed) return 0;
  s.fit = true;
  s.damage.MarkAll();
  return 1;
}

int32_t ScreenSetFullscreen(int32_t fullscreen) {
  DisplayState& s = State();
  if (!s.open || (s.windowed && !s.fit)) return 0;
  const bool want = fullscreen != 0;
  if (want == s.fullscreenNow) return 1;
  platform::Platform& os = Os();
  const int window = s.targetWindow;
  if (s.windowed) {
    os.WindowSetFullscreen(window, want);
    os.CursorShow(!want);
  } else if (want) {
    // Back to covering the desktop, as ScreenOpen left it.
    os.WindowSetFramed(window, false);
    os.WindowSetBounds(window, os.DesktopBounds());
    os.WindowSetFullscreen(window, true);
    os.CursorShow(false);
    os.WindowRaise(window);
  } else {
    // A window of the screen's size (twice that on a large desktop), centred.
    os.WindowSetFullscreen(window, false);
    os.WindowSetFramed(window, true);
    const platform::Rect desk = os.DesktopBounds();
    const int scale = ScreenWindowScale(s.width, s.height);
    platform::Rect r;
    r.width = s.width * scale;
    r.height = s.height * scale;
    r.x = desk.x + std::max(0, (desk.width - r.width) / 2);
    r.y = desk.y + std::max(0, (desk.height - r.height) / 2);
    os.WindowSetBounds(window, r);
    os.CursorShow(true);
  }
  s.active = true;
  s.fullscreenNow = want;
  s.damage.MarkAll();
  return 1;
}

int32_t ScreenIsFullscreen() {
  DisplayState& s = State();
  return s.open && s.fullscreenNow ? 1 : 0;
}

int32_t ScreenCloseRequested() {
  DisplayState& s = State();
  const bool asked = s.closeAsked;
  s.closeAsked = false;
  return asked ? 1 : 0;
}

int32_t ScreenWindowScale(int32_t width, int32_t height) {
  platform::Platform& os = Os();
  return platform::WindowScaleFor(os.DesktopBounds(), os.DisplayDpi(), width, height);
}

uint64_t ScreenFrameCount() {
  return State().frameCount;
}

int32_t ScreenFlip() {
  DisplayState& s = State();
  if (!s.initialised) return 0;
  ++s.frameCount;
  if (!s.open) return 0;
  FinishClear(s);
  bool presented = false;
  if (!s.windowed) {
    ProcessFullScreenMessages(s);
    if (s.active) {
      WaitForSteadyPresent(s);
      PresentBackBuffer(s);
      presented = true;
    }
    // Also while inactive: nothing is presented then, so the frame loop is
    // paced and keeps its speed rather than spinning.
    PaceFrame(s);
  } else {
    PaceFrame(s);
    if (!Os().WindowExists(s.targetWindow)) return 0;
    PresentBackBuffer(s);
    presented = true;
  }
  return presented ? 1 : 0;
}

uint32_t ScreenPixelValue(int32_t red, int32_t green, int32_t blue) {
  DisplayState& s = State();
  if (!s.open) return 0;
  const uint32_t r = static_cast<uint32_t>(red) & 0xFF;
  const uint32_t g = static_cast<uint32_t>(green) & 0xFF;
  const uint32_t b = static_cast<uint32_t>(blue) & 0xFF;
  switch (s.depth) {
    case 15:
      return b / 8 + (g / 8) * 32 + (r / 8) * 1024;
    case 16:
      return b / 8 + (g / 4) * 32 + (r / 8) * 2048;
    case 24:
    case 32:
      if (s.formatCode == 4 || s.formatCode == 6) return r + g * 256 + b * 65536;
      return b + g * 256 + r * 65536;
    default:
      return 0;
  }
}

int32_t ScreenClear(int32_t red, int32_t green, int32_t blue) {
  DisplayState& s = State();
  if (!s.open || !s.active) return 0;
  if (s.clearWaits) {
    // What was filled and drawn under the earlier clear goes too.
    s.restore.Add(s.claimed);
    s.restore.Add(s.drawn);
  } else {
    s.restore = s.drawn;
  }
  s.drawn.Clear();
  s.claimed.Clear();
  s.clearValue = ScreenPixelValue(red, green, blue);
  s.clearWaits = true;
  return 1;
}

int32_t ScreenFrameRate(int32_t framesPerSecond) {
  DisplayState& s = State();
  const uint64_t frequency = Os().CounterFrequency();
  if (frequency == 0 || framesPerSecond < 0) return 0;
  s.frameRate = framesPerSecond;
  const uint64_t ticks = frequency / (static_cast<uint64_t>(framesPerSecond) + 1);
  s.ticksPerFrame = static_cast<int64_t>(std::min<uint64_t>(ticks, INT32_MAX));
  s.lastTick = 0;
  s.automaticRate = false;
  return 1;
}

int32_t ScreenPresentRate(int32_t hz) {
  DisplayState& s = State();
  if (hz < 0) return 0;
  s.presentRate = hz;
  s.presentCadence = Cadence{};
  return 1;
}

int32_t ScreenClose() {
  DisplayState& s = State();
  if (!s.initialised) return 0;
  ++s.frameCount;
  const bool wasOpen = s.open;
  if (s.automaticRate) ScreenFrameRate(0);
  for (auto& image : s.images) image.reset();
  platform::Platform& os = Os();
  if (wasOpen && !s.windowed) {
    os.WindowSetFullscreen(s.internalWindow, false);
    os.WindowSetFramed(s.internalWindow, false);
    os.CursorShow(true);
  }
  if (wasOpen && s.windowed && s.fullscreenNow) os.WindowSetFullscreen(s.targetWindow, false);
  s.fit = false;
  s.fullscreenNow = false;
  s.closeAsked = false;
  os.WindowShow(s.internalWindow, false);
  s.open = false;
  s.active = false;
  s.windowed = false;
  s.targetWindow = s.internalWindow;
  s.width = 0;
  s.height = 0;
  s.depth = 0;
  s.formatCode = 0;
  s.back = media::Surface{};
  s.clearWaits = false;
  s.backgroundKept = false;
  s.scaled.clear();
  s.scaled.shrink_to_fit();
  return wasOpen ? 1 : 0;
}

void DisplayStartHook() {}

void DisplayEndHook() {
  DisplayState& s = State();
  if (!s.initialised) return;
  ScreenClose();
  if (Os().WindowExists(s.internalWindow)) Os().WindowDestroy(s.internalWindow);
  const uint64_t frames = s.frameCount + 1;
  s = DisplayState{};
  s.frameCount = frames;
}
