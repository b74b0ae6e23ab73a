#include "platform/controller_slots.h"

namespace platform {

int ControllerSlotOf(const ControllerSlots& slots, int device) {
  for (int i = 0; i < kMaxControllers; ++i) {
    const auto slot = static_cast<size_t>(i);
    if (slots.used[slot] && slots.device[slot] == device) return i;
  }
  return -1;
}

int ControllerSlotAttach(ControllerSlots& slots, int device) {
  int held = ControllerSlotOf(slots, device);
  if (held >= 0) return held;
  for (int i = 0; i < kMaxControllers; ++i) {
    const auto slot = static_cast<size_t>(i);
    if (slots.used[slot]) continue;
    slots.used[slot] = true;
    slots.device[slot] = device;
    return i;
  }
  return -1;
}

int ControllerSlotDetach(ControllerSlots& slots, int device) {
  int held = ControllerSlotOf(slots, device);
  if (held >= 0) slots.used[static_cast<size_t>(held)] = false;
  return held;
}

}  // namespace platform
