#pragma once
// Which player slot each connected game controller holds. Both platforms keep
// their controllers in one of these, so the headless twin hands out slots
// exactly as the real one does.

#include <array>

#include "platform/platform.h"

namespace platform {

struct ControllerSlots {
  std::array<bool, kMaxControllers> used{};
  std::array<int, kMaxControllers> device{};  // the platform's id of the controller in the slot
};

// Gives a controller the first free slot, or the one it holds already.
// -1 when every slot is taken.
int ControllerSlotAttach(ControllerSlots& slots, int device);

// Frees the controller's slot and returns its number; -1 when it held none.
int ControllerSlotDetach(ControllerSlots& slots, int device);

// The controller's slot, -1 when it holds none.
int ControllerSlotOf(const ControllerSlots& slots, int device);

}  // namespace platform
