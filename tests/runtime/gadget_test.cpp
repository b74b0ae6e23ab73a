#include "runtime/gadget.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/headless.h"
#include "platform/keymap.h"
#include "runtime/window.h"

namespace {

using platform::EventKind;
using platform::WindowEvent;

class Gadgets : public ::testing::Test {
 protected:
  void SetUp() override {
    p = &platform::UseHeadless();
    WindowInit();
    GadgetInit();
    window = WindowOpen(0, 0, 0, 216, 123, 0x00CC0001, "Test");
    ASSERT_NE(window, 0);
    EXPECT_EQ(GadgetListCreate(WindowHandle()), window);
  }

  // A layout with static texts between and after the tab stops.
  void Layout() {
    ASSERT_NE(GadgetText(10, 0, 0, 50, 15, "Label"), 0);
    ASSERT_NE(GadgetString(11, 10, 20, 145, 20, "abc"), 0);
    ASSERT_NE(GadgetText(12, 0, 45, 50, 15, "IP"), 0);
    ASSERT_NE(GadgetIPAddress(13, 10, 60, 195, 20), 0);
    ASSERT_NE(GadgetButton(14, 10, 90, 65, 25, "Go"), 0);
    ASSERT_NE(GadgetText(15, 100, 90, 50, 15, "tail"), 0);
  }

  int32_t Send(const WindowEvent& e) {
    p->InjectEvent(window, e);
    return WindowPollEvent();
  }
  int32_t Key(int key, int mods = 0) {
    WindowEvent e;
    e.kind = EventKind::KeyDown;
    e.key = key;
    e.mods = mods;
    return Send(e);
  }
  int32_t Type(const std::string& text) {
    WindowEvent e;
    e.kind = EventKind::Text;
    e.text = text;
    return Send(e);
  }
  int32_t Mouse(EventKind kind, int x, int y) {
    WindowEvent e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    e.button = 1;
    return Send(e);
  }

