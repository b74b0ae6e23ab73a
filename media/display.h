#pragma once
// The one screen of the process: a back buffer in which every frame is
// composed, and ScreenFlip, which makes the composed frame visible and paces
// the frame loop. A screen is either full screen (a window of its own covering
// the desktop, the picture scaled to fit) or shown inside a window of the
// window library.

#include <cstdint>
#include <string>

// A rectangle of the screen, in pixels; empty when width or height is 0 or less.
struct ScreenArea {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The part of area inside a width x height screen; empty (all 0) when none is.
ScreenArea ScreenAreaClip(const ScreenArea& area, int32_t width, int32_t height);

// The smallest area holding both; an empty area adds nothing.
ScreenArea ScreenAreaCover(const ScreenArea& a, const ScreenArea& b);

// Creates the display state, the image table (numbers 0 to 49) and the
// display's own (hidden) window. Non-zero on success; 0 when the window cannot
// be created.
int32_t SpriteSystemInit();

// Opens a full screen of width x height pixels at depth bits per pixel (16 or
// 32; each argument is taken as a signed 16-bit value). Non-zero on success.
int32_t ScreenOpen(int32_t width, int32_t height, int32_t depth, const std::string& title);

// Opens a width x height screen shown at (x, y) of the client area of the
// given window (a window id of the platform). With stretch non-zero the
// picture is scaled to reach right and bottom pixels short of the client
// area's right and bottom edges. Non-zero on success; 0 for window 0 or a
// window that does not exist.
int32_t ScreenOpenInWindow(int32_t windowHandle, int32_t x, int32_t y, int32_t width,
                           int32_t height, int32_t stretch, int32_t right, int32_t bottom);

// Shows a screen opened in a window scaled to fill the window's client area,
// shape kept (bars where the shapes differ), instead of at its place in it;
// the window may then be resized and maximised. Until the screen closes. 1
// on success; 0 when no screen in a window is open.
int32_t ScreenFitToWindow();

// Switches an open screen to full screen (1) or to a window (0) at run time.
// The screen of ScreenOpen becomes a framed, resizable window of its size
// (times ScreenWindowScale) centred on the desktop, and covers the desktop
// again; a screen fitted into a window (ScreenFitToWindow) has that window
// cover the desktop and give it back. Images and the back buffer stay. 1 when
// done (also when it already was so); 0 with no screen or an unfitted one.
int32_t ScreenSetFullscreen(int32_t fullscreen);

// 1 while the open screen covers the desktop, else 0.
int32_t ScreenIsFullscreen();

// 1 once after the user asked to close the screen of ScreenOpen while it was
// shown as a window (the program then takes its way out), else 0.
int32_t ScreenCloseRequested();

// How many times its size a window of width x height opens at on this
// desktop: 2 where twice that fits with room to spare or the display has
// 144 dpi or more, else 1.
int32_t ScreenWindowScale(int32_t width, int32_t height);

// Presents the back buffer and paces the frame. 1 when a frame was presented.
int32_t ScreenFlip();

// Counts the ends of frames: every ScreenFlip and ScreenClose, and a fresh
// start of the display. What was drawn at count n is still in the back buffer
// at count n + 1 unless something drew over it in that frame; a drawing
// context on the screen taken at another count has ended, so that a frame
// presents even without DrawEnd.
uint64_t ScreenFrameCount();

// Fills the whole back buffer with the colour. 1 when something was filled.
int32_t ScreenClear(int32_t red, int32_t green, int32_t blue);

// Sets the frames per second used for pacing (0 = not set). 1 on success; 0
// (nothing changed) for a negative rate.
int32_t ScreenFrameRate(int32_t framesPerSecond);

// Presents at exactly hz frames per second from now on, full screen or
// windowed, on every display: where presenting waits for the vertical blank of
// a display running at hz, that is left to do the pacing; otherwise ScreenFlip
// paces itself to hz with a steady cadence, as it does for a full screen
// without vsync, and a stall is not made up by a burst of frames. Takes
// precedence over ScreenFrameRate; 0 goes back to the usual pacing. Lasts
// across screens. 1 on success; 0 (nothing changed) for a negative rate.
int32_t ScreenPresentRate(int32_t hz);

// Ends the screen: frees every image, gives the desktop back. 1 when a screen was open.
int32_t ScreenClose();

// Pixel value of a colour at the open screen's depth (0 with no screen).
uint32_t ScreenPixelValue(int32_t red, int32_t green, int32_t blue);

// Start-up and end hooks of the display library. The end hook closes the
// screen and releases the display's window.
void DisplayStartHook();
void DisplayEndHook();
