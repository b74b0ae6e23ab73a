#include "platform/headless.h"

#include <unistd.h>

#include <cstring>

namespace platform {
namespace {

constexpr uint64_t kStartMicros = 1'000'000;  // the virtual clock starts at 1 s

int BytesPerPixel(PixelLayout layout) {
  return layout == PixelLayout::Rgb565 ? 2 : 4;
}

// 2026-01-01 12:00:00 local, one hour ahead of universal time.
constexpr int kBaseHour = 12;

}  // namespace

HeadlessPlatform::HeadlessPlatform() : micros_(kStartMicros) {}

void HeadlessPlatform::AdvanceMs(uint32_t ms) {
  micros_ += static_cast<uint64_t>(ms) * 1000;
}

void HeadlessPlatform::AdvanceMicroseconds(uint64_t us) {
  micros_ += us;
}

void HeadlessPlatform::SetKey(int scanCode, bool down) {
  if (scanCode < 0 || scanCode > 255) return;
  keys_[static_cast<size_t>(scanCode)] = down ? 0x80 : 0;
}

void HeadlessPlatform::SetKeys(const std::array<uint8_t, 256>& keys) {
  keys_ = keys;
}

void HeadlessPlatform::ReleaseAllKeys() {
  keys_.fill(0);
}

void HeadlessPlatform::InjectEvent(int id, const WindowEvent& event) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  if (event.kind == EventKind::Close) {
    ++it->second.pendingCloses;
  } else {
    it->second.events.push_back(event);
  }
}

int HeadlessPlatform::ControllerPlugIn() {
  int device = nextPadId_++;
  ControllerState& pad = pads_[device];
  pad.connected = true;
  ControllerSlotAttach(padSlots_, device);
  return device;
}

void HeadlessPlatform::ControllerPullOut(int device) {
  ControllerSlotDetach(padSlots_, device);
  pads_.erase(device);
}

void HeadlessPlatform::ControllerSetButton(int device, uint32_t button, bool down) {
  auto it = pads_.find(device);
  if (it == pads_.end()) return;
  if (down) {
    it->second.buttons |= button;
  } else {
    it->second.buttons &= ~button;
  }
}

void HeadlessPlatform::ControllerSetAxis(int device, int axis, int16_t value) {
  auto it = pads_.find(device);
  if (it == pads_.end() || axis < 0 || axis >= kControllerAxes) return;
  it->second.axes[static_cast<size_t>(axis)] = value;
}

std::vector<int16_t> HeadlessPlatform::PullAudio(int frames) {
  std::vector<int16_t> out(static_cast<size_t>(frames > 0 ? frames : 0) * 2, 0);
  if (audio_ && frames > 0) audio_(out.data(), frames);
  return out;
}

const HeadlessWindow* HeadlessPlatform::Window(int id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : &it->second;
}

uint32_t HeadlessPlatform::ElapsedMs() {
  return static_cast<uint32_t>(micros_ / 1000);
}

void HeadlessPlatform::SleepMs(uint32_t ms) {
  sleptMs_ += ms;
  AdvanceMs(ms);
}

uint64_t HeadlessPlatform::Counter() {
  return micros_;
}

uint64_t HeadlessPlatform::CounterFrequency() {
  return 1'000'000;
}

void HeadlessPlatform::WaitForCounter(uint64_t target) {
  if (target > micros_) micros_ = target;
}

LocalTime HeadlessPlatform::LocalNow() {
  uint64_t seconds = micros_ / 1'000'000;
  LocalTime t;
  t.year = 2026;
  t.month = 1;
  t.day = 1 + static_cast<int>(seconds / 86400 % 28);
  uint64_t daySeconds = seconds % 86400 + kBaseHour * 3600;
  t.hour = static_cast<int>(daySeconds / 3600 % 24);
  t.minute = static_cast<int>(daySeconds / 60 % 60);
  t.second = static_cast<int>(daySeconds % 60);
  t.utcOffsetSeconds = 3600;
  return t;
}

std::string HeadlessPlatform::ExecutablePath() {
  if (!executablePath_.empty()) return executablePath_;
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

int HeadlessPlatform::ShowMessageBox(const std::string& title, const std::string& text, int flags) {
  messageBoxes_.push_back({title, text, flags});
  return messageBoxAnswer_;
}

int HeadlessPlatform::WindowCreate(const WindowSpec& spec) {
  if (windowCreationFails_) return 0;
  int id = nextWindowId_++;
  HeadlessWindow w;
  w.spec = spec;
  w.bounds = {spec.x, spec.y, spec.width, spec.height};
  if (spec.centered) {
    w.bounds.x = desktop_.x + (desktop_.width - spec.width) / 2;
    w.bounds.y = desktop_.y + (desktop_.height - spec.height) / 2;
  }
  w.visible = !spec.hidden;
  windows_.emplace(id, std::move(w));
  return id;
}

void HeadlessPlatform::WindowDestroy(int id) {
  windows_.erase(id);
}

bool HeadlessPlatform::WindowExists(int id) {
  return windows_.count(id) != 0;
}

void HeadlessPlatform::WindowSetTitle(int id, const std::string& title) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.spec.title = title;
}

