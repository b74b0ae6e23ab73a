#pragma once
// Software rasteriser for textured quads: the drawing engine under the 3D
// sprites. Not for use outside media/.
//
// A quad is four transformed vertices in screen pixels, drawn as the two
// triangles (0, 1, 2) and (1, 2, 3) of a triangle strip. Texture coordinates
// are mapped affinely across each triangle. Black texels (pixel value 0) are
// the colour key and are never drawn. The colour drawn is the texel's colour,
// the alpha drawn is the vertex alpha, interpolated across the triangle.
// Pixels are covered by a top-left fill rule on pixel centres, so quads that
// share an edge leave no gap and cover no pixel twice.

#include <cstdint>

#include "media/surface.h"

namespace media {

// One transformed, lit vertex: position in pixels, depth and reciprocal w
// (kept for completeness; drawing is flat and affine), ARGB colour of which
// the alpha byte is used, specular colour (unused), texture coordinates with
// (0, 0) at the texture's top-left and (1, 1) at its bottom-right.
struct QuadVertex {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float rhw = 1.0f;
  uint32_t color = 0xFFFFFFFFu;
  uint32_t specular = 0;
  float u = 0.0f;
  float v = 0.0f;
};

// Blend factors, numbered as the programs pass them.
enum BlendFactor : int {
  kBlendZero = 1,
  kBlendOne = 2,
  kBlendSrcColor = 3,
  kBlendInvSrcColor = 4,
  kBlendSrcAlpha = 5,
  kBlendInvSrcAlpha = 6,
  kBlendDestAlpha = 7,
  kBlendInvDestAlpha = 8,
  kBlendDestColor = 9,
  kBlendInvDestColor = 10,
  kBlendSrcAlphaSat = 11,
};

struct QuadDrawState {
  int srcBlend = kBlendSrcAlpha;
  int dstBlend = kBlendInvSrcAlpha;
  bool bilinear = false;  // false: nearest texel
};

// The shape of one 3D sprite: its four vertices in triangle-strip order
// (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right of the texture),
// positioned relative to where the sprite is shown, plus the size used by
// rotation and the angle accumulated by relative rotation.
struct QuadShape {
  QuadVertex v[4];
  int16_t width = 0;
  int16_t height = 0;
  int16_t angle = 0;
};

// A fresh, unrotated shape of width x height.
QuadShape QuadShapeMake(int width, int height);
// Turns the shape about the centre of its width x height box; mode 0 sets the
// angle absolutely, any other mode adds it to the accumulated angle.
void QuadShapeRotate(QuadShape& shape, int angle, int mode);
// New size, unrotated corners; the accumulated angle stays.
void QuadShapeZoom(QuadShape& shape, int width, int height);
// Corners clockwise from the texture's top-left.
void QuadShapeTransform(QuadShape& shape, float x1, float y1, float x2, float y2, float x3,
                        float y3, float x4, float y4);
// The vertices to draw for the shape shown at (x, y) with the given alpha
// (only its low 8 bits count).
void QuadShapePlace(const QuadShape& shape, int x, int y, int alpha, QuadVertex out[4]);

// Draws the quad v[0..3] into target with texture's pixels. target and
// texture must share one pixel format (2 bytes per pixel 5-6-5, or 4 bytes
// per pixel with blue in the lowest byte); otherwise nothing is drawn.
// Everything outside the target is clipped. Invalid or out-of-range blend
// factors draw nothing. Blending is exact to the nearest 1/255 on 32-bit
// targets; 16-bit targets blend in their own 5-6-5 channels with alpha
// counted in 32nds (0 keeps the target, 255 gives the texel exactly).
// False when nothing was drawn for certain (a quad that cannot change the
// target, or input that draws nothing); true when pixels may have changed.
bool RasterizeQuad(Surface& target, const Surface& texture, const QuadVertex v[4],
                   const QuadDrawState& state);

// A rectangle (left, top, right, bottom: pixels from left to right - 1) that
// holds every pixel the quad can draw with this texture: where its texels
// other than the key land, with a margin for rounding. False when that says
// no more than the box of the corners (the texture has no keyed margins, or
// the quad is too thin to tell); an empty rectangle when every texel is the key.
bool QuadDrawnBounds(const Surface& texture, const QuadVertex v[4], int* left, int* top, int* right,
                     int* bottom);

// True when the quad adds its texels to the target, each channel saturated,
// and nothing else: such draws give the same pixels in any order, and their
// sum made apart (on black) and then added gives the same pixels too.
bool QuadAddsTexels(const QuadVertex v[4], const QuadDrawState& state);

// Adds count pixels of from to those of to, each channel saturated exactly as
// a quad that adds its texels does; bytesPerPixel 2 (5-6-5) or 4.
void AddPixelsSaturated(uint8_t* to, const uint8_t* from, int count, int bytesPerPixel);
// The same onto one colour (a pixel value of the format): to[i] is from[i]
// added to colour.
void AddPixelsToColour(uint8_t* to, const uint8_t* from, uint32_t colour, int count,
                       int bytesPerPixel);

// Whether processors with AVX2 blend one colour (the fade) thirty-two bytes at
// a time; on by default. The pixels are the same either way: tests switch it
// off to compare.
void RasterizerUseWideKernels(bool use);

}  // namespace media
