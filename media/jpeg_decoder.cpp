// JPEG images through libjpeg. Its fatal errors would end the process; ours
// jump back to a setjmp point instead, so the function holding that point keeps
// only plain data in its frame (the jump must not skip any destructor).

#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "media/image_decoders.h"

namespace media {
namespace {

// Working memory libjpeg may take for one picture.
constexpr long kJpegMemoryLimit = 256L * 1024 * 1024;

struct JpegErrorHandler {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr info) {
  auto* handler = reinterpret_cast<JpegErrorHandler*>(info->err);
  std::longjmp(handler->jump, 1);
}

void JpegIgnoreMessage(j_common_ptr) {}

// Reads the header (and with rows non-null the whole picture as 8-bit
// blue-green-red rows). Plain data only in this frame, see above.
bool JpegRead(const uint8_t* data, size_t size, uint8_t* rows, size_t stride, int* width,
              int* height) {
  if (size < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return false;
  jpeg_decompress_struct info;
  JpegErrorHandler handler;
  std::memset(&info, 0, sizeof info);
  info.err = jpeg_std_error(&handler.manager);
  handler.manager.error_exit = JpegFail;
  handler.manager.output_message = JpegIgnoreMessage;
  if (setjmp(handler.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kJpegMemoryLimit;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const JDIMENSION w = info.image_width;
  const JDIMENSION h = info.image_height;
  if (!ImageSizeAllowed(w, h)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  if (rows == nullptr) {
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    jpeg_destroy_decompress(&info);
    return true;
  }
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  if (info.output_width != w || info.output_height != h || info.output_components != 3 ||
      static_cast<int>(w) != *width || static_cast<int>(h) != *height) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < h) {
    JSAMPROW row = rows + stride * info.output_scanline;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) {
      jpeg_destroy_decompress(&info);
      return false;
    }
  }
  jpeg_destroy_decompress(&info);
  return true;
}

bool JpegCheck(std::span<const uint8_t> data, int* width, int* height) {
  return JpegRead(data.data(), data.size(), nullptr, 0, width, height);
}

bool JpegDecode(std::span<const uint8_t> data, uint8_t* rows, size_t stride, int width,
                int height) {
  return JpegRead(data.data(), data.size(), rows, stride, &width, &height);
}

}  // namespace

const ImageDecoder& JpegImageDecoder() {
  static const ImageDecoder decoder{JpegCheck, JpegDecode};
  return decoder;
}

}  // namespace media
