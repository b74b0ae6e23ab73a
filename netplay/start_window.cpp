#include "host/start_window.h"

#include "media/display.h"
#include "media/draw.h"
#include "media/keyboard.h"
#include "media/quad3d.h"
#include "media/sprites.h"
#include "runtime/frame.h"
#include "runtime/gadget.h"
#include "runtime/net.h"
#include "runtime/window.h"

int32_t StartWindowOpen() {
  if (WindowOpen(0, 296, 130, 216, 123, kStartWindowFlags, "Skirmora") == 0) return 0;
  const int32_t handle = WindowHandle();
  GadgetListCreate(handle);
  GadgetIPAddress(kStartAddressGadget, 10, 60, 195, 20);
  GadgetButton(kStartHostGadget, 10, 90, 65, 25, "Host");
  GadgetButton(kStartClientGadget, 140, 90, 65, 25, "Client");
  GadgetString(kStartNameGadget, 10, 20, 145, 20, "");
  GadgetText(kStartNameLabelGadget, 10, 5, 70, 15, "Name");
  GadgetText(kStartAddressLabelGadget, 15, 45, 35, 15, "IP");
  GadgetButton(kStartEndGadget, 165, 15, 40, 25, "Ende");
  GadgetSetText(kStartNameGadget, "Spieler");
  GadgetSetState(kStartAddressGadget, NetMakeAddress(127, 0, 0, 1));
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
  values.playerName = GadgetGetText(kStartNameGadget);
  return values;
}

int32_t StartWindowShow(StartWindowValues* values) {
  if (StartWindowOpen() == 0) return 0;
  if (StartWindowLoop() == 0) return 0;
  *values = StartWindowRead();
  return 1;
}

ProgramHooks NetworkProgramHooks() {
  ProgramHooks hooks;
  // Screen-text drawing, windows, gadgets, the image-file reader, the memory
  // heap and the random generator, in this order; then the libraries whose
  // state must start empty as well.
  hooks.start = {DrawStartHook,        WindowInit,           GadgetInit,       ImageReaderStartHook,
                 FrameMemoryStartHook, FrameRandomStartHook, DisplayStartHook, KeyboardStart};
  // 3D sprites, network, mouse, memory, keyboard, the screen with its text
  // drawing and images, and last the windows.
  hooks.end = {Quad3DEndHook, NetworkEnd,  MouseEnd,       FrameMemoryEndHook,
               KeyboardEnd,   DrawEndHook, DisplayEndHook, WindowEnd};
  return hooks;
}
