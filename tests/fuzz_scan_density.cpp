// Differential fuzz target: the input is a recipe for a JPEG header (see
// generate_header); scan_density on a file holding that header must agree
// with libjpeg's jpeg_read_header wherever libjpeg reaches the SOS.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/density_scan.h"
#include "tests/differential/scan_differential.h"

namespace {

const std::string& input_path() {
  static const std::string path = "/tmp/quadrell-fuzz-" + std::to_string(::getpid()) + ".jpg";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quadrell::testing::GeneratedHeader header = quadrell::testing::generate_header(data, size);
  std::FILE* file = std::fopen(input_path().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!header.bytes.empty() &&
      std::fwrite(header.bytes.data(), 1, header.bytes.size(), file) != header.bytes.size()) {
    std::abort();
  }
  std::fclose(file);

  quadrell::ScanDetail detail;
  detail.value = {0x5A, 0xA5};
  const quadrell::ScanResult result = quadrell::scan_density({input_path()}, detail);
  // Removed at once: libFuzzer ends the process without running exit handlers.
  std::remove(input_path().c_str());
  if (result <= 0 && detail.value != quadrell::PatchValue{0x5A, 0xA5}) std::abort();
  const auto comparison = quadrell::testing::compare_with_libjpeg(header, result, detail.value);
  if (!comparison.difference.empty()) {
    std::fprintf(stderr, "%s\n", comparison.difference.c_str());
    std::abort();
  }
  return 0;
}