  platform::HeadlessPlatform* p = nullptr;
  int32_t window = 0;
};

TEST_F(Gadgets, TabSkipsStaticTextsAndWrapsBothWays) {
  Layout();
  EXPECT_EQ(GadgetFocus(window), -1);
  // Into a field: its focus notification is the event.
  EXPECT_EQ(Key(platform::kScanTab), kEventGadget);
  EXPECT_EQ(EventGadget(), 11);
  EXPECT_EQ(EventType(), kNotifyFocusGained);
  EXPECT_EQ(GadgetFocus(window), 11);
  Key(platform::kScanTab);
  EXPECT_EQ(GadgetFocus(window), 13);
  // Out of a field onto a button: the field's focus-lost notification.
  EXPECT_EQ(Key(platform::kScanTab), kEventGadget);
  EXPECT_EQ(EventGadget(), 13);
  EXPECT_EQ(EventType(), kNotifyFocusLost);
  EXPECT_EQ(GadgetFocus(window), 14);
  Key(platform::kScanTab);
  EXPECT_EQ(GadgetFocus(window), 11);  // wrapped past the trailing static text
  Key(platform::kScanTab, platform::kModShift);
  EXPECT_EQ(GadgetFocus(window), 14);  // backwards from the first: the last
  Key(platform::kScanTab, platform::kModShift);
  EXPECT_EQ(GadgetFocus(window), 13);
  // Ctrl+Tab is no accelerator.
  Key(platform::kScanTab, platform::kModCtrl);
  EXPECT_EQ(GadgetFocus(window), 13);
}

TEST_F(Gadgets, ShiftTabWithNothingFocusedTakesTheLast) {
  Layout();
  Key(platform::kScanTab, platform::kModShift);
  EXPECT_EQ(GadgetFocus(window), 14);
}

TEST_F(Gadgets, RecreatedGadgetMovesToTheEndOfTheTabOrder) {
  Layout();
  ASSERT_NE(GadgetString(11, 10, 20, 145, 20, "new"), 0);
  EXPECT_EQ(GadgetGetText(11), "new");
  Key(platform::kScanTab);
  EXPECT_EQ(GadgetFocus(window), 13);
  Key(platform::kScanTab, platform::kModShift);
  EXPECT_EQ(GadgetFocus(window), 11);
}

TEST_F(Gadgets, TypingEditsTheTextFieldWithChangeEvents) {
  Layout();
  Key(platform::kScanTab);  // focus 11 with its text selected
  EXPECT_EQ(Type("Zo"), kEventGadget);
  EXPECT_EQ(EventGadget(), 11);
  EXPECT_EQ(EventType(), kNotifyChanged);
  EXPECT_EQ(GadgetGetText(11), "Zo");  // typing replaced the selection
  Type("\xEB");                        // e with diaeresis, one byte
  EXPECT_EQ(GadgetGetText(11), "Zo\xEB");
  Key(platform::kScanHome);
  Key(platform::kScanRight);
  EXPECT_EQ(Key(platform::kScanDelete), kEventGadget);
  EXPECT_EQ(GadgetGetText(11), "Z\xEB");
  Key(platform::kScanEnd);
  Key(platform::kScanBackspace);
  EXPECT_EQ(GadgetGetText(11), "Z");
  Key(platform::kScanLeft);
  Type("A");
  EXPECT_EQ(GadgetGetText(11), "AZ");
  // Keys that change nothing give the raw key code, not a gadget event.
  Key(platform::kScanHome);
  EXPECT_EQ(Key(platform::kScanBackspace), kEventKeyDown);
  Key(platform::kScanEnd);
  EXPECT_EQ(Key(platform::kScanDelete), kEventKeyDown);
  // Control characters are not typed.
  EXPECT_EQ(Type("\t\x7F"), kEventChar);
  EXPECT_EQ(GadgetGetText(11), "AZ");
  // Shift+Home selects to the start; typing replaces it.
  Key(platform::kScanHome, platform::kModShift);
  Type("q");
  EXPECT_EQ(GadgetGetText(11), "q");
}

TEST_F(Gadgets, TextWithoutFocusGoesNowhere) {
  Layout();
  EXPECT_EQ(Type("x"), kEventChar);
  EXPECT_EQ(GadgetGetText(11), "abc");
}

TEST_F(Gadgets, SetTextAndLimits) {
  Layout();
  GadgetSetText(11, std::string("ab\0cd", 5));
  EXPECT_EQ(GadgetGetText(11), "ab");
  GadgetSetText(14, "Start");
  EXPECT_EQ(GadgetGetText(14), "Start");
  GadgetSetText(10, "Neu");
  EXPECT_EQ(GadgetGetText(10), "Neu");
  std::string longText(40000, 'x');
  GadgetSetText(11, longText);
  EXPECT_EQ(GadgetGetText(11).size(), static_cast<size_t>(kGadgetTextLimit));
  Mouse(EventKind::MouseDown, 150, 30);
  Mouse(EventKind::MouseUp, 150, 30);
  GadgetSetText(11, "");
  Type("12");
  EXPECT_EQ(GadgetGetText(11), "12");
  // Numbers without a gadget reach nothing.
  GadgetSetText(29, "x");
  GadgetSetState(29, 5);
  EXPECT_EQ(GadgetGetText(29), "");
  EXPECT_EQ(GadgetGetText(-3), "");
  EXPECT_EQ(GadgetGetState(29), 0);
}

TEST_F(Gadgets, LimitedFieldTakesOnlyAllowedBytesUpToItsLength) {
  Layout();
  EXPECT_EQ(GadgetStringLimit(11, 8, ":#"), 1);
  Key(platform::kScanTab);
  Key(platform::kScanEnd);
  EXPECT_EQ(Type("d:e#f"), kEventGadget);
  EXPECT_EQ(GadgetGetText(11), "abcdef");
  Key(platform::kScanHome);
  Type("123");  // only what fits, wherever the caret is
  EXPECT_EQ(GadgetGetText(11), "12abcdef");
  EXPECT_EQ(Type("x"), kEventChar);  // full: nothing changes
  Key(platform::kScanEnd, platform::kModShift);
  Type("XYZ");  // the selection makes room first
  EXPECT_EQ(GadgetGetText(11), "12XYZ");
  GadgetSetText(11, "a:b#c:defghijkl");
  EXPECT_EQ(GadgetGetText(11), "abcdefgh");
  // A new limit applies to the text already there; lengths are held in range.
  EXPECT_EQ(GadgetStringLimit(11, 4, "b"), 1);
  EXPECT_EQ(GadgetGetText(11), "acde");
  EXPECT_EQ(GadgetStringLimit(11, -5, ""), 1);
  EXPECT_EQ(GadgetGetText(11), "");
  EXPECT_EQ(GadgetStringLimit(11, 1 << 30, ""), 1);
  Type(std::string(kGadgetTypingLimit - 1, 'y'));
  Key(platform::kScanHome);
  Type("ab");  // room for one byte only
  EXPECT_EQ(GadgetGetText(11).substr(0, 3), "ayy");
  // Only text fields have limits.
  EXPECT_EQ(GadgetStringLimit(13, 4, ""), 0);
  EXPECT_EQ(GadgetStringLimit(14, 4, ""), 0);
  EXPECT_EQ(GadgetStringLimit(29, 4, ""), 0);
}

TEST_F(Gadgets, IpFieldValueAndText) {
  Layout();
  EXPECT_EQ(GadgetGetText(13), "0.0.0.0");  // blank parts read as 0
  const int32_t loopback = 127 | 0 << 8 | 0 << 16 | 1 << 24;
  GadgetSetState(13, loopback);
  EXPECT_EQ(GadgetGetText(13), "127.0.0.1");
  EXPECT_EQ(GadgetGetState(13), loopback);
  GadgetSetText(13, "10.0.0.2");  // only the empty text does anything
  EXPECT_EQ(GadgetGetText(13), "127.0.0.1");
  GadgetSetText(13, "");
  EXPECT_EQ(GadgetGetText(13), "0.0.0.0");
  EXPECT_EQ(GadgetGetState(13), 0);
  GadgetSetState(13, static_cast<int32_t>(0xFFFEFDFCu));
  EXPECT_EQ(GadgetGetText(13), "252.253.254.255");
}

TEST_F(Gadgets, IpFieldTyping) {
  Layout();
  GadgetSetState(13, 127 | 1 << 24);
  Key(platform::kScanTab);
  Key(platform::kScanTab);  // the IP field, first part selected
  ASSERT_EQ(GadgetFocus(window), 13);
  EXPECT_EQ(Type("192"), kEventGadget);  // three digits move on to the next part
  EXPECT_EQ(EventGadget(), 13);
  EXPECT_EQ(EventType(), kNotifyChanged);
  Type("168.5.");
  Type("20");
  EXPECT_EQ(GadgetGetText(13), "192.168.5.20");
  // A dot in an empty part does not move on; other characters are ignored.
  GadgetSetText(13, "");
  Key(platform::kScanHome);
  Type(".x7");
  EXPECT_EQ(GadgetGetText(13), "7.0.0.0");
  // Values above 255 are held at 255.
  Key(platform::kScanHome);
  Key(platform::kScanDelete);
  Type("300");
  EXPECT_EQ(GadgetGetText(13), "255.0.0.0");
  // Backspace at the start of a part steps back into the previous one.
  Type("1.");
  EXPECT_EQ(GadgetGetText(13), "255.1.0.0");
  Key(platform::kScanBackspace);  // empty part 2: back to the end of part 1
  Key(platform::kScanBackspace);
  EXPECT_EQ(GadgetGetText(13), "255.0.0.0");
  Key(platform::kScanEnd);
  Type("9");
  EXPECT_EQ(GadgetGetText(13), "255.0.0.9");
  Type("99");  // "999" is held at 255 and stays in the last part
  EXPECT_EQ(GadgetGetText(13), "255.0.0.255");
}

TEST_F(Gadgets, ButtonClicksByMouseAndKeys) {
  Layout();
  // Press and release inside: a click.
  Mouse(EventKind::MouseDown, 20, 100);
  EXPECT_EQ(GadgetFocus(window), 14);
  EXPECT_EQ(Mouse(EventKind::MouseUp, 21, 101), kEventGadget);
  EXPECT_EQ(EventGadget(), 14);
  EXPECT_EQ(EventType(), kNotifyClicked);
  // Released outside: no click.
  Mouse(EventKind::MouseDown, 20, 100);
  Mouse(EventKind::MouseMove, 200, 5);
  EXPECT_EQ(Mouse(EventKind::MouseUp, 200, 5), kEventLeftUp);
  // Pressed outside, released on the button: no click either.
  Mouse(EventKind::MouseDown, 200, 5);
  EXPECT_EQ(Mouse(EventKind::MouseUp, 20, 100), kEventLeftUp);
  // Space (on release) and Return click the focused button.
  EXPECT_EQ(Key(platform::kScanSpace), kEventKeyDown);
  WindowEvent up;
  up.kind = EventKind::KeyUp;
  up.key = platform::kScanSpace;
  EXPECT_EQ(Send(up), kEventGadget);
  EXPECT_EQ(EventGadget(), 14);
  EXPECT_EQ(Key(platform::kScanReturn), kEventGadget);
  // Clicking a static text does nothing.
  EXPECT_EQ(Mouse(EventKind::MouseDown, 5, 5), kEventLeftDown);
  EXPECT_EQ(GadgetFocus(window), 14);
}

TEST_F(Gadgets, ClickingAFieldFocusesItAndPlacesTheCaret) {
  Layout();
  EXPECT_EQ(Mouse(EventKind::MouseDown, 150, 30), kEventGadget);
  EXPECT_EQ(EventGadget(), 11);
  EXPECT_EQ(EventType(), kNotifyFocusGained);
  Mouse(EventKind::MouseUp, 150, 30);
  Type("d");  // caret after the last character, nothing selected
  EXPECT_EQ(GadgetGetText(11), "abcd");
  Mouse(EventKind::MouseDown, 11, 30);
  Mouse(EventKind::MouseUp, 11, 30);
  Type("_");
  EXPECT_EQ(GadgetGetText(11), "_abcd");
}

TEST_F(Gadgets, DrawnAndPresentedAfterChangesAndExposure) {
  Layout();
  GadgetSetText(11, "Spieler");
  EXPECT_EQ(WindowPollEvent(), kEventNone);
  const platform::CapturedFrame& f = p->Window(window)->frame;
  ASSERT_EQ(f.width, 216);
  ASSERT_EQ(f.height, 123);
  EXPECT_FALSE(f.fitToWindow);
  auto pixel = [&](int x, int y) {
    const uint8_t* px = f.pixels.data() + (static_cast<size_t>(y) * 216 + x) * 4;
    return static_cast<uint32_t>(px[0] | px[1] << 8 | px[2] << 16);
  };
  const uint32_t face = pixel(210, 5);
  EXPECT_EQ(pixel(140, 35), 0xFFFFFFu);  // inside the text field, right of its text
  EXPECT_NE(pixel(40, 100), face);       // button face
  std::set<uint32_t> label;
  for (int x = 12; x < 60; ++x) label.insert(pixel(x, 30));
  EXPECT_GT(label.size(), 2u);  // the name is drawn
  const uint64_t shown = f.sequence;
  EXPECT_EQ(WindowPollEvent(), kEventNone);
  EXPECT_EQ(f.sequence, shown);  // nothing changed, nothing presented
  WindowEvent expose;
  expose.kind = EventKind::Exposed;
  EXPECT_EQ(Send(expose), kEventPaint);
  EXPECT_GT(f.sequence, shown);
  // Hovering the button changes its look.
  std::vector<uint8_t> before = f.pixels;
  Mouse(EventKind::MouseMove, 40, 100);
  EXPECT_NE(f.pixels, before);
}

TEST_F(Gadgets, LongTextScrollsToKeepTheCaretInView) {
  Layout();
  GadgetSetText(11, std::string(400, ' ') + "WW|");
  Mouse(EventKind::MouseDown, 20, 30);
  Mouse(EventKind::MouseUp, 20, 30);
  Key(platform::kScanEnd);
  const platform::CapturedFrame& f = p->Window(window)->frame;
  // Dark pixels in a column of the field: the text or the caret is there.
  auto inked = [&](int x) {
    int dark = 0;
    for (int y = 22; y < 38; ++y) {
      const uint8_t* px = f.pixels.data() + (static_cast<size_t>(y) * 216 + x) * 4;
      if (px[0] < 128 && px[1] < 128 && px[2] < 128) ++dark;
    }
    return dark;
  };
  int rightEdge = 0;
  for (int x = 140; x < 152; ++x) rightEdge += inked(x);
  EXPECT_GT(rightEdge, 8);  // the end of the text, with the caret, is in view
  Type("!");
  EXPECT_EQ(GadgetGetText(11).substr(399), " WW|!");
  Key(platform::kScanHome);
  rightEdge = 0;
  for (int x = 140; x < 152; ++x) rightEdge += inked(x);
  EXPECT_EQ(rightEdge, 0);  // back at the blank start
  int caret = 0;
  for (int x = 11; x < 16; ++x) caret += inked(x);
  EXPECT_GT(caret, 8);
}

TEST_F(Gadgets, ReopeningTheWindowTakesItsGadgets) {
  Layout();
  int32_t again = WindowOpen(0, 0, 0, 216, 123, 0, "again");
  EXPECT_EQ(GadgetGetText(11), "");
  EXPECT_EQ(GadgetGetText(13), "");
  EXPECT_EQ(GadgetFocus(again), -1);
  // Gadgets need the new window as their parent first.
  EXPECT_EQ(GadgetButton(1, 0, 0, 10, 10, "x"), 0);
  GadgetListCreate(again);
  EXPECT_NE(GadgetButton(1, 0, 0, 10, 10, "x"), 0);
}

TEST_F(Gadgets, BadNumbersCreateNothing) {
  EXPECT_EQ(GadgetButton(-1, 0, 0, 10, 10, "x"), 0);
  EXPECT_EQ(GadgetString(kGadgetNumberLimit + 1, 0, 0, 10, 10, "x"), 0);
  int32_t far = GadgetText(100, 0, 0, 10, 10, "far");  // the table grows
  EXPECT_NE(far, 0);
  EXPECT_EQ(GadgetGetText(100), "far");
  EXPECT_EQ(GadgetListCreate(0), 0);
  EXPECT_EQ(GadgetButton(1, 0, 0, 10, 10, "x"), 0);
}

}  // namespace
