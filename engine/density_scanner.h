#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/density_types.h"

namespace quadrell {

// The decision of scan_density over a byte stream fed in blocks, so that the
// file is read once, forward, in constant memory.
//
// Layout of the file as the scanner reads it (positions 1-based, H = 0 or 128,
// M = position of the E0 of the accepted APP0 marker):
//
//   1 .. 128        128  MacBinary header, assumed when 1..2 are not FF D8
//   H+1 .. H+2      2    SOI, FF D8
//   H+3 .. M-1      any  searched byte by byte for FF (fill FFs allowed) E0
//   M               1    E0
//   M+1 .. M+2      2    segment length       (not tested)
//   M+3 .. M+7      5    identifier           must be "JFIF" NUL
//   M+8 .. M+9      2    version              (not tested)
//   M+10            1    density units        (not tested)
//   M+11 .. M+12    2    X density, unsigned big-endian
//   M+13 .. M+14    2    Y density, unsigned big-endian
//
// None of the ten bytes M+1 .. M+10 may be FF: an FF among them starts a new
// marker match at that byte. The identifier test keeps an FF E0 inside Exif
// data, an ICC profile or data behind the image from being taken for the
// header: without it two bytes of unrelated data would be overwritten.
class DensityScanner {
 public:
  // Feeds the next block of the file. Returns true once the verdict is known;
  // later blocks are then not needed.
  bool feed(const std::uint8_t* data, std::size_t size);

  // The verdict once the file has ended (or once feed returned true).
  ScanResult finish();

  // Meaningful only when finish() returned a position.
  const PatchValue& patch_value() const { return patch_value_; }

 private:
  enum class Phase { kSoi, kSearch, kDensities, kDone };

  void feed_soi(std::uint8_t byte);
  std::size_t feed_search(const std::uint8_t* data, std::size_t size);
  static std::size_t find_marker_candidate(const std::uint8_t* data, std::size_t index,
                                           std::size_t size);
  void step_marker_state(std::uint8_t byte);
  void feed_density(std::uint8_t byte);
  void decide();

  Phase phase_ = Phase::kSoi;
  ScanResult result_ = kFair;
  PatchValue patch_value_{};
  std::int64_t soi_bytes_read_ = 0;
  std::uint8_t soi_[2]{};
  std::int64_t next_position_ = 0;  // position of the next byte to be read
  int marker_state_ = 0;            // 0 searching, 1 after FF, 2..12 counting after E0
  std::uint8_t densities_[4]{};
  int density_bytes_ = 0;
};

}  // namespace quadrell
