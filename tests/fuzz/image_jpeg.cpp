// The JPEG decoder alone. After the first byte (depth and mode), input that
// starts with the JPEG markers is decoded as it is; anything else is a list of
// (offset, byte) patches applied to a small valid image made here, baseline or
// progressive by the first byte, which reaches far deeper into the decoder
// than random bytes would.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "tests/fuzz/image_fuzz.h"

namespace {

std::vector<uint8_t> BaseImage(bool progressive) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = 24;
  info.image_height = 17;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 80, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(24 * 3);
  for (int y = 0; y < 17; ++y) {
    for (int x = 0; x < 24 * 3; ++x) row[x] = static_cast<uint8_t>(x * 11 + y * 15);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> bases[2] = {BaseImage(false), BaseImage(true)};
  if (size < 1) return 0;
  std::span<const uint8_t> rest(data + 1, size - 1);
  if (rest.size() >= 3 && rest[0] == 0xFF && rest[1] == 0xD8 && rest[2] == 0xFF) {
    fuzzimage::CatchAndDraw(data[0], rest);
    return 0;
  }
  std::vector<uint8_t> image = bases[(data[0] >> 2) & 1];
  for (size_t i = 0; i + 3 <= rest.size(); i += 3) {
    const size_t at = (static_cast<size_t>(rest[i]) << 8 | rest[i + 1]) % image.size();
    image[at] = rest[i + 2];
  }
  fuzzimage::CatchAndDraw(data[0], image);
  return 0;
}
