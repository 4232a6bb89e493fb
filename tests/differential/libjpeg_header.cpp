#include "tests/differential/libjpeg_header.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace quadrell::testing {
namespace {

struct ErrorExit {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void leave(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1);
}

void stay_quiet(j_common_ptr) {}

// Kept free of objects with destructors: the error exit jumps out of
// libjpeg to the setjmp here.
bool read_header(jpeg_decompress_struct& info, const std::uint8_t* data, std::size_t size) {
  ErrorExit& error = *reinterpret_cast<ErrorExit*>(info.err);
  if (setjmp(error.jump) != 0) return false;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&info, JPEG_APP0, 0xFFFF);
  return jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
}

}  // namespace

LibjpegHeader read_with_libjpeg(const std::uint8_t* data, std::size_t size) {
  ErrorExit error;
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = leave;
  error.manager.output_message = stay_quiet;
  jpeg_create_decompress(&info);

  LibjpegHeader header;
  header.reached_scan = read_header(info, data, size);
  if (header.reached_scan) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr;
         marker = marker->next) {
      header.app0_segments.emplace_back(marker->data, marker->data + marker->data_length);
    }
    header.saw_jfif = info.saw_JFIF_marker;
    header.x_density = info.X_density;
    header.y_density = info.Y_density;
  }
  jpeg_destroy_decompress(&info);
  return header;
}

}  // namespace quadrell::testing
