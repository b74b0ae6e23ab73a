#pragma once
// How a window's pictures reach the screen, and what of a picture changed.
// The choice between an accelerated renderer and the window surface is made
// once per process from what the machine offers; it is a pure function here
// so that every case can be tested without a display. FrameMemory finds the
// rows of a picture that differ from the one shown before, so that an
// unchanged picture is neither converted nor sent again.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sharp_scale.h"

namespace platform {

enum class PresentPath {
  Renderer,       // SDL's renderer on a GPU: texture upload, scaling, vsync
  WindowSurface,  // the window's own pixels (shared memory on X11), one copy
};

// What was found out about the renderer SDL would pick.
struct RendererProbe {
  bool created = false;      // an accelerated renderer could be made at all
  std::string name;          // SDL's name for it ("opengl", "software", ...)
  bool accelerated = false;  // SDL reports it as hardware accelerated
  std::string glRenderer;    // the OpenGL renderer string, for OpenGL ones
  std::string error;         // why it could not be made
};

struct PresentChoice {
  PresentPath path = PresentPath::WindowSurface;
  std::string reason;  // in plain words, for the debug report
};

// True for the OpenGL renderer strings of software rasterisers.
bool IsSoftwareGl(const std::string& glRenderer);

// The path for this machine. forced is the SKIRMORA_PRESENT setting:
// "renderer" or "surface" override the choice, anything else is ignored.
PresentChoice ChoosePresentPath(const std::string& forced, const RendererProbe& probe);

// Remembers the last picture given to it.
class FrameMemory {
 public:
  // Compares the picture with the remembered one, remembers the new one and
  // returns the rows that differ: every row when the size or the row length
  // differs, or when nothing is remembered. Rows outside within are known to
  // be the same and are not looked at.
  RowSpan Update(const void* pixels, int width, int height, int pitch, int bytesPerPixel,
                 RowSpan within = {0, 1 << 30});
  // The same in tiles of tileWidth x tileHeight pixels from the picture's
  // top-left corner, looking only at the tiles that meet within: remembers
  // the tiles that differ and returns them as rectangles of the picture,
  // neighbours in a row of tiles joined. Every tile when the size or the row
  // length differs, or when nothing is remembered.
  std::vector<Rect> UpdateTiles(const void* pixels, int width, int height, int pitch,
                                int bytesPerPixel, const Rect& within, int tileWidth,
                                int tileHeight);
  // Makes the next Update or UpdateTiles report everything.
  void Forget() { width_ = 0; }

 private:
  int width_ = 0;
  int height_ = 0;
  int rowBytes_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace platform
