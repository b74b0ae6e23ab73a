#pragma once
// The only door to the operating system. Everything above this layer (runtime,
// media, game) talks to a Platform and never to SDL2 directly. Two platforms
// exist side by side and one is chosen at run time: the SDL2 one for the real
// programs and the headless twin for tests (see headless.h).

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Local wall-clock time, broken down.
struct LocalTime {
  int year = 1970;            // e.g. 2026
  int month = 1;              // 1..12
  int day = 1;                // 1..31
  int hour = 0;               // 0..23
  int minute = 0;             // 0..59
  int second = 0;             // 0..59
  long utcOffsetSeconds = 0;  // local time minus universal time at that moment
};

// Message box flags understood by ShowMessageBox (others are treated like 0).
constexpr int kMessageBoxIconError = 16;

// Modifier bits of key and mouse events.
constexpr int kModShift = 1;
constexpr int kModCtrl = 2;
constexpr int kModAlt = 4;

enum class EventKind {
  None,
  Close,    // the user asked to close the window (close box, Alt+F4)
  Resized,  // x, y carry the new client width and height
  Moved,    // x, y carry the new client position on the desktop
  FocusGained,
  FocusLost,
  KeyDown,  // key: set-1 scan code (0x80 added for extended keys), mods
  KeyUp,
  Text,       // text: typed characters as Windows-1252 bytes (unmappable ones dropped)
  MouseDown,  // x, y: client coordinates; button: 1 left, 2 middle, 3 right
  MouseUp,
  MouseMove,
  Exposed,  // the window needs repainting
};

struct WindowEvent {
  EventKind kind = EventKind::None;
  int key = 0;
  int mods = 0;
  int x = 0;
  int y = 0;
  int button = 0;
  std::string text;
};

struct WindowSpec {
  std::string title;  // Windows-1252 bytes
  int x = 0;          // client area position on the desktop
  int y = 0;
  bool centered = false;  // ignore x, y and centre on the desktop
  int width = 0;          // client area size
  int height = 0;
  bool resizable = false;
  bool borderless = false;
  bool hidden = false;
};

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

enum class PixelLayout {
  Rgb565,    // 16-bit, red in the top five bits
  Xrgb8888,  // 32-bit, blue in the lowest byte, red in the third
};

// A picture to show in a window.
struct PresentRequest {
  const void* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;  // bytes from one row to the next
  PixelLayout layout = PixelLayout::Xrgb8888;
  // true: scale the picture to fill the window, aspect kept (letterbox),
  // nearest neighbour. false: copy it 1:1 with its top-left corner at (destX, destY).
  bool fitToWindow = false;
  int destX = 0;
  int destY = 0;
  // The part of the picture that may differ from the picture last presented
  // into this window; every pixel outside it is the same. A window may then
  // compare and send only this part. The whole picture unless the caller
  // knows better.
  Rect changed{0, 0, kWholePicture, kWholePicture};
  static constexpr int kWholePicture = 1 << 30;
  // When partCount is above 0, the changed part more closely: every pixel
  // that may differ lies in one of these rectangles (all inside changed).
  // A window may then look only at them.
  const Rect* parts = nullptr;
  int partCount = 0;
};

// The changed part of a request, inside its picture; empty (width or height 0)
// when nothing changed.
Rect ChangedPart(const PresentRequest& request);

// The rectangles of a request's picture that may have changed, inside the
// picture and inside its changed part: its parts, or the changed part alone.
// Empty when nothing changed.
std::vector<Rect> ChangedParts(const PresentRequest& request);

// The smallest rectangle holding both; an empty rectangle adds nothing.
Rect UnionRect(const Rect& a, const Rect& b);

// Game controllers. Buttons are named by their place on the pad: the south
// button is the lowest of the four face buttons (A / cross), east the right one.
enum ControllerButton : uint32_t {
  kPadSouth = 1u << 0,
  kPadEast = 1u << 1,
  kPadWest = 1u << 2,
  kPadNorth = 1u << 3,
  kPadBack = 1u << 4,
  kPadGuide = 1u << 5,
  kPadStart = 1u << 6,
  kPadLeftStick = 1u << 7,
  kPadRightStick = 1u << 8,
  kPadLeftShoulder = 1u << 9,
  kPadRightShoulder = 1u << 10,
  kPadUp = 1u << 11,
  kPadDown = 1u << 12,
  kPadLeft = 1u << 13,
  kPadRight = 1u << 14,
};

// Sticks run from -32768 to 32767 (negative: left or up), triggers from 0
// (let go) to 32767 (pulled fully).
enum ControllerAxis : int {
  kAxisLeftX,
  kAxisLeftY,
  kAxisRightX,
  kAxisRightY,
  kAxisLeftTrigger,
  kAxisRightTrigger,
  kControllerAxes,
};

// Player slots for controllers; controllers beyond these are not read.
constexpr int kMaxControllers = 8;

struct ControllerState {
  bool connected = false;
  uint32_t buttons = 0;  // ControllerButton bits held
  std::array<int16_t, kControllerAxes> axes{};
};

