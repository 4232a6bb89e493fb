#include "engine/density_scanner.h"

#include <cstring>
#include <limits>

namespace quadrell {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kSoi[2] = {0xFF, 0xD8};
constexpr std::int64_t kMacBinaryHeader = 128;
constexpr std::uint8_t kJfifIdentifier[5] = {'J', 'F', 'I', 'F', 0x00};

// Marker states: 0 searching, 1 after FF, 2 after E0, then one more for each
// of the ten bytes up to the densities. The identifier arrives in states 4..8.
constexpr int kAfterFf = 1;
constexpr int kAfterE0 = 2;
constexpr int kFirstIdentifierState = 4;
constexpr int kLastIdentifierState = 8;
constexpr int kAtDensities = 12;

// Positions are signed 32-bit: reading the byte at the largest one already
// leaves the range.
constexpr std::int64_t kLastPosition = std::numeric_limits<std::int32_t>::max();

}  // namespace

bool DensityScanner::feed(const std::uint8_t* data, std::size_t size) {
  std::size_t index = 0;
  while (index < size && phase_ != Phase::kDone) {
    switch (phase_) {
      case Phase::kSoi:
        feed_soi(data[index++]);
        break;
      case Phase::kSearch:
        index += feed_search(data + index, size - index);
        break;
      case Phase::kDensities:
        feed_density(data[index++]);
        break;
      case Phase::kDone:
        break;
    }
  }
  return phase_ == Phase::kDone;
}

ScanResult DensityScanner::finish() {
  switch (phase_) {
    case Phase::kSoi:
      return kNotJpeg;  // missing SOI bytes count as not matching
    case Phase::kSearch:
    case Phase::kDensities:
      // No accepted marker, or the file ends inside the density pair: a field
      // that is not wholly in the file is never written.
      return kFair;
    case Phase::kDone:
      break;
  }
  return result_;
}

void DensityScanner::feed_soi(std::uint8_t byte) {
  ++soi_bytes_read_;
  if (soi_bytes_read_ == 1 || soi_bytes_read_ == kMacBinaryHeader + 1) {
    soi_[0] = byte;
  } else if (soi_bytes_read_ == 2 || soi_bytes_read_ == kMacBinaryHeader + 2) {
    soi_[1] = byte;
    if (soi_[0] == kSoi[0] && soi_[1] == kSoi[1]) {
      phase_ = Phase::kSearch;
      next_position_ = soi_bytes_read_ + 1;
      marker_state_ = 0;
    } else if (soi_bytes_read_ == kMacBinaryHeader + 2) {
      result_ = kNotJpeg;
      phase_ = Phase::kDone;
    }
  }
}

std::size_t DensityScanner::feed_search(const std::uint8_t* data, std::size_t size) {
  std::size_t index = 0;
  while (index < size && phase_ == Phase::kSearch) {
    if (marker_state_ == 0) {
      const std::size_t candidate = find_marker_candidate(data, index, size);
      next_position_ += static_cast<std::int64_t>(candidate - index);
      index = candidate;
      if (next_position_ > kLastPosition) {
        result_ = kAccessError;
        phase_ = Phase::kDone;
        break;
      }
      if (index == size) break;
    }
    step_marker_state(data[index++]);
  }
  return index;
}

// In the searching state only an FF can change the state, and an FF followed
// by a byte other than FF or E0 leads straight back to searching: entropy
// data is full of such pairs (FF 00), so they are passed over in bulk. The
// result is the index of the next FF that may start a marker, or size.
std::size_t DensityScanner::find_marker_candidate(const std::uint8_t* data, std::size_t index,
                                                  std::size_t size) {
  for (;;) {
    const void* found = std::memchr(data + index, kMarkerPrefix, size - index);
    if (found == nullptr) return size;
    const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
    if (at + 1 == size || data[at + 1] == kMarkerPrefix || data[at + 1] == kApp0) return at;
    index = at + 2;
  }
}

void DensityScanner::step_marker_state(std::uint8_t byte) {
  if (next_position_ >= kLastPosition) {
    result_ = kAccessError;
    phase_ = Phase::kDone;
    return;
  }
  ++next_position_;
  if (byte == kMarkerPrefix) {
    marker_state_ = kAfterFf;
  } else if (marker_state_ == kAfterFf) {
    marker_state_ = byte == kApp0 ? kAfterE0 : 0;
  } else if (marker_state_ >= kAfterE0) {
    const bool identifier_byte =
        marker_state_ >= kFirstIdentifierState && marker_state_ <= kLastIdentifierState;
    if (identifier_byte && byte != kJfifIdentifier[marker_state_ - kFirstIdentifierState]) {
      // Not a JFIF header. The remaining counted bytes hold no FF either way,
      // so searching on from here finds what searching after them would.
      marker_state_ = 0;
    } else if (++marker_state_ == kAtDensities) {
      phase_ = Phase::kDensities;
    }
  }
}

void DensityScanner::feed_density(std::uint8_t byte) {
  // next_position_ stays at the X density; Y starts two bytes further.
  if (density_bytes_ == 0 && next_position_ + 2 > kLastPosition) {
    result_ = kAccessError;
    phase_ = Phase::kDone;
    return;
  }
  densities_[density_bytes_++] = byte;
  if (density_bytes_ == 4) decide();
}

void DensityScanner::decide() {
  const unsigned x = (densities_[0] << 8) + densities_[1];
  const unsigned y = (densities_[2] << 8) + densities_[3];
  if (x < y) {
    patch_value_ = {densities_[2], densities_[3]};
    result_ = static_cast<ScanResult>(next_position_);
  } else if (y < x) {
    patch_value_ = {densities_[0], densities_[1]};
    result_ = static_cast<ScanResult>(next_position_ + 2);
  } else {
    result_ = kFair;
  }
  phase_ = Phase::kDone;
}

}  // namespace quadrell
