#include "engine/density_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace quadrell {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStuffedZero = 0x00;  // FF 00: an FF inside data
constexpr std::uint8_t kTem = 0x01;
constexpr std::uint8_t kRst0 = 0xD0;  // RST0 to RST7 come before SOI
constexpr std::uint8_t kSoiCode = 0xD8;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::int64_t kMacBinaryHeader = 128;
constexpr unsigned kShortestLength = 2;  // the length counts its own two bytes

// Enough for the rare file whose walk reads on between segments; on the
// stack of the thread that scans, so memory stays constant and a new thread
// costs no 64 KiB of thread-local storage to clear.
constexpr std::size_t kBuffer = 65536;

// Positions are signed 32-bit. Reading the byte at position 2^31 - 1 (this
// 0-based offset) would move the walk's next position out of range.
constexpr std::int64_t kLastPosition = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kLastOffset = kLastPosition - 1;

// What a byte read gives besides a byte value.
constexpr int kEnd = -1;     // the file ends before the offset
constexpr int kFailed = -2;  // the read failed, or the byte lies out of range

// Block reads at the offsets the walk asks for. The first read and the read
// after a jump are small, since the walk rarely needs more than a segment
// header there; reads that go on where the last one ended grow, for the rare
// file with much to pass over between segments.
class BlockReader {
 public:
  BlockReader(ByteSource& source, std::span<std::uint8_t> buffer, SystemError& error)
      : source_(source), buffer_(buffer), error_(error) {}

  // The byte at offset, kEnd or kFailed.
  int at(std::int64_t offset) {
    if (offset < start_ || offset >= end_) {
      if (const int status = fill(offset); status < 0) return status;
    }
    return buffer_[static_cast<std::size_t>(offset - start_)];
  }

  // The offset of the first byte equal to value in [offset, limit), limit
  // when there is none before it, kEnd or kFailed.
  std::int64_t find(std::int64_t offset, std::uint8_t value, std::int64_t limit) {
    while (offset < limit) {
      if (offset < start_ || offset >= end_) {
        if (const int status = fill(offset); status < 0) return status;
      }
      const std::uint8_t* from = buffer_.data() + (offset - start_);
      if (*from == value) return offset;  // a segment mostly follows the last directly
      const auto size = static_cast<std::size_t>(std::min(end_, limit) - offset);
      if (const void* hit = std::memchr(from, value, size)) {
        return offset + (static_cast<const std::uint8_t*>(hit) - from);
      }
      offset += static_cast<std::int64_t>(size);
    }
    return limit;
  }

 private:
  // Holds the segments behind a camera's or a phone's Exif block (XMP, a
  // small ICC profile, the tables, the frame header); a file in the page
  // cache costs its copy by the byte, so no more is asked for.
  static constexpr std::size_t kSmallRead = 2048;

  int fill(std::int64_t offset) {
    const std::size_t size =
        offset == end_ && end_ > 0
            ? std::min(buffer_.size(), 2 * static_cast<std::size_t>(end_ - start_))
            : std::min(buffer_.size(), kSmallRead);
    const Result<std::size_t> count = source_.read_at(offset, buffer_.data(), size);
    if (!count) {
      error_ = count.error();
      return kFailed;
    }
    if (*count == 0) return kEnd;
    start_ = offset;
    end_ = offset + static_cast<std::int64_t>(*count);
    return 0;
  }

  ByteSource& source_;
  std::span<std::uint8_t> buffer_;
  SystemError& error_;  // why a read failed
  std::int64_t start_ = 0;
  std::int64_t end_ = 0;
};

class HeaderWalk {
 public:
  HeaderWalk(ByteSource& source, std::span<std::uint8_t> buffer, ScanDetail& detail)
      : reader_(source, buffer, detail.error), detail_(detail) {}

