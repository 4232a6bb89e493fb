// Differential fuzz target: scan_density on a file holding the input, read in
// blocks with jumps over segments, against a plain byte-at-a-time model of
// the header walk written from the byte layout.

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

// The walk as a decoder reads a header, one byte at a time over the whole
// input: no blocks, no jumps, no fast path.
ModelVerdict model_scan(const std::uint8_t* data, std::size_t size) {
  std::size_t next;  // 0-based index of the next byte to look at
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
    next = 2;
  } else if (size >= 130 && data[128] == 0xFF && data[129] == 0xD8) {
    next = 130;
  } else {
    return {quadrell::kNotJpeg, {}};
  }
  for (;;) {
    while (next < size && data[next] != 0xFF) ++next;  // bytes between segments
    while (next < size && data[next] == 0xFF) ++next;  // the FF and fill FFs
    if (next >= size) return {quadrell::kFair, {}};
    const std::size_t code_at = next;
    const std::uint8_t code = data[code_at];
    if (code == 0xDA || code == 0xD9) return {quadrell::kFair, {}};
    if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD8)) {
      next = code_at + 1;
      continue;
    }
    if (code == 0xE0) {
      std::size_t i = 1;
      while (i <= 10 && code_at + i < size && data[code_at + i] != 0xFF) ++i;
      if (i <= 10 && code_at + i < size) {  // an FF among the ten bytes
        next = code_at + i;
        continue;
      }
      if (i <= 10) return {quadrell::kFair, {}};  // the file ends among them
    } else if (code_at + 2 >= size) {
      return {quadrell::kFair, {}};
    }
    const unsigned length = data[code_at + 1] * 256u + data[code_at + 2];
    const std::uint8_t* id = data + code_at + 3;
    if (code == 0xE0 && length >= 16 && id[0] == 'J' && id[1] == 'F' && id[2] == 'I' &&
        id[3] == 'F' && id[4] == 0) {
      next = code_at + 11;
      break;
    }
    if (length < 2) return {quadrell::kFair, {}};
    next = code_at + 1 + length;
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

  quadrell::ScanDetail detail;
  detail.value = {0x5A, 0xA5};
  const quadrell::ScanResult result = quadrell::scan_density({input_path()}, detail);
  // Removed at once: libFuzzer ends the process without running exit handlers.
  std::remove(input_path().c_str());
  const ModelVerdict expected = model_scan(data, size);
  if (result != expected.result) std::abort();
  if (result > 0 && detail.value != expected.value) std::abort();
  if (result <= 0 && detail.value != quadrell::PatchValue{0x5A, 0xA5}) std::abort();
  return 0;
}
