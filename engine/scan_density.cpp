#include "engine/scan_density.h"

#include <array>

#include "engine/density_scanner.h"
#include "engine/fs.h"

namespace quadrell {
namespace {

// The header of a typical file sits in its first few hundred bytes: a small
// first read serves it. A file without the header is read to its end in large
// blocks into one buffer per thread, reused: few system calls, constant memory.
constexpr std::size_t kFirstRead = 4096;
constexpr std::size_t kBlock = 262144;

}  // namespace

ScanResult scan_density(const NativePath& path, PatchValue& value) {
  fs::InputFile file(path);
  if (!file.is_open()) return kAccessError;

  static thread_local std::array<std::uint8_t, kBlock> buffer;
  DensityScanner scanner;
  std::size_t request = kFirstRead;
  for (;;) {
    const std::int64_t count = file.read(buffer.data(), request);
    if (count < 0) return kAccessError;
    if (count == 0) break;
    if (scanner.feed(buffer.data(), static_cast<std::size_t>(count))) break;
    request = kBlock;
  }
  const ScanResult result = scanner.finish();
  if (result > 0) value = scanner.patch_value();
  return result;
}

}  // namespace quadrell
