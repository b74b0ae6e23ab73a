// PNG images through libpng. libpng reports errors by jumping back to a
// setjmp point, so the functions that hold that point (and every callback
// that may raise an error) keep only plain data in their frames: the jump must
// not skip any destructor.

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "media/image_decoders.h"

namespace media {
namespace {

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t position;
};

void PngReadData(png_structp png, png_bytep out, size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->position) png_error(png, "truncated data");
  std::memcpy(out, source->data + source->position, length);
  source->position += length;
}

[[noreturn]] void PngFail(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void PngIgnoreWarning(png_structp, png_const_charp) {}

// Reads the header (and with rows non-null the whole picture as 8-bit
// blue-green-red rows). Plain data only in this frame, see above.
bool PngRead(const uint8_t* data, size_t size, uint8_t* rows, size_t stride, int* width,
             int* height) {
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngIgnoreWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  PngSource source{data, size, 0};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_set_read_fn(png, &source, PngReadData);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  if (!ImageSizeAllowed(w, h)) png_error(png, "image too large");
  if (rows == nullptr) {
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
  }
  if (static_cast<int>(w) != *width || static_cast<int>(h) != *height) png_error(png, "size");

  // Everything becomes 8-bit colour without alpha: palettes expanded, low
  // grey depths widened, grey turned into colour, 16-bit channels reduced,
  // alpha dropped. Transparency chunks are ignored: expanding a palette also
  // turns its transparency chunk into an alpha channel, so alpha is stripped
  // whatever the colour type says.
  const int colourType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((colourType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (bitDepth == 16) png_set_strip_16(png);
  png_set_strip_alpha(png);
  if ((colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
      png_get_rowbytes(png, info) != static_cast<size_t>(w) * 3) {
    png_error(png, "unexpected layout");
  }
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, rows + stride * y, nullptr);
  }
  // Up to the end chunk: data cut short after the pixels is still damaged.
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool PngCheck(std::span<const uint8_t> data, int* width, int* height) {
  return PngRead(data.data(), data.size(), nullptr, 0, width, height);
}

bool PngDecode(std::span<const uint8_t> data, uint8_t* rows, size_t stride, int width, int height) {
  return PngRead(data.data(), data.size(), rows, stride, &width, &height);
}

}  // namespace

const ImageDecoder& PngImageDecoder() {
  static const ImageDecoder decoder{PngCheck, PngDecode};
  return decoder;
}

}  // namespace media
