#include "runtime/window.h"

#include <gtest/gtest.h>

#include "platform/headless.h"
#include "platform/keymap.h"
#include "runtime/gadget.h"

namespace {

using platform::EventKind;
using platform::WindowEvent;

platform::HeadlessPlatform& Fresh() {
  auto& p = platform::UseHeadless();
  WindowInit();
  GadgetInit();
  return p;
}

WindowEvent Ev(EventKind kind) {
  WindowEvent e;
  e.kind = kind;
  return e;
}

TEST(WindowFlags, StyleRule) {
  EXPECT_EQ(WindowStyleFromFlags(0), 0x10C00000);           // visible, title bar
  EXPECT_EQ(WindowStyleFromFlags(0x10000000), 0x00C00000);  // hidden, title bar
  EXPECT_EQ(WindowStyleFromFlags(0x00000003), 0x10C00000);  // centring bits only
  EXPECT_EQ(WindowStyleFromFlags(0x00CC0001), 0x10CC0000);  // start window
  EXPECT_EQ(WindowStyleFromFlags(0x00C80002), 0x10C80000);  // game window
  EXPECT_EQ(WindowStyleFromFlags(0x10080000), 0x00080000);  // hidden, no title bar added

  auto& p = Fresh();
  int32_t shown = WindowOpen(1, 0, 0, 50, 40, 0, "a");
  int32_t hidden = WindowOpen(2, 0, 0, 50, 40, kWindowHidden, "b");
  int32_t sizable = WindowOpen(3, 0, 0, 50, 40, 0x00CC0001, "c");
  ASSERT_NE(shown, 0);
  ASSERT_NE(hidden, 0);
  ASSERT_NE(sizable, 0);
  EXPECT_TRUE(p.Window(shown)->visible);
  EXPECT_FALSE(p.Window(shown)->spec.resizable);
  EXPECT_FALSE(p.Window(hidden)->visible);
  EXPECT_EQ(WindowStyle(2), 0x00C00000);
  EXPECT_TRUE(p.Window(sizable)->spec.resizable);
  EXPECT_EQ(p.Window(sizable)->spec.title, "c");
  EXPECT_EQ(WindowClassName(3), "WindowClass_3");
  EXPECT_EQ(WindowClassName(4), "");
}

TEST(WindowPlacement, CentredOnTheScreenOrGivenPosition) {
  auto& p = Fresh();
  p.SetDesktop({0, 0, 1920, 1080});
  int32_t h = WindowOpen(0, 296, 130, 216, 123, kWindowCentre, "c");
  platform::Rect r = p.WindowBounds(h);
  EXPECT_EQ(r.x, 960 - 108);
  EXPECT_EQ(r.y, 540 - 61);
  EXPECT_EQ(r.width, 216);
  EXPECT_EQ(r.height, 123);

  // Larger than the screen: the left and top edges stay on it.
  p.SetDesktop({0, 0, 300, 200});
  h = WindowOpen(0, 5, 5, 401, 301, kWindowCentre, "big");
  EXPECT_EQ(p.WindowBounds(h).x, 0);
  EXPECT_EQ(p.WindowBounds(h).y, 0);

  h = WindowOpen(0, 296, 130, 216, 123, 0, "plain");
  EXPECT_EQ(p.WindowBounds(h).x, 296);
  EXPECT_EQ(p.WindowBounds(h).y, 130);
}

TEST(WindowPlacement, CentredOnTheActiveWindowClampedToZero) {
  auto& p = Fresh();
  p.SetDesktop({0, 0, 1024, 768});
  int32_t first = WindowOpen(0, 500, 400, 800, 600, 0, "big");
  int32_t h = WindowOpen(1, 0, 0, 200, 100, kWindowCentreOnActive, "mid");
  EXPECT_EQ(p.WindowBounds(h).x, 500 - 100 + 400);
  EXPECT_EQ(p.WindowBounds(h).y, 400 - 50 + 300);

  WindowEnd();
  first = WindowOpen(0, 10, 10, 100, 100, 0, "small");
  h = WindowOpen(1, 0, 0, 800, 600, kWindowCentreOnActive, "game");
  EXPECT_EQ(p.WindowBounds(h).x, 0);
  EXPECT_EQ(p.WindowBounds(h).y, 0);
  (void)first;

  // No active window: centred on the screen.
  WindowEnd();
  p.SetKeyboardFocus(false);
  WindowOpen(0, 10, 10, 100, 100, 0, "small");
  h = WindowOpen(1, 0, 0, 800, 600, kWindowCentreOnActive, "game");
  EXPECT_EQ(p.WindowBounds(h).x, 512 - 400);
  EXPECT_EQ(p.WindowBounds(h).y, 384 - 300);
}

TEST(WindowNumbers, ReopeningReplacesAndBadNumbersFail) {
  auto& p = Fresh();
  int32_t a = WindowOpen(0, 0, 0, 10, 10, 0, "a");
  int32_t b = WindowOpen(0, 0, 0, 10, 10, 0, "b");
  EXPECT_NE(a, b);
  EXPECT_FALSE(p.WindowExists(a));
  EXPECT_TRUE(p.WindowExists(b));
  EXPECT_EQ(WindowNumberHandle(0), b);
  EXPECT_EQ(WindowHandle(), b);

  // Numbers past the start-up table grow it.
  int32_t far = WindowOpen(45, 0, 0, 10, 10, 0, "far");
  EXPECT_NE(far, 0);
  EXPECT_EQ(WindowNumberHandle(45), far);
  EXPECT_EQ(WindowHandle(), far);
  EXPECT_EQ(WindowOpen(-1, 0, 0, 10, 10, 0, "neg"), 0);
  EXPECT_EQ(WindowOpen(kWindowNumberLimit + 1, 0, 0, 10, 10, 0, "huge"), 0);

  WindowEnd();
  EXPECT_FALSE(p.WindowExists(b));
  EXPECT_FALSE(p.WindowExists(far));
  EXPECT_EQ(WindowHandle(), 0);
  EXPECT_EQ(WindowPollEvent(), kEventNone);
  EXPECT_EQ(WindowWaitEvent(), kEventNone);  // nothing open: nothing can come
}

TEST(WindowEvents, CloseAskedLeavesTheWindowOpenAndComesFirst) {
  auto& p = Fresh();
  int32_t h = WindowOpen(0, 0, 0, 800, 600, 0x00C80002, "game");
  EXPECT_EQ(WindowPollEvent(), kEventNone);
  WindowEvent move = Ev(EventKind::MouseMove);
  for (int i = 0; i < 100; ++i) {
    move.x = i;
    p.InjectEvent(h, move);
  }
  p.InjectEvent(h, Ev(EventKind::Close));
  // A game polling once per frame sees the close box at its next frame.
  EXPECT_EQ(WindowPollEvent(), kEventClose);
  EXPECT_TRUE(p.WindowExists(h));
  EXPECT_EQ(WindowNumberHandle(0), h);
  EXPECT_EQ(WindowPollEvent(), kEventMouseMove);
}

TEST(WindowEvents, RawCodesAndSizeChange) {
  auto& p = Fresh();
  int32_t h = WindowOpen(0, 0, 0, 100, 100, 0, "w");
  WindowEvent key = Ev(EventKind::KeyDown);
  key.key = platform::kScanA;
  p.InjectEvent(h, key);
  WindowEvent down = Ev(EventKind::MouseDown);
  down.button = 1;
  p.InjectEvent(h, down);
  WindowEvent right = Ev(EventKind::MouseUp);
  right.button = 3;
  p.InjectEvent(h, right);
  WindowEvent size = Ev(EventKind::Resized);
  size.x = 300;
  size.y = 200;
  p.InjectEvent(h, size);
  WindowEvent tab = Ev(EventKind::KeyDown);
  tab.key = platform::kScanTab;
  p.InjectEvent(h, tab);
  EXPECT_EQ(WindowWaitEvent(), kEventKeyDown);
  EXPECT_EQ(WindowWaitEvent(), kEventLeftDown);
  EXPECT_EQ(WindowPollEvent(), kEventRightUp);
  EXPECT_EQ(WindowPollEvent(), kEventSize);
  // Tab in a window without gadgets moves no focus and is a plain key press.
  EXPECT_EQ(WindowPollEvent(), kEventKeyDown);
  EXPECT_EQ(WindowPollEvent(), kEventNone);
}

TEST(WindowEvents, EveryOpenWindowIsServed) {
  auto& p = Fresh();
  int32_t a = WindowOpen(0, 0, 0, 100, 100, 0, "a");
  int32_t b = WindowOpen(1, 0, 0, 100, 100, 0, "b");
  WindowEvent move = Ev(EventKind::MouseMove);
  for (int i = 0; i < 5; ++i) p.InjectEvent(a, move);
  p.InjectEvent(b, Ev(EventKind::Close));
  // The close of b is not stuck behind a's queue.
  bool sawClose = false;
  for (int i = 0; i < 2; ++i) sawClose |= WindowPollEvent() == kEventClose;
  EXPECT_TRUE(sawClose);
}

TEST(WindowDrawing, AWindowWithoutGadgetsPresentsNothing) {
  auto& p = Fresh();
  int32_t h = WindowOpen(0, 0, 0, 100, 100, 0, "game");
  p.InjectEvent(h, Ev(EventKind::Exposed));
  p.InjectEvent(h, Ev(EventKind::Resized));
  GadgetListCreate(h);
  EXPECT_EQ(WindowPollEvent(), kEventPaint);
  EXPECT_EQ(WindowPollEvent(), kEventSize);
  EXPECT_EQ(WindowPollEvent(), kEventNone);
  EXPECT_EQ(p.Window(h)->frame.sequence, 0u);
}

}  // namespace
