// Differential fuzz target: scan_density on a file holding the input against
// a plain byte-at-a-time model of the marker search written from the byte
// layout, with no fast path and no blocks.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "engine/scan_density.h"

namespace {

struct ModelVerdict {
  quadrell::ScanResult result;
  quadrell::PatchValue value;
};

ModelVerdict model_scan(const std::uint8_t* data, std::size_t size) {
  std::size_t next;  // 0-based index of the next byte; position = next + 1
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
    next = 2;
  } else if (size >= 130 && data[128] == 0xFF && data[129] == 0xD8) {
    next = 130;
  } else {
    return {quadrell::kNotJpeg, {}};
  }
  int state = 0;
  std::uint8_t identifier[5] = {};
  for (;;) {
    if (next >= size) return {quadrell::kFair, {}};
    if (state == 12) {
      if (identifier[0] == 'J' && identifier[1] == 'F' && identifier[2] == 'I' &&
          identifier[3] == 'F' && identifier[4] == 0) {
        break;
      }
      state = 0;  // not JFIF: search on behind the ten counted bytes
      continue;
    }
    const std::uint8_t c = data[next++];
    if (state == 0) {
      state = c == 0xFF ? 1 : 0;
    } else if (state == 1) {
      state = c == 0xFF ? 1 : c == 0xE0 ? 2 : 0;
    } else {
      if (c == 0xFF) {
        state = 1;
      } else {
        // Counted bytes M+1 .. M+10 arrive in states 2 .. 11; M+3 .. M+7 are
        // the identifier.
        if (state >= 4 && state <= 8) identifier[state - 4] = c;
        ++state;
      }
    }
  }
  if (size - next < 4) return {quadrell::kFair, {}};
  const std::uint8_t* d = data + next;
  const unsigned x = d[0] * 256u + d[1];
  const unsigned y = d[2] * 256u + d[3];
  const auto position = static_cast<quadrell::ScanResult>(next + 1);
  if (x < y) return {position, {d[2], d[3]}};
  if (y < x) return {position + 2, {d[0], d[1]}};
  return {quadrell::kFair, {}};
}

const std::string& input_path() {
  static const std::string path = "/tmp/quadrell-fuzz-" + std::to_string(::getpid()) + ".jpg";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(input_path().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  quadrell::PatchValue value{0x5A, 0xA5};
  const quadrell::ScanResult result = quadrell::scan_density(input_path(), value);
  const ModelVerdict expected = model_scan(data, size);
  if (result != expected.result) std::abort();
  if (result > 0 && value != expected.value) std::abort();
  if (result <= 0 && value != quadrell::PatchValue{0x5A, 0xA5}) std::abort();
  return 0;
}
