// The real platform: SDL2 windows, presentation, keyboard state, game
// controllers and audio, and the POSIX clocks. Pictures reach a window through
// an accelerated renderer where there is a GPU, and otherwise through the
// window's own surface (shared memory on X11), which costs one copy; either
// way an unchanged picture is not converted or sent again.
#include "platform/sdl_platform.h"

#include <SDL2/SDL.h>
#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <map>

#include "platform/controller_slots.h"
#include "platform/keymap.h"
#include "platform/present_path.h"
#include "platform/sharp_scale.h"

namespace platform {
namespace {

constexpr size_t kMaxQueuedEvents = 512;
// The tiles in which a 1:1 picture is compared and sent.
constexpr int kTileWidth = 128;
constexpr int kTileHeight = 32;
constexpr uint64_t kMicrosPerSecond = 1'000'000;

uint64_t MonotonicMicros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * kMicrosPerSecond +
         static_cast<uint64_t>(ts.tv_nsec) / 1000;
}

int ModsFromSdl(Uint16 mod) {
  int m = 0;
  if (mod & KMOD_SHIFT) m |= kModShift;
  if (mod & KMOD_CTRL) m |= kModCtrl;
  if (mod & KMOD_ALT) m |= kModAlt;
  return m;
}

struct PadButton {
  SDL_GameControllerButton sdl;
  uint32_t bit;
};

constexpr PadButton kPadButtons[] = {
    {SDL_CONTROLLER_BUTTON_A, kPadSouth},
    {SDL_CONTROLLER_BUTTON_B, kPadEast},
    {SDL_CONTROLLER_BUTTON_X, kPadWest},
    {SDL_CONTROLLER_BUTTON_Y, kPadNorth},
    {SDL_CONTROLLER_BUTTON_BACK, kPadBack},
    {SDL_CONTROLLER_BUTTON_GUIDE, kPadGuide},
    {SDL_CONTROLLER_BUTTON_START, kPadStart},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, kPadLeftStick},
    {SDL_CONTROLLER_BUTTON_RIGHTSTICK, kPadRightStick},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kPadLeftShoulder},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kPadRightShoulder},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadRight},
};

// Indexed by ControllerAxis.
constexpr SDL_GameControllerAxis kPadAxes[kControllerAxes] = {
    SDL_CONTROLLER_AXIS_LEFTX,  SDL_CONTROLLER_AXIS_LEFTY,       SDL_CONTROLLER_AXIS_RIGHTX,
    SDL_CONTROLLER_AXIS_RIGHTY, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT,
};

bool DebugWanted() {
  const char* debug = std::getenv("SKIRMORA_DEBUG");
  return debug != nullptr && debug[0] != '\0' && std::string(debug) != "0";
}

int BytesPerPixel(PixelLayout layout) {
  return layout == PixelLayout::Rgb565 ? 2 : 4;
}