void HeadlessPlatform::WindowSetBounds(int id, const Rect& client) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.bounds = client;
}

Rect HeadlessPlatform::WindowBounds(int id) {
  auto it = windows_.find(id);
  return it == windows_.end() ? Rect{} : it->second.bounds;
}

void HeadlessPlatform::WindowShow(int id, bool visible) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.visible = visible;
}

void HeadlessPlatform::WindowRaise(int) {}

void HeadlessPlatform::WindowSetFullscreen(int id, bool fullscreen) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.fullscreen = fullscreen;
}

void HeadlessPlatform::WindowSetFramed(int id, bool framed) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  it->second.spec.borderless = !framed;
  it->second.spec.resizable = framed;
}

bool HeadlessPlatform::WindowFocused(int id) {
  return WindowExists(id) && keyboardFocus_;
}

bool HeadlessPlatform::WindowPollEvent(int id, WindowEvent* event) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return false;
  HeadlessWindow& w = it->second;
  if (w.pendingCloses > 0) {
    --w.pendingCloses;
    *event = WindowEvent{};
    event->kind = EventKind::Close;
    return true;
  }
  if (w.events.empty()) return false;
  *event = std::move(w.events.front());
  w.events.pop_front();
  return true;
}

bool HeadlessPlatform::WindowWaitEvent(int id, WindowEvent* event, int timeoutMs) {
  if (WindowPollEvent(id, event)) return true;
  // Nothing will ever arrive on its own: let the virtual time pass.
  if (timeoutMs > 0) AdvanceMs(static_cast<uint32_t>(timeoutMs));
  return false;
}

void HeadlessPlatform::WindowPresent(int id, const PresentRequest& request) {
  auto it = windows_.find(id);
  if (it == windows_.end() || request.pixels == nullptr || request.width <= 0 ||
      request.height <= 0) {
    return;
  }
  CapturedFrame& f = it->second.frame;
  const int bpp = BytesPerPixel(request.layout);
  const size_t row = static_cast<size_t>(request.width) * static_cast<size_t>(bpp);
  // Like a window that keeps its pixels, a picture of the same shape is
  // copied only where the request says it may have changed: a request that
  // leaves out a change shows the old pixels there, as it would on screen.
  const bool sameShape = f.sequence > 0 && f.width == request.width && f.height == request.height &&
                         f.layout == request.layout;
  const std::vector<Rect> parts =
      sameShape ? ChangedParts(request)
                : std::vector<Rect>{Rect{0, 0, request.width, request.height}};
  Rect part;
  for (const Rect& p : parts) part = UnionRect(part, p);
  f.width = request.width;
  f.height = request.height;
  f.layout = request.layout;
  f.fitToWindow = request.fitToWindow;
  f.destX = request.destX;
  f.destY = request.destY;
  f.changed = part;
  f.pixels.resize(row * static_cast<size_t>(request.height));
  const auto* src = static_cast<const uint8_t*>(request.pixels);
  for (const Rect& p : parts) {
    const size_t skip = static_cast<size_t>(p.x) * static_cast<size_t>(bpp);
    const size_t bytes = static_cast<size_t>(p.width) * static_cast<size_t>(bpp);
    for (int y = p.y; y < p.y + p.height; ++y) {
      std::memcpy(f.pixels.data() + row * static_cast<size_t>(y) + skip,
                  src + static_cast<size_t>(request.pitch) * static_cast<size_t>(y) + skip, bytes);
    }
  }
  ++f.sequence;
  f.presentedAt = micros_;
  ++presents_;
  if (vsync_ && refreshRate_ > 0) {
    // The first vertical blank after now: blank k falls at k / rate seconds,
    // rounded up to whole microseconds.
    const uint64_t rate = static_cast<uint64_t>(refreshRate_);
    const uint64_t blank = micros_ * rate / 1'000'000 + 1;
    micros_ = (blank * 1'000'000 + rate - 1) / rate;
  }
}

bool HeadlessPlatform::PresentIsVsynced(int) {
  return vsync_;
}

Rect HeadlessPlatform::DesktopBounds() {
  return desktop_;
}

int HeadlessPlatform::DisplayRefreshRate() {
  return refreshRate_;
}

float HeadlessPlatform::DisplayDpi() {
  return dpi_;
}

void HeadlessPlatform::CursorShow(bool) {}

bool HeadlessPlatform::KeySnapshot(uint8_t keys[256]) {
  if (!keyboardFocus_) return false;
  std::memcpy(keys, keys_.data(), 256);
  return true;
}

void HeadlessPlatform::ControllerSnapshot(ControllerState pads[kMaxControllers]) {
  for (int i = 0; i < kMaxControllers; ++i) pads[i] = ControllerState{};
  for (const auto& [device, pad] : pads_) {
    int slot = ControllerSlotOf(padSlots_, device);
    if (slot >= 0) pads[slot] = pad;
  }
}

bool HeadlessPlatform::AudioOpen(AudioCallback callback) {
  if (!audioAvailable_) return false;
  audio_ = std::move(callback);
  return true;
}

void HeadlessPlatform::AudioClose() {
  audio_ = nullptr;
}

}  // namespace platform