  ScanResult run() {
    std::int64_t offset;  // of the next byte to look at
    const int at_start = soi_at(0);
    if (at_start == kFailed) return kAccessError;
    if (at_start == 1) {
      offset = 2;
    } else {
      const int behind_header = soi_at(kMacBinaryHeader);
      if (behind_header == kFailed) return kAccessError;
      if (behind_header != 1) return kNotJpeg;
      offset = kMacBinaryHeader + 2;
    }

    for (;;) {
      // Bytes up to the next FF, that FF and any fill FFs behind it.
      const std::int64_t prefix = next_marker_prefix(offset);
      if (prefix < 0) return ending(static_cast<int>(prefix));
      std::int64_t code_offset = prefix + 1;
      int code;
      while ((code = byte(code_offset)) == kMarkerPrefix) ++code_offset;
      if (code < 0) return ending(code);

      if (code == kStartOfScan || code == kEndOfImage) return kFair;
      if (code == kStuffedZero || code == kTem || (code >= kRst0 && code <= kSoiCode)) {
        offset = code_offset + 1;  // no segment behind these
        continue;
      }

      // Every other marker has a two-byte length, whatever bytes it holds:
      // an FF there, or anywhere inside the segment, is data.
      const int high = byte(code_offset + 1);
      if (high < 0) return ending(high);
      const int low = byte(code_offset + 2);
      if (low < 0) return ending(low);
      const auto length = static_cast<unsigned>((high << 8) + low);
      if (code == kApp0 && length >= jfif::kShortestLength) {
        const int identified = has_jfif_identifier(code_offset + jfif::kIdentifierAfterCode);
        if (identified < 0) return ending(identified);
        if (identified == 1) return decide(code_offset + jfif::kXDensityAfterCode);
      }
      if (length < kShortestLength) return kFair;  // the header cannot be walked
      offset = code_offset + 1 + length;
    }
  }

 private:
  // The byte at offset, kEnd, or kFailed: also for a byte that exists where
  // positions have left the 32-bit range.
  int byte(std::int64_t offset) {
    const int value = reader_.at(offset);
    if (value < 0 || offset < kLastOffset) return value;
    detail_.error = kPastPositions;
    return kFailed;
  }

  // 1 when FF D8 stands at offset, 0 when not (or the file ends), kFailed.
  int soi_at(std::int64_t offset) {
    const int first = reader_.at(offset);
    if (first == kFailed) return kFailed;
    if (first != kMarkerPrefix) return 0;
    const int second = reader_.at(offset + 1);
    if (second == kFailed) return kFailed;
    return second == kSoiCode ? 1 : 0;
  }

  // 1 when "JFIF" NUL stands at offset, 0 when not, kEnd or kFailed.
  int has_jfif_identifier(std::int64_t offset) {
    for (std::size_t i = 0; i < sizeof jfif::kIdentifier; ++i) {
      const int value = byte(offset + static_cast<std::int64_t>(i));
      if (value < 0) return value;
      if (value != jfif::kIdentifier[i]) return 0;
    }
    return 1;
  }

  std::int64_t next_marker_prefix(std::int64_t offset) {
    const std::int64_t found = reader_.find(offset, kMarkerPrefix, kLastOffset);
    return found == kLastOffset ? byte(std::max(offset, kLastOffset)) : found;
  }

  // The file ended where the walk needed a byte: no change. A failure: none.
  static ScanResult ending(int status) { return status == kEnd ? kFair : kAccessError; }

  ScanResult decide(std::int64_t x_offset) {
    // The units byte stands right before the densities, read in their order.
    const int units = reader_.at(x_offset - 1);
    if (units < 0) return ending(units);
    std::array<std::uint8_t, jfif::kDensityBytes> densities;
    for (std::size_t i = 0; i < densities.size(); ++i) {
      const int value = reader_.at(x_offset + static_cast<std::int64_t>(i));
      if (value < 0) return ending(value);
      densities[i] = static_cast<std::uint8_t>(value);
    }
    const unsigned x = (densities[0] << 8) + densities[1];
    const unsigned y = (densities[2] << 8) + densities[3];
    detail_.densities = densities;
    detail_.jfif = true;
    detail_.units = static_cast<std::uint8_t>(units);
    if (x == y) return kFair;
    // The log prints the change's position and the one after it.
    const std::int64_t position = x_offset + (x < y ? 1 : 3);
    if (position + 1 > kLastPosition) {
      detail_.error = kPastPositions;
      return kAccessError;
    }
    detail_.at_x = x < y;
    detail_.value =
        x < y ? PatchValue{densities[2], densities[3]} : PatchValue{densities[0], densities[1]};
    return static_cast<ScanResult>(position);
  }

  BlockReader reader_;
  ScanDetail& detail_;
};

}  // namespace

ScanResult scan_header(ByteSource& source, std::span<std::uint8_t> buffer, ScanDetail& detail) {
  return HeaderWalk(source, buffer, detail).run();
}

ScanResult scan_density(const fs::FileRef& file, ScanDetail& detail) {
  Result<fs::InputFile> input = fs::InputFile::open(file);
  detail.error = input.error();  // 0 here, and for a walk that ends with no failure
  if (!input) return kAccessError;
  detail.identity = input->identity();
  detail.size = input->size();
  detail.times = input->times();
  const ScanResult result = scan_open_file(*input, detail);
  detail.waited = input->waited();
  return result;
}

ScanResult scan_open_file(ByteSource& file, ScanDetail& detail) {
  std::array<std::uint8_t, kBuffer> buffer;
  return scan_header(file, buffer, detail);
}

}  // namespace quadrell
