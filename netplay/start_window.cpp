#include "netplay/start_window.h"

#include <string_view>

#include "media/display.h"
#include "runtime/gadget.h"
#include "runtime/net.h"
#include "runtime/window.h"

bool ParseDottedAddress(const std::string& text, int32_t* value) {
  int32_t fields[4] = {0, 0, 0, 0};
  size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != '.') return false;
      ++at;
    }
    size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
      fields[i] = fields[i] * 10 + (text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || digits > 3 || fields[i] > 255) return false;
  }
  if (at != text.size()) return false;
  *value = NetMakeAddress(fields[0], fields[1], fields[2], fields[3]);
  return true;
}

int32_t StartWindowOpen(const std::string& address) {
  // Twice the size on a large desktop, where 216 x 123 would be hard to read.
  const int32_t scale = ScreenWindowScale(800, 600);
  if (WindowOpenScaled(0, 296, 130, 216, 123, kStartWindowFlags, "Skirmora", scale) == 0) return 0;
  const int32_t handle = WindowHandle();
  GadgetListCreate(handle);
  GadgetIPAddress(kStartAddressGadget, 10, 60, 195, 20);
  GadgetButton(kStartHostGadget, 10, 90, 65, 25, "Host");
  GadgetButton(kStartClientGadget, 140, 90, 65, 25, "Client");
  GadgetString(kStartNameGadget, 10, 20, 145, 20, "");
  GadgetText(kStartNameLabelGadget, 10, 5, 70, 15, "Name");
  GadgetText(kStartAddressLabelGadget, 15, 45, 35, 15, "IP");
  GadgetButton(kStartEndGadget, 165, 15, 40, 25, "Ende");
  GadgetStringLimit(kStartNameGadget, kPlayerNameLimit, kPlayerNameRefused);
  GadgetSetText(kStartNameGadget, "Spieler");
  int32_t shown = NetMakeAddress(127, 0, 0, 1);
  ParseDottedAddress(address, &shown);
  GadgetSetState(kStartAddressGadget, shown);
  return handle;
}

int32_t StartWindowLoop() {
  for (;;) {
    const int32_t event = WindowWaitEvent();
    if (event == kEventNone) return 0;  // no window left to wait on
    if (event != kEventGadget) continue;
    // The fields notify on focus and typing too; only the buttons count.
    const int32_t gadget = EventGadget();
    if (gadget == kStartHostGadget || gadget == kStartClientGadget) return 1;
    if (gadget == kStartEndGadget) return 0;
  }
}

StartWindowValues StartWindowRead() {
  StartWindowValues values;
  values.addressText = GadgetGetText(kStartAddressGadget);
  values.playerName = CleanPlayerName(GadgetGetText(kStartNameGadget));
  return values;
}

std::string CleanPlayerName(const std::string& name) {
  std::string clean;
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127 || std::string_view(kPlayerNameRefused).find(c) != std::string::npos) {
      continue;
    }
    if (clean.size() == static_cast<size_t>(kPlayerNameLimit)) break;
    clean.push_back(c);
  }
  return clean;
}

int32_t StartWindowShow(StartWindowValues* values) {
  if (StartWindowOpen(values->addressText) == 0) return 0;
  if (StartWindowLoop() == 0) return 0;
  *values = StartWindowRead();
  return 1;
}
