#include "netplay/start_window.h"

#include <gtest/gtest.h>

#include "platform/headless.h"
#include "platform/keymap.h"
#include "runtime/gadget.h"
#include "runtime/window.h"

namespace {

using platform::EventKind;
using platform::WindowEvent;

class StartWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    p = &platform::UseHeadless();
    p->SetDesktop({0, 0, 1024, 768});
    WindowInit();
    GadgetInit();
  }

  void Inject(EventKind kind, int x = 0, int y = 0, int key = 0, const std::string& text = "",
              int mods = 0) {
    WindowEvent e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    e.button = 1;
    e.key = key;
    e.text = text;
    e.mods = mods;
    p->InjectEvent(handle, e);
  }
  void Click(int x, int y) {
    Inject(EventKind::MouseDown, x, y);
    Inject(EventKind::MouseUp, x, y);
  }

  platform::HeadlessPlatform* p = nullptr;
  int32_t handle = 0;
};

TEST_F(StartWindow, OpensCentredWithItsGadgetsAndDefaults) {
  handle = StartWindowOpen();
  ASSERT_NE(handle, 0);
  EXPECT_EQ(handle, WindowNumberHandle(0));
  const platform::HeadlessWindow* w = p->Window(handle);
  EXPECT_EQ(w->spec.title, "Skirmora");
  EXPECT_TRUE(w->visible);
  EXPECT_TRUE(w->spec.resizable);
  EXPECT_EQ(w->bounds.x, 512 - 108);
  EXPECT_EQ(w->bounds.y, 384 - 61);
  EXPECT_EQ(w->bounds.width, 216);
  EXPECT_EQ(w->bounds.height, 123);
  EXPECT_EQ(GadgetGetText(kStartAddressGadget), "127.0.0.1");
  EXPECT_EQ(GadgetGetText(kStartNameGadget), "Spieler");
  EXPECT_EQ(GadgetGetText(kStartHostGadget), "Host");
  EXPECT_EQ(GadgetGetText(kStartClientGadget), "Client");
  EXPECT_EQ(GadgetGetText(kStartEndGadget), "Ende");
  EXPECT_EQ(GadgetGetText(kStartNameLabelGadget), "Name");
  EXPECT_EQ(GadgetGetText(kStartAddressLabelGadget), "IP");
}

// On a 4K desktop the window opens at twice its size: its gadgets are drawn
// at their own size and scaled up, and clicks land where they are seen.
TEST_F(StartWindow, OnALargeDesktopItOpensTwiceAsLargeAndClicksStillHit) {
  p->SetDesktop({0, 0, 3840, 2160});
  handle = StartWindowOpen();
  ASSERT_NE(handle, 0);
  const platform::HeadlessWindow* w = p->Window(handle);
  EXPECT_EQ(w->bounds.width, 432);
  EXPECT_EQ(w->bounds.height, 246);
  EXPECT_EQ(w->bounds.x, 1920 - 216);
  WindowPollEvent();
  EXPECT_EQ(w->frame.width, 216);
  EXPECT_EQ(w->frame.height, 123);
  EXPECT_TRUE(w->frame.fitToWindow);
  Click(2 * 150, 2 * 100);  // Client, as seen
  EXPECT_EQ(StartWindowLoop(), 1);
  Click(2 * 20, 2 * 30);  // the name field
  Inject(EventKind::KeyDown, 0, 0, platform::kScanEnd);
  Inject(EventKind::Text, 0, 0, 0, "X");
  Click(150, 100);         // (75, 50) of the window: between the fields, no button
  Click(2 * 170, 2 * 25);  // Ende
  EXPECT_EQ(StartWindowLoop(), 0);
  EXPECT_EQ(GadgetGetText(kStartNameGadget), "SpielerX");
}

TEST_F(StartWindow, ShowsTheGivenAddressAndAClickedPartIsReplacedByTyping) {
  handle = StartWindowOpen("not an address");
  EXPECT_EQ(GadgetGetText(kStartAddressGadget), "127.0.0.1");
  handle = StartWindowOpen("10.1.2.3");
  EXPECT_EQ(GadgetGetText(kStartAddressGadget), "10.1.2.3");
  // A click into the first part selects it: typing a whole address replaces
  // every part in turn.
  handle = StartWindowOpen();
  const auto type = [&](int x, const std::string& text) {
    Click(x, 70);
    Inject(EventKind::Text, 0, 0, 0, text);
    while (WindowPollEvent() != kEventNone) {
    }
  };
  type(20, "192.168.1.20");
  EXPECT_EQ(GadgetGetText(kStartAddressGadget), "192.168.1.20");
  // A click into the third part replaces only that one; one into an empty
  // part types there.
  type(20 + 2 * 48, "7");
  EXPECT_EQ(GadgetGetText(kStartAddressGadget), "192.168.7.20");
  // A digit after a full part goes on into the next one instead of being lost.
  Click(20, 70);
  Inject(EventKind::KeyDown, 0, 0, platform::kScanRight);  // the caret after "192"
  Inject(EventKind::Text, 0, 0, 0, "5");
  while (WindowPollEvent() != kEventNone) {
  }
  EXPECT_EQ(GadgetGetText(kStartAddressGadget), "192.5.7.20");
  GadgetSetText(kStartAddressGadget, "");
  type(20 + 3 * 48, "5");
  EXPECT_EQ(GadgetGetText(kStartAddressGadget), "0.0.0.5");
}

