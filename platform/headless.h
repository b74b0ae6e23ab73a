#pragma once
// The headless twin of the platform: no display, no sound card, no real time.
// Tests drive it: they advance the virtual clock, set the keys, inject window
// events, pull audio and read back every presented frame and message box.

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/controller_slots.h"
#include "platform/platform.h"

namespace platform {

struct RecordedMessageBox {
  std::string title;
  std::string text;
  int flags = 0;
};

// The last picture presented into a window, as it would appear.
struct CapturedFrame {
  int width = 0;
  int height = 0;
  PixelLayout layout = PixelLayout::Xrgb8888;
  bool fitToWindow = false;
  int destX = 0;
  int destY = 0;
  std::vector<uint8_t> pixels;  // width * bytes-per-pixel per row, no padding
  Rect changed;                 // holds every part the last present copied
  uint64_t sequence = 0;        // counts presents in this window, from 1
  uint64_t presentedAt = 0;     // the counter when it was presented
};

struct HeadlessWindow {
  WindowSpec spec;
  Rect bounds;
  bool visible = true;
  bool fullscreen = false;
  std::deque<WindowEvent> events;
  int pendingCloses = 0;
  CapturedFrame frame;
};

class HeadlessPlatform : public Platform {
 public:
  HeadlessPlatform();

  // Test controls.
  void AdvanceMs(uint32_t ms);
  void AdvanceMicroseconds(uint64_t us);
  uint64_t NowMicroseconds() const { return micros_; }
  void SetKey(int scanCode, bool down);
  void SetKeys(const std::array<uint8_t, 256>& keys);
  void ReleaseAllKeys();
  void SetKeyboardFocus(bool focused) { keyboardFocus_ = focused; }
  void SetExecutablePath(const std::string& path) { executablePath_ = path; }
  void SetMessageBoxAnswer(int answer) { messageBoxAnswer_ = answer; }
  void SetAudioAvailable(bool available) { audioAvailable_ = available; }
  void SetDesktop(const Rect& desktop) { desktop_ = desktop; }
  // The display's refresh rate in Hz (60 unless set).
  void SetRefreshRate(int hz) { refreshRate_ = hz; }
  void SetDpi(float dpi) { dpi_ = dpi; }
  // With vsync on, every present waits for the display's next vertical blank:
  // the virtual clock moves on to it. Vertical blanks fall at whole multiples
  // of the refresh interval from the clock's zero.
  void SetVsync(bool vsync) { vsync_ = vsync; }
  // Makes every later WindowCreate fail, as on a machine without a display.
  void SetWindowCreationFails(bool fails) { windowCreationFails_ = fails; }
  void InjectEvent(int id, const WindowEvent& event);
  // Connects a new game controller (buttons let go, sticks centred, triggers
  // let go) and returns its id. It takes the first free player slot; with
  // every slot taken it is never read.
  int ControllerPlugIn();
  void ControllerPullOut(int device);
  void ControllerSetButton(int device, uint32_t button, bool down);
  void ControllerSetAxis(int device, int axis, int16_t value);
  // Runs the audio callback for the given number of frames, as the sound card would.
  std::vector<int16_t> PullAudio(int frames);
  bool AudioIsOpen() const { return static_cast<bool>(audio_); }

  const std::vector<RecordedMessageBox>& MessageBoxes() const { return messageBoxes_; }
  const HeadlessWindow* Window(int id) const;
  const std::map<int, HeadlessWindow>& Windows() const { return windows_; }
  uint64_t PresentCount() const { return presents_; }
  uint64_t SleptMs() const { return sleptMs_; }

  // Platform.
  uint32_t ElapsedMs() override;
  void SleepMs(uint32_t ms) override;
  uint64_t Counter() override;
  uint64_t CounterFrequency() override;
  void WaitForCounter(uint64_t target) override;
  LocalTime LocalNow() override;
  std::string ExecutablePath() override;
  int ShowMessageBox(const std::string& title, const std::string& text, int flags) override;
  int WindowCreate(const WindowSpec& spec) override;
  void WindowDestroy(int id) override;
  bool WindowExists(int id) override;
  void WindowSetTitle(int id, const std::string& title) override;
  void WindowSetBounds(int id, const Rect& client) override;
  Rect WindowBounds(int id) override;
  void WindowShow(int id, bool visible) override;
  void WindowRaise(int id) override;
  void WindowSetFullscreen(int id, bool fullscreen) override;
  void WindowSetFramed(int id, bool framed) override;
  bool WindowFocused(int id) override;
  bool WindowPollEvent(int id, WindowEvent* event) override;
  bool WindowWaitEvent(int id, WindowEvent* event, int timeoutMs) override;
  void WindowPresent(int id, const PresentRequest& request) override;
  bool PresentIsVsynced(int id) override;
  Rect DesktopBounds() override;
  int DisplayRefreshRate() override;
  float DisplayDpi() override;
  void CursorShow(bool visible) override;
  bool KeySnapshot(uint8_t keys[256]) override;
  void ControllerSnapshot(ControllerState pads[kMaxControllers]) override;
  bool AudioOpen(AudioCallback callback) override;
  void AudioClose() override;

 private:
  uint64_t micros_;
  uint64_t sleptMs_ = 0;
  uint64_t presents_ = 0;
  std::array<uint8_t, 256> keys_{};
  bool keyboardFocus_ = true;
  std::string executablePath_;
  int messageBoxAnswer_ = 1;
  bool audioAvailable_ = true;
  bool windowCreationFails_ = false;
  Rect desktop_{0, 0, 1920, 1080};
  int refreshRate_ = 60;
  float dpi_ = 96.0f;
  bool vsync_ = false;
  std::vector<RecordedMessageBox> messageBoxes_;
  std::map<int, HeadlessWindow> windows_;
  ControllerSlots padSlots_;
  std::map<int, ControllerState> pads_;  // connected controllers by id
  int nextPadId_ = 1;
  int nextWindowId_ = 1;
  AudioCallback audio_;
};

// Makes a fresh headless twin the current platform and returns it.
HeadlessPlatform& UseHeadless();

}  // namespace platform