bool SameRect(const Rect& a, const Rect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// A window surface we can write 32-bit blue-lowest pixels into directly.
bool SurfaceIsXrgb(const SDL_Surface* surface) {
  const SDL_PixelFormat* f = surface->format;
  return f->BytesPerPixel == 4 && f->Rmask == 0x00FF0000u && f->Gmask == 0x0000FF00u &&
         f->Bmask == 0x000000FFu;
}

struct SdlWindow {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0;
  int textureHeight = 0;
  PixelLayout textureLayout = PixelLayout::Xrgb8888;
  // The nearest-scaled picture at a whole multiple, brought down to the fit
  // with linear filtering (renderer path, uneven scales).
  SDL_Texture* multiple = nullptr;
  int multipleWidth = 0;
  int multipleHeight = 0;
  bool usesSurface = false;    // presents through the window surface
  bool surfaceFailed = false;  // SDL gave this window no surface
  bool presentFailed = false;  // nor a renderer
  // Window surface path: the surface and the geometry last drawn into it.
  SDL_Surface* surface = nullptr;
  int surfaceWidth = 0;
  int surfaceHeight = 0;
  Rect pictureRect;
  bool repaint = true;  // the whole window must be sent again (exposed, resized)
  // The changed parts of pictures not yet shown in full: a present that fails
  // half-way leaves its part here for the next one.
  Rect unsent;
  FrameMemory shown;  // the picture on screen, to find what changed
  SharpScaler scaler;
  std::vector<uint32_t> converted;  // for surfaces of another pixel format
  bool vsyncClaimed = false;
  bool vsyncDisproved = false;
  int fastPresents = 0;
  uint64_t lastPresentMicros = 0;
  std::deque<WindowEvent> events;
  int pendingCloses = 0;
};

class SdlPlatform : public Platform {
 public:
  SdlPlatform() = default;
  ~SdlPlatform() override {
    AudioClose();
    for (auto& [id, pad] : pads_) SDL_GameControllerClose(pad);
    pads_.clear();
    for (auto& [id, w] : windows_) ReleaseWindow(w);
    windows_.clear();
    if (frameLog_ != nullptr) std::fclose(frameLog_);
    SDL_Quit();
  }

  uint32_t ElapsedMs() override { return static_cast<uint32_t>(MonotonicMicros() / 1000); }

  void SleepMs(uint32_t ms) override {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }

  uint64_t Counter() override { return MonotonicMicros(); }
  uint64_t CounterFrequency() override { return kMicrosPerSecond; }

  // Sleeps to the deadline on the monotonic clock (the counter's own), in
  // one absolute sleep, so that an interrupted or late-started sleep neither
  // drifts nor spins. The kernel wakes us within tens of microseconds, well
  // inside a frame's margin; no spinning is needed.
  void WaitForCounter(uint64_t target) override {
    const timespec deadline{static_cast<time_t>(target / kMicrosPerSecond),
                            static_cast<long>(target % kMicrosPerSecond) * 1000L};
    while (MonotonicMicros() < target) {
      const int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
      if (rc != 0 && rc != EINTR) return;
    }
  }

  LocalTime LocalNow() override {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    LocalTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    t.utcOffsetSeconds = local.tm_gmtoff;
    return t;
  }

  std::string ExecutablePath() override {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
  }

  int ShowMessageBox(const std::string& title, const std::string& text, int flags) override {
    const char* forced = std::getenv("SKIRMORA_MESSAGEBOX");
    bool toStderr = forced != nullptr && std::string(forced) == "stderr";
    bool haveDisplay =
        std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (!toStderr && haveDisplay && EnsureVideo()) {
      Uint32 kind =
          (flags & kMessageBoxIconError) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
      SDL_Window* parent = nullptr;
      for (auto& [id, w] : windows_) {
        if (SDL_GetWindowFlags(w.window) & SDL_WINDOW_INPUT_FOCUS) parent = w.window;
      }
      if (SDL_ShowSimpleMessageBox(kind, Cp1252ToUtf8(title).c_str(), Cp1252ToUtf8(text).c_str(),
                                   parent) == 0) {
        return 1;
      }
    }
    std::fprintf(stderr, "%s: %s\n", Cp1252ToUtf8(title).c_str(), Cp1252ToUtf8(text).c_str());
    return 1;
  }

  int WindowCreate(const WindowSpec& spec) override {
    if (!EnsureVideo()) return 0;
    Uint32 flags = 0;
    if (spec.resizable) flags |= SDL_WINDOW_RESIZABLE;
    if (spec.borderless) flags |= SDL_WINDOW_BORDERLESS;
    flags |= spec.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    int x = spec.centered ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : spec.x;
    int y = spec.centered ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : spec.y;
    SDL_Window* window =
        SDL_CreateWindow(Cp1252ToUtf8(spec.title).c_str(), x, y, spec.width > 0 ? spec.width : 1,
                         spec.height > 0 ? spec.height : 1, flags);
    if (window == nullptr) return 0;
    int id = static_cast<int>(SDL_GetWindowID(window));
    SdlWindow w;
    w.window = window;
    windows_[id] = std::move(w);
    return id;
  }

  void WindowDestroy(int id) override {
    auto it = windows_.find(id);
    if (it == windows_.end()) return;
    ReleaseWindow(it->second);
    windows_.erase(it);
  }

  bool WindowExists(int id) override { return windows_.count(id) != 0; }

  void WindowSetTitle(int id, const std::string& title) override {
    if (SdlWindow* w = Find(id)) SDL_SetWindowTitle(w->window, Cp1252ToUtf8(title).c_str());
  }

  void WindowSetBounds(int id, const Rect& client) override {
    if (SdlWindow* w = Find(id)) {
      SDL_SetWindowPosition(w->window, client.x, client.y);
      SDL_SetWindowSize(w->window, client.width, client.height);
    }
  }

  Rect WindowBounds(int id) override {
    Rect r;
    if (SdlWindow* w = Find(id)) {
      SDL_GetWindowPosition(w->window, &r.x, &r.y);
      SDL_GetWindowSize(w->window, &r.width, &r.height);
    }
    return r;
  }

  void WindowShow(int id, bool visible) override {
    if (SdlWindow* w = Find(id)) {
      if (visible) {
        SDL_ShowWindow(w->window);
      } else {
        SDL_HideWindow(w->window);
      }
    }
  }

  void WindowRaise(int id) override {
    if (SdlWindow* w = Find(id)) SDL_RaiseWindow(w->window);
  }

  void WindowSetFullscreen(int id, bool fullscreen) override {
    if (SdlWindow* w = Find(id)) {
      SDL_SetWindowFullscreen(w->window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    }
  }

  void WindowSetFramed(int id, bool framed) override {
    if (SdlWindow* w = Find(id)) {
      SDL_SetWindowBordered(w->window, framed ? SDL_TRUE : SDL_FALSE);
      SDL_SetWindowResizable(w->window, framed ? SDL_TRUE : SDL_FALSE);
    }
  }

  bool WindowFocused(int id) override {
    Pump();
    SdlWindow* w = Find(id);
    return w != nullptr && (SDL_GetWindowFlags(w->window) & SDL_WINDOW_INPUT_FOCUS) != 0;
  }

  bool WindowPollEvent(int id, WindowEvent* event) override {
    Pump();
    return TakeEvent(id, event);
  }

  bool WindowWaitEvent(int id, WindowEvent* event, int timeoutMs) override {
    if (WindowPollEvent(id, event)) return true;
    uint64_t deadline =
        MonotonicMicros() + static_cast<uint64_t>(timeoutMs < 0 ? 0 : timeoutMs) * 1000;
    for (;;) {
      int wait = 100;
      if (timeoutMs >= 0) {
        uint64_t now = MonotonicMicros();
        if (now >= deadline) return false;
        wait = static_cast<int>((deadline - now + 999) / 1000);
      }
      SDL_Event e;
      if (SDL_WaitEventTimeout(&e, wait) != 0) {
        Route(e);
        Pump();
        if (TakeEvent(id, event)) return true;
      }
      if (!WindowExists(id)) return false;
    }
  }

  void WindowPresent(int id, const PresentRequest& request) override {
    SdlWindow* w = Find(id);
    if (w == nullptr || request.pixels == nullptr || request.width <= 0 || request.height <= 0 ||
        request.pitch < request.width * BytesPerPixel(request.layout)) {
      return;
    }
    LogPresent(id);
    if (!w->usesSurface && w->renderer == nullptr) {
      // The process's choice, or the other path when this window cannot
      // have it; a window that can have neither shows nothing.
      if (w->presentFailed) return;
      if (Choice().path == PresentPath::WindowSurface && !w->surfaceFailed) {
        w->usesSurface = true;
      } else if (!MakeRenderer(*w)) {
        if (w->surfaceFailed) {
          w->presentFailed = true;
          return;
        }
        w->usesSurface = true;
      }
    }
    PresentRequest r = request;
    // After a present that failed part-way, its rectangle is sent as well:
    // the finer parts of this one no longer tell all that changed.
    const bool earlierUnsent = w->unsent.width > 0 && w->unsent.height > 0;
    w->unsent = UnionRect(w->unsent, ChangedPart(request));
    r.changed = w->unsent;
    if (earlierUnsent) {
      r.parts = nullptr;
      r.partCount = 0;
    }
    if (w->usesSurface) {
      PresentToSurface(*w, r);
    } else {
      PresentWithRenderer(*w, r);
    }
  }

  bool PresentIsVsynced(int id) override {
    SdlWindow* w = Find(id);
    return w != nullptr && w->vsyncClaimed && !w->vsyncDisproved;
  }

  Rect DesktopBounds() override {
    Rect r{0, 0, 1024, 768};
    if (EnsureVideo()) {
      SDL_Rect b;
      if (SDL_GetDisplayBounds(0, &b) == 0) r = {b.x, b.y, b.w, b.h};
    }
    return r;
  }

  int DisplayRefreshRate() override {
    SDL_DisplayMode mode;
    if (EnsureVideo() && SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) {
      return mode.refresh_rate;
    }
    return 60;
  }

  float DisplayDpi() override {
    float diagonal = 0.0f;
    if (EnsureVideo() && SDL_GetDisplayDPI(0, &diagonal, nullptr, nullptr) == 0 &&
        diagonal > 0.0f) {
      return diagonal;
    }
    return 96.0f;
  }

  void CursorShow(bool visible) override {
    if (EnsureVideo()) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  }

  bool KeySnapshot(uint8_t keys[256]) override {
    if (!videoReady_) return false;
    Pump();
    bool focused = false;
    for (auto& [id, w] : windows_) {
      if (SDL_GetWindowFlags(w.window) & SDL_WINDOW_INPUT_FOCUS) focused = true;
    }
    if (!focused) return false;
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int i = 0; i < 256; ++i) keys[i] = 0;
    for (int s = 0; s < count; ++s) {
      if (state[s] == 0) continue;
      int code = ScanFromSdl(s);
      if (code != 0) keys[code] = 0x80;
    }
    return true;
  }

  void ControllerSnapshot(ControllerState pads[kMaxControllers]) override {
    for (int i = 0; i < kMaxControllers; ++i) pads[i] = ControllerState{};
    // Controllers are read for the program's windows only, like the keys.
    if (!videoReady_ || !EnsureControllers()) return;
    Pump();  // routes connections and removals and brings the button states up to date
    for (auto& [id, pad] : pads_) {
      int slot = ControllerSlotOf(padSlots_, static_cast<int>(id));
      if (slot < 0) continue;
      ControllerState& out = pads[slot];
      out.connected = true;
      for (const PadButton& b : kPadButtons) {
        if (SDL_GameControllerGetButton(pad, b.sdl) != 0) out.buttons |= b.bit;
      }
      for (int a = 0; a < kControllerAxes; ++a) {
        out.axes[static_cast<size_t>(a)] = SDL_GameControllerGetAxis(pad, kPadAxes[a]);
      }
    }
  }

  bool AudioOpen(AudioCallback callback) override {
    AudioClose();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    audioCallback_ = std::move(callback);
    SDL_AudioSpec want{};
    want.freq = kAudioRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &SdlPlatform::AudioTrampoline;
    want.userdata = this;
    SDL_AudioSpec have{};
    audioDevice_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (audioDevice_ == 0) {
      audioCallback_ = nullptr;
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    SDL_PauseAudioDevice(audioDevice_, 0);
    return true;
  }

  void AudioClose() override {
    if (audioDevice_ != 0) {
      SDL_CloseAudioDevice(audioDevice_);
      audioDevice_ = 0;
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    audioCallback_ = nullptr;
  }

 private:
  static void AudioTrampoline(void* user, Uint8* stream, int length) {
    auto* self = static_cast<SdlPlatform*>(user);
    auto* samples = reinterpret_cast<int16_t*>(stream);
    int frames = length / 4;
    for (int i = 0; i < frames * 2; ++i) samples[i] = 0;
    if (self->audioCallback_) self->audioCallback_(samples, frames);
  }

  bool EnsureVideo() {
    if (videoReady_) return true;
    if (videoFailed_) return false;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      videoFailed_ = true;
      return false;
    }
    videoReady_ = true;
    return true;
  }

  // The controller subsystem starts with the first controller read; it then
  // reports every controller already present as newly connected.
  bool EnsureControllers() {
    if (padsReady_) return true;
    if (padsFailed_) return false;
    // Face buttons by their place on the pad, whatever their labels say.
    SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
      padsFailed_ = true;
      return false;
    }
    padsReady_ = true;
    return true;
  }

  void ControllerAdded(int deviceIndex) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    // A controller present when the subsystem started can be announced twice.
    if (id < 0 || pads_.count(id) != 0) return;
    SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex);
    if (pad == nullptr) return;
    if (ControllerSlotAttach(padSlots_, static_cast<int>(id)) < 0) {
      SDL_GameControllerClose(pad);
      return;
    }
    pads_[id] = pad;
  }

  void ControllerRemoved(SDL_JoystickID id) {
    auto it = pads_.find(id);
    if (it == pads_.end()) return;
    SDL_GameControllerClose(it->second);
    pads_.erase(it);
    ControllerSlotDetach(padSlots_, static_cast<int>(id));
  }

  SdlWindow* Find(int id) {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : &it->second;
  }

  static void ReleaseWindow(SdlWindow& w) {
    if (w.multiple) SDL_DestroyTexture(w.multiple);
    if (w.texture) SDL_DestroyTexture(w.texture);
    if (w.renderer) SDL_DestroyRenderer(w.renderer);
    if (w.window) SDL_DestroyWindow(w.window);
    w = SdlWindow{};
  }

  // The presentation path of this process, found out once: a renderer tried
  // on a hidden window of its own tells whether SDL's renderer would run on
  // a GPU or in software.
  const PresentChoice& Choice() {
    if (choiceMade_) return choice_;
    choiceMade_ = true;
    const char* forced = std::getenv("SKIRMORA_PRESENT");
    const std::string force = forced != nullptr ? forced : "";
    RendererProbe probe;
    if (force != "surface" && force != "renderer") probe = ProbeRenderer();
    choice_ = ChoosePresentPath(force, probe);
    if (DebugWanted()) {
      std::fprintf(
          stderr, "skirmora: presenting through %s: %s\n",
          choice_.path == PresentPath::Renderer ? "the accelerated renderer" : "the window surface",
          choice_.reason.c_str());
    }
    return choice_;
  }

  static RendererProbe ProbeRenderer() {
    RendererProbe probe;
    SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
    if (window == nullptr) {
      probe.error = SDL_GetError();
      return probe;
    }
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    if (renderer == nullptr) {
      probe.error = SDL_GetError();
    } else {
      probe.created = true;
      SDL_RendererInfo info;
      if (SDL_GetRendererInfo(renderer, &info) == 0) {
        probe.name = info.name != nullptr ? info.name : "";
        probe.accelerated = (info.flags & SDL_RENDERER_ACCELERATED) != 0;
      }
      if (probe.name.rfind("opengl", 0) == 0) {
        // The renderer's context is current now; ask it who draws.
        using GetString = const unsigned char* (*)(unsigned int);
        constexpr unsigned int kGlRenderer = 0x1F01;
        auto get = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
        const unsigned char* text = get != nullptr ? get(kGlRenderer) : nullptr;
        if (text != nullptr) probe.glRenderer = reinterpret_cast<const char*>(text);
      }
      SDL_DestroyRenderer(renderer);
    }
    SDL_DestroyWindow(window);
    return probe;
  }

  bool MakeRenderer(SdlWindow& w) {
    w.renderer =
        SDL_CreateRenderer(w.window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (w.renderer == nullptr && w.surfaceFailed) {
      w.renderer = SDL_CreateRenderer(w.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (w.renderer == nullptr) {
      if (DebugWanted()) {
        std::fprintf(stderr, "skirmora: no renderer for a window (%s)\n", SDL_GetError());
      }
      return false;
    }
    SDL_RendererInfo info;
    w.vsyncClaimed = SDL_GetRendererInfo(w.renderer, &info) == 0 &&
                     (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    return true;
  }

  bool EnsureTexture(SdlWindow& w, const PresentRequest& r) {
    if (w.texture == nullptr || w.textureWidth != r.width || w.textureHeight != r.height ||
        w.textureLayout != r.layout) {
      if (w.texture) SDL_DestroyTexture(w.texture);
      Uint32 format =
          r.layout == PixelLayout::Rgb565 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
      w.texture =
          SDL_CreateTexture(w.renderer, format, SDL_TEXTUREACCESS_STREAMING, r.width, r.height);
      w.shown.Forget();
      if (w.texture == nullptr) return false;
      SDL_SetTextureScaleMode(w.texture, SDL_ScaleModeNearest);
      w.textureWidth = r.width;
      w.textureHeight = r.height;
      w.textureLayout = r.layout;
    }
    return true;
  }

  // The picture at k times its size, nearest texels, as a render target.
  SDL_Texture* Multiple(SdlWindow& w, int width, int height) {
    if (w.multiple == nullptr || w.multipleWidth != width || w.multipleHeight != height) {
      if (w.multiple) SDL_DestroyTexture(w.multiple);
      w.multiple = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_TARGET,
                                     width, height);
      if (w.multiple == nullptr) return nullptr;
      SDL_SetTextureScaleMode(w.multiple, SDL_ScaleModeLinear);
      w.multipleWidth = width;
      w.multipleHeight = height;
    }
    return w.multiple;
  }

  // Renderer path: only changed rows are uploaded; drawing and presenting run
  // every time, since presenting is what waits for the vertical blank.
  void PresentWithRenderer(SdlWindow& w, const PresentRequest& r) {
    if (!EnsureTexture(w, r)) return;
    const RowSpan changed = w.shown.Update(r.pixels, r.width, r.height, r.pitch,
                                           BytesPerPixel(r.layout), ChangedRows(r));
    if (!changed.Empty()) {
      const SDL_Rect rows{0, changed.first, r.width, changed.end - changed.first};
      SDL_UpdateTexture(w.texture, &rows,
                        static_cast<const uint8_t*>(r.pixels) +
                            static_cast<size_t>(r.pitch) * static_cast<size_t>(changed.first),
                        r.pitch);
    }
    SDL_RenderSetLogicalSize(w.renderer, 0, 0);
    SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    SDL_RenderClear(w.renderer);
    if (r.fitToWindow) {
      int outWidth = 0, outHeight = 0;
      SDL_GetRendererOutputSize(w.renderer, &outWidth, &outHeight);
      const Rect fit = FitPicture(r.width, r.height, outWidth, outHeight);
      const SDL_Rect dest{fit.x, fit.y, fit.width, fit.height};
      const int k =
          std::max(SharpMultiple(r.width, fit.width), SharpMultiple(r.height, fit.height));
      const bool whole = fit.width == r.width * k && fit.height == r.height * k;
      SDL_Texture* multiple = nullptr;
      if (!whole && k > 1 && SDL_RenderTargetSupported(w.renderer)) {
        multiple = Multiple(w, r.width * k, r.height * k);
      }
      if (multiple != nullptr && SDL_SetRenderTarget(w.renderer, multiple) == 0) {
        SDL_RenderCopy(w.renderer, w.texture, nullptr, nullptr);
        SDL_SetRenderTarget(w.renderer, nullptr);
        SDL_RenderCopy(w.renderer, multiple, nullptr, &dest);
      } else {
        // Whole multiples stay nearest; shrinking blends.
        SDL_SetTextureScaleMode(w.texture, whole ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
        SDL_RenderCopy(w.renderer, w.texture, nullptr, &dest);
        SDL_SetTextureScaleMode(w.texture, SDL_ScaleModeNearest);
      }
    } else {
      SDL_Rect dest{r.destX, r.destY, r.width, r.height};
      SDL_RenderCopy(w.renderer, w.texture, nullptr, &dest);
    }
    SDL_RenderPresent(w.renderer);
    w.unsent = Rect{};
    TrackVsync(w);
  }

  // The rows of a request's picture that may have changed.
  static RowSpan ChangedRows(const PresentRequest& r) {
    const Rect part = ChangedPart(r);
    return RowSpan{part.y, part.y + part.height};
  }

  // The same more closely: the rows of its changed parts, in order, those
  // that overlap or touch joined.
  static std::vector<RowSpan> ChangedRowSpans(const PresentRequest& r) {
    std::vector<RowSpan> spans;
    for (const Rect& part : ChangedParts(r)) spans.push_back(RowSpan{part.y, part.y + part.height});
    std::sort(spans.begin(), spans.end(),
              [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
    std::vector<RowSpan> joined;
    for (const RowSpan& span : spans) {
      if (!joined.empty() && span.first <= joined.back().end) {
        joined.back().end = std::max(joined.back().end, span.end);
      } else {
        joined.push_back(span);
      }
    }
    return joined;
  }

  // Window surface path: the changed rows of the picture are written into
  // the window's pixels (scaled to fit, or 1:1 at the destination) and only
  // they are sent to the display. The bars and everything outside the picture
  // are cleared when the window's size or the picture's place changes.
  void PresentToSurface(SdlWindow& w, const PresentRequest& r) {
    if (!surfaceHintSet_) {
      // SDL would otherwise put a renderer behind the window surface.
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
      surfaceHintSet_ = true;
    }
    // Fetched every time: SDL makes a new one after the window's size changed.
    SDL_Surface* surface = SDL_GetWindowSurface(w.window);
    if (surface == nullptr) {
      // No surface for this window (some drivers): a renderer, even a
      // software one, still shows the picture.
      if (DebugWanted()) {
        std::fprintf(stderr, "skirmora: no window surface (%s); presenting with a renderer\n",
                     SDL_GetError());
      }
      w.usesSurface = false;
      w.surfaceFailed = true;
      return;
    }
    if (surface->w <= 0 || surface->h <= 0) return;
    Rect dest = r.fitToWindow ? FitPicture(r.width, r.height, surface->w, surface->h)
                              : Rect{r.destX, r.destY, r.width, r.height};
    // The part of the picture that lands inside the window (1:1 may be cut).
    int skipX = 0, skipY = 0;
    if (!r.fitToWindow) {
      skipX = std::max(0, -dest.x);
      skipY = std::max(0, -dest.y);
      dest.x += skipX;
      dest.y += skipY;
      dest.width = std::min(dest.width - skipX, surface->w - dest.x);
      dest.height = std::min(dest.height - skipY, surface->h - dest.y);
    }
    const bool reshaped = surface != w.surface || surface->w != w.surfaceWidth ||
                          surface->h != w.surfaceHeight || !SameRect(dest, w.pictureRect);
    const bool whole = reshaped || w.repaint;
    const bool direct = SurfaceIsXrgb(surface);
    const int bpp = BytesPerPixel(r.layout);
    const auto* pixels = static_cast<const uint8_t*>(r.pixels) +
                         static_cast<size_t>(skipY) * static_cast<size_t>(r.pitch) +
                         static_cast<size_t>(skipX) * static_cast<size_t>(bpp);
    const int width = r.fitToWindow ? r.width : dest.width;
    const int height = r.fitToWindow ? r.height : dest.height;
    if (direct && dest.width == width && dest.height == height && r.layout == PixelLayout::Rgb565) {
      PresentWidened(w, r, surface, dest, skipX, skipY, reshaped, whole);
      return;
    }
    if (direct && dest.width == width && dest.height == height) {
      // 1:1: the window's pixels are the memory of what is shown, so the
      // picture is compared with them and copied where it differs, in one
      // pass, and only the strips that changed are sent. Only the tiles that
      // meet the part of the picture that may have changed are looked at.
      // The parts of the picture inside the window to look at, each widened
      // to the tile grid so that tiles are compared as a whole compare does.
      std::vector<Rect> areas;
      if (whole) {
        areas.push_back(Rect{0, 0, width, height});
      } else {
        for (const Rect& part : ChangedParts(r)) {
          int top = std::max(0, part.y - skipY);
          const int bottom = std::min(height, part.y + part.height - skipY);
          int left = std::max(0, part.x - skipX);
          const int right = std::min(width, part.x + part.width - skipX);
          if (bottom <= top || right <= left) continue;
          top -= top % kTileHeight;
          left -= left % kTileWidth;
          areas.push_back(Rect{left, top, right - left, bottom - top});
        }
      }
      w.shown.Forget();
      if (!StartWriting(w, surface, dest, reshaped, !whole && areas.empty())) return;
      std::vector<Rect> tiles;
      if (dest.width > 0 && dest.height > 0) {
        for (const Rect& a : areas) {
          auto* out = static_cast<uint8_t*>(surface->pixels) +
                      static_cast<size_t>(dest.y + a.y) * static_cast<size_t>(surface->pitch) +
                      static_cast<size_t>(dest.x + a.x) * 4;
          std::vector<Rect> found =
              CopyChangedTiles(pixels + static_cast<size_t>(a.y) * static_cast<size_t>(r.pitch) +
                                   static_cast<size_t>(a.x) * static_cast<size_t>(bpp),
                               a.width, a.height, r.pitch, r.layout, out, surface->pitch, whole,
                               kTileWidth, kTileHeight);
          for (Rect& t : found) {
            t.x += dest.x + a.x;
            t.y += dest.y + a.y;
            tiles.push_back(t);
          }
        }
      }
      if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
      SendSurface(w, surface, dest, tiles, whole);
      return;
    }
    // The rows that differ from the picture shown, looked for only in the
    // rows that may have changed.
    std::vector<RowSpan> changed;
    for (const RowSpan& within : ChangedRowSpans(r)) {
      const RowSpan c =
          w.shown.Update(r.pixels, r.width, r.height, r.pitch, BytesPerPixel(r.layout), within);
      if (!c.Empty()) changed.push_back(c);
    }
    if (!whole && changed.empty()) {
      w.unsent = Rect{};  // the screen shows this picture already
      return;
    }
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
      w.repaint = true;
      return;
    }
    if (reshaped && direct) {
      ClearOutside(surface->pixels, surface->w, surface->h, surface->pitch, dest);
    } else if (reshaped) {
      SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    }
    std::vector<RowSpan> from;
    if (whole) {
      from.push_back(RowSpan{0, height});
    } else {
      for (const RowSpan& c : changed) from.push_back(RowSpan{c.first - skipY, c.end - skipY});
    }
    std::vector<Rect> sent;
    for (const RowSpan& span : from) {
      if (dest.width <= 0 || dest.height <= 0) break;
      RowSpan rows;
      if (direct) {
        auto* out = static_cast<uint8_t*>(surface->pixels) +
                    static_cast<size_t>(dest.y) * static_cast<size_t>(surface->pitch) +
                    static_cast<size_t>(dest.x) * 4;
        rows = w.scaler.Scale(pixels, width, height, r.pitch, r.layout, out, dest.width,
                              dest.height, surface->pitch, span);
      } else {
        // Another pixel format: scale into our own buffer, then convert.
        w.converted.resize(static_cast<size_t>(dest.width) * static_cast<size_t>(dest.height));
        rows = w.scaler.Scale(pixels, width, height, r.pitch, r.layout, w.converted.data(),
                              dest.width, dest.height, dest.width * 4, span);
        if (!rows.Empty()) {
          auto* out =
              static_cast<uint8_t*>(surface->pixels) +
              static_cast<size_t>(dest.y + rows.first) * static_cast<size_t>(surface->pitch) +
              static_cast<size_t>(dest.x) * surface->format->BytesPerPixel;
          SDL_ConvertPixels(dest.width, rows.end - rows.first, SDL_PIXELFORMAT_RGB888,
                            w.converted.data() +
                                static_cast<size_t>(rows.first) * static_cast<size_t>(dest.width),
                            dest.width * 4, surface->format->format, out, surface->pitch);
        }
      }
      if (!rows.Empty()) {
        sent.push_back(Rect{dest.x, dest.y + rows.first, dest.width, rows.end - rows.first});
      }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SendSurface(w, surface, dest, sent, whole);
  }

  // Before a 1:1 picture is written into the window surface: false when
  // there is nothing to write (the screen shows the picture already) or the
  // surface cannot be locked (the next present then sends the whole window).
  // Clears around the picture when its place or the window changed.
  static bool StartWriting(SdlWindow& w, SDL_Surface* surface, const Rect& dest, bool reshaped,
                           bool unchanged) {
    if (unchanged) {
      w.unsent = Rect{};
      return false;
    }
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
      w.repaint = true;
      return false;
    }
    if (reshaped) ClearOutside(surface->pixels, surface->w, surface->h, surface->pitch, dest);
    return true;
  }

  // A 16-bit picture 1:1 into the window: it is compared in its own, smaller
  // form with the one shown before, tile by tile where it may have changed,
  // and only the tiles that differ are widened into the window and sent.
  void PresentWidened(SdlWindow& w, const PresentRequest& r, SDL_Surface* surface, const Rect& dest,
                      int skipX, int skipY, bool reshaped, bool whole) {
    const Rect all{0, 0, r.width, r.height};
    std::vector<Rect> changed;
    if (whole) {
      w.shown.UpdateTiles(r.pixels, r.width, r.height, r.pitch, 2, all, kTileWidth, kTileHeight);
      changed.assign(1, all);
    } else {
      for (const Rect& part : ChangedParts(r)) {
        for (const Rect& t : w.shown.UpdateTiles(r.pixels, r.width, r.height, r.pitch, 2, part,
                                                 kTileWidth, kTileHeight)) {
          changed.push_back(t);
        }
      }
    }
    // The parts inside the window, in the window's coordinates.
    const Rect seen{skipX, skipY, dest.width, dest.height};
    std::vector<Rect> tiles;
    for (const Rect& c : changed) {
      const int x0 = std::max(c.x, seen.x), y0 = std::max(c.y, seen.y);
      const int x1 = std::min(c.x + c.width, seen.x + seen.width);
      const int y1 = std::min(c.y + c.height, seen.y + seen.height);
      if (x1 > x0 && y1 > y0) tiles.push_back(Rect{x0, y0, x1 - x0, y1 - y0});
    }
    if (!StartWriting(w, surface, dest, reshaped, !whole && tiles.empty())) return;
    const auto* in = static_cast<const uint8_t*>(r.pixels);
    auto* out = static_cast<uint8_t*>(surface->pixels);
    for (Rect& t : tiles) {
      t.x += dest.x - skipX;
      t.y += dest.y - skipY;
      for (int y = 0; y < t.height; ++y) {
        const int sy = t.y - dest.y + skipY + y;
        const int sx = t.x - dest.x + skipX;
        WidenRow565(reinterpret_cast<const uint16_t*>(in + static_cast<size_t>(r.pitch) *
                                                               static_cast<size_t>(sy)) +
                        sx,
                    reinterpret_cast<uint32_t*>(out + static_cast<size_t>(surface->pitch) *
                                                          static_cast<size_t>(t.y + y)) +
                        t.x,
                    t.width);
      }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SendSurface(w, surface, dest, tiles, whole);
  }

  // Sends the whole window, or the given rectangles of it.
  static void SendSurface(SdlWindow& w, SDL_Surface* surface, const Rect& dest,
                          const std::vector<Rect>& written, bool whole) {
    if (whole) {
      SDL_UpdateWindowSurface(w.window);
    } else if (!written.empty()) {
      std::vector<SDL_Rect> rects;
      rects.reserve(written.size());
      for (const Rect& r : written) rects.push_back(SDL_Rect{r.x, r.y, r.width, r.height});
      SDL_UpdateWindowSurfaceRects(w.window, rects.data(), static_cast<int>(rects.size()));
    }
    w.surface = surface;
    w.surfaceWidth = surface->w;
    w.surfaceHeight = surface->h;
    w.pictureRect = dest;
    w.repaint = false;
    w.unsent = Rect{};
  }

  // With SKIRMORA_FRAME_LOG naming a file, every present is written to it as
  // "window microseconds", the monotonic time of the present; the whole-program
  // benchmark reads frame intervals from it.
  void LogPresent(int id) {
    if (!frameLogChecked_) {
      frameLogChecked_ = true;
      const char* path = std::getenv("SKIRMORA_FRAME_LOG");
      if (path != nullptr && path[0] != '\0') {
        frameLog_ = std::fopen(path, "w");
        if (frameLog_ != nullptr) setvbuf(frameLog_, nullptr, _IOLBF, 0);
      }
    }
    if (frameLog_ != nullptr) {
      std::fprintf(frameLog_, "%d %llu\n", id, static_cast<unsigned long long>(MonotonicMicros()));
    }
  }

  // A renderer may claim vsync that the display does not deliver (virtual
  // displays, some drivers). Presents that keep returning far faster than the
  // refresh interval disprove it for good, and the caller then paces itself.
  void TrackVsync(SdlWindow& w) {
    uint64_t now = MonotonicMicros();
    if (w.vsyncClaimed && !w.vsyncDisproved && w.lastPresentMicros != 0) {
      uint64_t interval = kMicrosPerSecond / static_cast<uint64_t>(RefreshCached());
      if (now - w.lastPresentMicros < interval / 2) {
        if (++w.fastPresents >= 20) w.vsyncDisproved = true;
      } else {
        w.fastPresents = 0;
      }
    }
    w.lastPresentMicros = now;
  }

  int RefreshCached() {
    if (refresh_ == 0) refresh_ = DisplayRefreshRate();
    return refresh_;
  }

  void Pump() {
    if (!videoReady_) return;
    SDL_Event e;
    while (SDL_PollEvent(&e) != 0) Route(e);
  }

  void Push(int id, WindowEvent ev) {
    SdlWindow* w = Find(id);
    if (w == nullptr) return;
    if (ev.kind == EventKind::Close) {
      ++w->pendingCloses;
      return;
    }
    if (ev.kind == EventKind::MouseMove && !w->events.empty() &&
        w->events.back().kind == EventKind::MouseMove) {
      w->events.back() = std::move(ev);
      return;
    }
    if (w->events.size() >= kMaxQueuedEvents) w->events.pop_front();
    w->events.push_back(std::move(ev));
  }

  bool TakeEvent(int id, WindowEvent* event) {
    SdlWindow* w = Find(id);
    if (w == nullptr) return false;
    if (w->pendingCloses > 0) {
      --w->pendingCloses;
      *event = WindowEvent{};
      event->kind = EventKind::Close;
      return true;
    }
    if (w->events.empty()) return false;
    *event = std::move(w->events.front());
    w->events.pop_front();
    return true;
  }

  void Route(const SDL_Event& e) {
    WindowEvent ev;
    int id = 0;
    switch (e.type) {
      case SDL_WINDOWEVENT:
        id = static_cast<int>(e.window.windowID);
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            ev.kind = EventKind::Close;
            break;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            ev.kind = EventKind::Resized;
            ev.x = e.window.data1;
            ev.y = e.window.data2;
            break;
          case SDL_WINDOWEVENT_MOVED:
            ev.kind = EventKind::Moved;
            ev.x = e.window.data1;
            ev.y = e.window.data2;
            break;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            ev.kind = EventKind::FocusGained;
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            ev.kind = EventKind::FocusLost;
            break;
          case SDL_WINDOWEVENT_EXPOSED:
            ev.kind = EventKind::Exposed;
            // What the display lost must be sent again, changed or not.
            if (SdlWindow* w = Find(id)) w->repaint = true;
            break;
          default:
            return;
        }
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        id = static_cast<int>(e.key.windowID);
        ev.kind = e.type == SDL_KEYDOWN ? EventKind::KeyDown : EventKind::KeyUp;
        ev.key = ScanFromSdl(e.key.keysym.scancode);
        ev.mods = ModsFromSdl(e.key.keysym.mod);
        break;
      case SDL_CONTROLLERDEVICEADDED:
        ControllerAdded(e.cdevice.which);
        return;
      case SDL_CONTROLLERDEVICEREMOVED:
        ControllerRemoved(e.cdevice.which);
        return;
      case SDL_TEXTINPUT:
        id = static_cast<int>(e.text.windowID);
        ev.kind = EventKind::Text;
        ev.text = Utf8ToCp1252(e.text.text);
        if (ev.text.empty()) return;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        id = static_cast<int>(e.button.windowID);
        ev.kind = e.type == SDL_MOUSEBUTTONDOWN ? EventKind::MouseDown : EventKind::MouseUp;
        ev.x = e.button.x;
        ev.y = e.button.y;
        ev.button = e.button.button;
        ev.mods = ModsFromSdl(static_cast<Uint16>(SDL_GetModState()));
        break;
      case SDL_MOUSEMOTION:
        id = static_cast<int>(e.motion.windowID);
        ev.kind = EventKind::MouseMove;
        ev.x = e.motion.x;
        ev.y = e.motion.y;
        break;
      default:
        return;
    }
    Push(id, std::move(ev));
  }

  std::map<int, SdlWindow> windows_;
  bool videoReady_ = false;
  bool videoFailed_ = false;
  std::map<SDL_JoystickID, SDL_GameController*> pads_;  // open controllers with a slot
  ControllerSlots padSlots_;
  bool padsReady_ = false;
  bool padsFailed_ = false;
  int refresh_ = 0;
  bool choiceMade_ = false;
  PresentChoice choice_;
  bool surfaceHintSet_ = false;
  bool frameLogChecked_ = false;
  std::FILE* frameLog_ = nullptr;
  SDL_AudioDeviceID audioDevice_ = 0;
  AudioCallback audioCallback_;
};

}  // namespace

std::unique_ptr<Platform> MakeSdlPlatform() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) return nullptr;
  return std::make_unique<SdlPlatform>();
}

}  // namespace platform