TEST(DottedAddress, OnlyFourFieldsOfAtMost255) {
  int32_t value = 0;
  EXPECT_TRUE(ParseDottedAddress("127.0.0.1", &value));
  EXPECT_EQ(value, 127 + (1 << 24));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d",
                          "0001.2.3.4", "-1.2.3.4"}) {
    EXPECT_FALSE(ParseDottedAddress(bad, &value)) << bad;
  }
}

TEST_F(StartWindow, TabVisitsTheFieldsAndButtonsInCreationOrder) {
  handle = StartWindowOpen();
  const int32_t expected[] = {0, 1, 2, 3, 6, 0};
  for (int32_t g : expected) {
    Inject(EventKind::KeyDown, 0, 0, platform::kScanTab);
    WindowPollEvent();
    EXPECT_EQ(GadgetFocus(handle), g);
  }
  const int32_t backwards[] = {6, 3, 2};
  for (int32_t g : backwards) {
    Inject(EventKind::KeyDown, 0, 0, platform::kScanTab, "", platform::kModShift);
    WindowPollEvent();
    EXPECT_EQ(GadgetFocus(handle), g);
  }
}

TEST_F(StartWindow, CloseBoxAndTypingDoNotEndItHostDoes) {
  handle = StartWindowOpen();
  Inject(EventKind::Close);
  Click(20, 30);  // into the name field, after "Spieler"
  Inject(EventKind::KeyDown, 0, 0, platform::kScanEnd);
  for (int i = 0; i < 7; ++i) Inject(EventKind::KeyDown, 0, 0, platform::kScanBackspace);
  Inject(EventKind::Text, 0, 0, 0, "J\xFCrgen");
  Click(20, 70);  // the address field, first part
  Inject(EventKind::KeyDown, 0, 0, platform::kScanHome);
  for (int i = 0; i < 3; ++i) Inject(EventKind::KeyDown, 0, 0, platform::kScanDelete);
  Inject(EventKind::Text, 0, 0, 0, "10");
  Click(40, 100);  // Host
  Click(170, 25);  // Ende, never reached
  EXPECT_EQ(StartWindowLoop(), 1);
  EXPECT_TRUE(p->WindowExists(handle));
  StartWindowValues v = StartWindowRead();
  EXPECT_EQ(v.playerName, "J\xFCrgen");
  EXPECT_EQ(v.addressText, "10.0.0.1");
}

TEST_F(StartWindow, ClientAlsoLeadsOnEndeTakesTheExitPath) {
  handle = StartWindowOpen();
  Click(150, 100);  // Client
  EXPECT_EQ(StartWindowLoop(), 1);
  Click(170, 25);  // Ende
  EXPECT_EQ(StartWindowLoop(), 0);
  // A cleared address reads as four zero parts.
  GadgetSetText(kStartAddressGadget, "");
  EXPECT_EQ(StartWindowRead().addressText, "0.0.0.0");
}

TEST_F(StartWindow, TypingIntoTheNameGivesItsGadgetEvents) {
  handle = StartWindowOpen();
  Click(150, 30);
  EXPECT_EQ(WindowPollEvent(), kEventGadget);  // focus into the name field
  EXPECT_EQ(EventGadget(), kStartNameGadget);
  EXPECT_EQ(WindowPollEvent(), kEventLeftUp);
  Inject(EventKind::Text, 0, 0, 0, "2");
  EXPECT_EQ(WindowPollEvent(), kEventGadget);
  EXPECT_EQ(EventGadget(), kStartNameGadget);
  EXPECT_EQ(EventType(), kNotifyChanged);
  Click(40, 100);
  EXPECT_EQ(StartWindowLoop(), 1);
  StartWindowValues v = StartWindowRead();
  EXPECT_EQ(v.playerName, "Spieler2");
  EXPECT_EQ(v.addressText, "127.0.0.1");
}

TEST_F(StartWindow, NameFieldRefusesMessageBytesAndHoldsThirtyTwo) {
  handle = StartWindowOpen();
  Click(20, 30);
  Inject(EventKind::KeyDown, 0, 0, platform::kScanEnd);
  Inject(EventKind::Text, 0, 0, 0,
         " A:n#n\x01"
         "a");
  Inject(EventKind::Text, 0, 0, 0, std::string(40, 'x'));
  Click(40, 100);
  EXPECT_EQ(StartWindowLoop(), 1);
  EXPECT_EQ(StartWindowRead().playerName, "Spieler Anna" + std::string(20, 'x'));
  // Whatever the field holds, the name read from it is clean.
  EXPECT_EQ(CleanPlayerName("a:b#c\td\x7F" + std::string(40, 'e')), "abcd" + std::string(28, 'e'));
}

}  // namespace
