#pragma once
// 3D sprites: textured quads drawn into the back buffer. A 3D sprite takes its
// pixels from a texture-mode image (mode 4) and can be turned about its
// centre, resized or given four free corners; it is drawn in batches between
// Quad3DBegin and Quad3DEnd with a per-draw alpha of 0 to 255.
//
// Numbers are chosen by the caller; a number without a 3D sprite makes every
// operation on it do nothing.

#include <cstdint>

#include "media/display.h"

// Makes the 3D sprite table (numbers 0 to 49) and asks for the drawing device
// to be set up at the next Quad3DBegin. 1 on success.
int32_t Quad3DSystemInit();
// End-of-program hook: frees every 3D sprite and the device.
void Quad3DEndHook();

// Makes 3D sprite `number` from image `image`, sharing the image's pixels.
// Non-zero on success; 0 if the image is missing or not in texture mode.
int32_t Quad3DCreate(int32_t number, int32_t image);

// Starts a batch: 1 when started, 0 when there is no screen to draw into or a
// batch is already open. Resets blending to source alpha / inverse source alpha.
int32_t Quad3DBegin();
// Ends the open batch, if any.
void Quad3DEnd();

// Draws 3D sprite `number` moved by (x, y), with alpha (low 8 bits) as its
// opacity. Draws only inside a batch while the screen is active.
void Quad3DShow(int32_t number, int32_t x, int32_t y, int32_t alpha = 255);

// The part of the screen that Quad3DShow(number, x, y) can change, clipped to
// the screen (empty when it falls outside): the sprite's pixels never reach
// past it. 1 with the area set; 0 (area untouched) for a missing sprite or
// when no screen is open.
int32_t Quad3DBounds(int32_t number, int32_t x, int32_t y, ScreenArea* area);

// A layer of sprites that add their texels to what lies under them. The 3D
// sprites shown between Quad3DLayerBegin and Quad3DLayerEnd are drawn at
// Quad3DLayerEnd, in their order. When every one of them adds (source alpha
// or one onto destination alpha or one, at full alpha) and the screen was
// cleared since its last picture, their sum is kept as a picture of its own
// and ends the clear (see DisplayClearWithLayer): a layer that stands still
// from frame to frame is then not drawn again, and neither is the background
// under it where nothing else moved. The pixels are the same as those of
// drawing each sprite. Quad3DLayerBegin outside a batch or inside an open
// layer does nothing, and so does Quad3DLayerEnd without one; a layer ends
// with its batch at the latest.
void Quad3DLayerBegin();
void Quad3DLayerEnd();

// Turns the sprite about its centre: mode 0 to `angle` degrees, any other mode
// by `angle` degrees more than its accumulated angle.
void Quad3DRotate(int32_t number, int32_t angle, int32_t mode);
// The angle accumulated by relative turns since the last absolute one (0 for
// a missing sprite), which Quad3DRotate(number, 0, 0) and then
// Quad3DRotate(number, angle, 1) restore.
int32_t Quad3DAngle(int32_t number);
// New size with unrotated corners.
void Quad3DZoom(int32_t number, int32_t width, int32_t height);
// Free corners, clockwise from the texture's top-left.
void Quad3DTransform(int32_t number, float x1, float y1, float x2, float y2, float x3, float y3,
                     float x4, float y4);

// 0: nearest texels; otherwise bilinear filtering, for later draws.
void Quad3DQuality(int32_t quality);
// Blend factors (1 zero, 2 one, 3 source colour, 4 inverse source colour,
// 5 source alpha, 6 inverse source alpha, 7 destination alpha, 8 inverse
// destination alpha, 9 destination colour, 10 inverse destination colour,
// 11 saturated source alpha) until the next Quad3DBegin. A factor outside
// 1 to 11 is ignored and leaves that factor as it was.
void Quad3DBlendingMode(int32_t source, int32_t destination);