// Receives interleaved 16-bit stereo samples at 44,100 Hz: frames * 2 values.
// Runs on the audio thread.
using AudioCallback = std::function<void(int16_t* stereo, int frames)>;

constexpr int kAudioRate = 44100;

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Clocks -------------------------------------------------------------
  // Milliseconds since an arbitrary start, wrapping after 2^32 ms.
  virtual uint32_t ElapsedMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  // High-resolution counter and its ticks per second.
  virtual uint64_t Counter() = 0;
  virtual uint64_t CounterFrequency() = 0;
  // Waits until Counter() has reached target: sleeps most of the way and
  // spins only for the last moment.
  virtual void WaitForCounter(uint64_t target) = 0;
  virtual LocalTime LocalNow() = 0;

  // Full path of the running program.
  virtual std::string ExecutablePath() = 0;

  // Modal message box. Returns the number of the pressed button (1 = OK).
  virtual int ShowMessageBox(const std::string& title, const std::string& text, int flags) = 0;

  // --- Native windows -----------------------------------------------------
  // Ids are positive; 0 means failure.
  virtual int WindowCreate(const WindowSpec& spec) = 0;
  virtual void WindowDestroy(int id) = 0;
  virtual bool WindowExists(int id) = 0;
  virtual void WindowSetTitle(int id, const std::string& title) = 0;
  virtual void WindowSetBounds(int id, const Rect& client) = 0;
  virtual Rect WindowBounds(int id) = 0;  // client area on the desktop
  virtual void WindowShow(int id, bool visible) = 0;
  virtual void WindowRaise(int id) = 0;
  // Desktop full screen (no mode change); the picture is letterboxed into it.
  virtual void WindowSetFullscreen(int id, bool fullscreen) = 0;
  // A frame (title bar, border) the user can resize and maximise by, or none.
  virtual void WindowSetFramed(int id, bool framed) = 0;
  virtual bool WindowFocused(int id) = 0;
  // Takes the next pending event of this window. Close requests come before
  // every other pending event, and mouse motion is coalesced, so a flood of
  // input never hides a close request.
  virtual bool WindowPollEvent(int id, WindowEvent* event) = 0;
  // As WindowPollEvent, but waits up to timeoutMs (negative: forever).
  virtual bool WindowWaitEvent(int id, WindowEvent* event, int timeoutMs) = 0;
  virtual void WindowPresent(int id, const PresentRequest& request) = 0;
  // True when presenting waits for the display's vertical blank.
  virtual bool PresentIsVsynced(int id) = 0;
  virtual Rect DesktopBounds() = 0;
  virtual int DisplayRefreshRate() = 0;  // Hz, 60 when unknown
  virtual float DisplayDpi() = 0;        // diagonal dots per inch, 96 when unknown
  virtual void CursorShow(bool visible) = 0;

  // --- Keyboard -------------------------------------------------------------
  // Fills 256 bytes indexed by set-1 scan code (0x80 added for extended keys),
  // 0x80 for a held key, 0 otherwise. Returns false, leaving keys untouched,
  // when none of the program's windows has the keyboard focus.
  virtual bool KeySnapshot(uint8_t keys[256]) = 0;

  // --- Game controllers -----------------------------------------------------
  // Fills kMaxControllers entries in player order. A controller takes the
  // first free slot when it is connected (at start-up or later) and keeps it
  // until it is pulled out; a free slot reads as not connected.
  virtual void ControllerSnapshot(ControllerState pads[kMaxControllers]) = 0;

  // --- Audio ----------------------------------------------------------------
  // Opens the one audio device (44,100 Hz, 16-bit stereo) and starts calling
  // back. False when there is no audio device; the program then runs silently.
  virtual bool AudioOpen(AudioCallback callback) = 0;
  virtual void AudioClose() = 0;
};

// The platform in use. Until one is chosen, the headless twin is used.
Platform& Current();

// Chooses the SDL2 platform. Returns false (and keeps the current one) when
// SDL2 cannot start at all.
bool UseSdl();

// UseSdl for a program's start: when SDL2 cannot start, or finds no display
// and falls back to its "offscreen" or "dummy" video driver without
// SDL_VIDEODRIVER asking for it, says so on standard error, naming the
// program, and returns false; the program then ends with exit code 1 rather
// than running unseen.
bool UseSdlOrReport(const std::string& program);

// True for a video driver that shows nothing ("offscreen", "dummy") that
// the SDL_VIDEODRIVER value `asked` (null when unset) did not name.
bool VideoDriverIsInvisible(const char* driver, const char* asked);

// How many times its size a window of width x height opens at on a desktop
// of the given bounds and dots per inch: 2 where twice the size fits with
// room to spare (a tenth of it on each side), or where the display has 144
// dpi or more and twice the size fits at all; else 1.
int WindowScaleFor(const Rect& desktop, float dpi, int width, int height);

// Windows-1252 bytes <-> UTF-8. Characters with no Windows-1252 byte are dropped.
std::string Cp1252ToUtf8(const std::string& text);
std::string Utf8ToCp1252(const std::string& text);

}  // namespace platform
