#include "engine/scan_density.h"

#include <array>

#include "engine/density_scanner.h"

namespace quadrell {
namespace {

// Enough for the rare file whose walk reads on between segments; one buffer
// per thread, reused, so memory stays constant.
constexpr std::size_t kBuffer = 65536;

}  // namespace

ScanResult scan_density(const fs::FileRef& file, ScanDetail& detail) {
  fs::InputFile input(file);
  if (!input.is_open()) {
    detail.error = input.error();
    return kAccessError;
  }
  static thread_local std::array<std::uint8_t, kBuffer> buffer;
  const ScanResult result = scan_header(input, buffer, detail);
  if (result == kAccessError) detail.error = input.error();
  return result;
}

}  // namespace quadrell
