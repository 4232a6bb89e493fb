#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>

#include "engine/density_scan.h"
#include "tests/test_files.h"

namespace quadrell {
namespace {

using testing::Bytes;
using testing::concat;
using testing::jfif_file;
using testing::macbinary_file;

const Bytes kJfifApp0 = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00};

Bytes densities(std::uint16_t x, std::uint16_t y) {
  return {static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x),
          static_cast<std::uint8_t>(y >> 8), static_cast<std::uint8_t>(y)};
}

Bytes prefix(const Bytes& bytes, std::size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

struct Layout {
  const char* name;
  Bytes bytes;
  ScanResult result;
  PatchValue value;  // checked only for a positive result
};

std::ostream& operator<<(std::ostream& out, const Layout& layout) { return out << layout.name; }

// An SOS segment and a little compressed data, then EOI.
const Bytes kImageData = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00,
                          0x3F, 0x00, 0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9};

const Layout kLayouts[] = {
    {"Empty", {}, kNotJpeg, {}},
    {"OneByte", {0xFF}, kNotJpeg, {}},
    {"SoiBytesSwapped", {0xD8, 0xFF, 0xFF, 0xE0}, kNotJpeg, {}},
    {"TextFile", Bytes(200, 'a'), kNotJpeg, {}},
    {"ShortWithoutSoi", Bytes(129, 0x00), kNotJpeg, {}},
    {"SoiOnlyAt129", concat({Bytes(128, 0x00), {0xFF}}), kNotJpeg, {}},
    {"XSmaller", jfif_file(0x0048, 0x0060), 15, {0x00, 0x60}},
    {"YSmaller", jfif_file(0x0060, 0x0048), 17, {0x00, 0x60}},
    {"Equal", jfif_file(0x0048, 0x0048), kFair, {}},
    {"ComparedUnsigned", jfif_file(0xFFFF, 0x0001), 17, {0xFF, 0xFF}},
    {"HighByteDecides", jfif_file(0x0100, 0x00FF), 17, {0x01, 0x00}},
    {"MacBinaryXSmaller", macbinary_file(0x0048, 0x0060), 143, {0x00, 0x60}},
    {"MacBinaryYSmaller", macbinary_file(0x0060, 0x0048), 145, {0x00, 0x60}},
    {"MacBinaryEqual", macbinary_file(0x0048, 0x0048), kFair, {}},
    {"HeaderSkippedEvenWhenItHoldsFfE0",
     concat({{0x00, 0x00, 0xFF, 0xE0}, Bytes(124, 0x00), jfif_file(1, 2)}),
     143,
     {0x00, 0x02}},
    // FF D8, fill byte FF, then FF E0: the X density moves to 16.
    {"FillByte",
     concat({{0xFF, 0xD8, 0xFF}, prefix(kJfifApp0, 12), densities(1, 2)}),
     16,
     {0x00, 0x02}},
    {"ManyFillBytes",
     concat({{0xFF, 0xD8, 0xFF, 0xFF, 0xFF}, kJfifApp0, densities(2, 1)}),
     20,
     {0x00, 0x02}},
    // Inside a segment an FF is data, wherever it stands: the walk never
    // restarts there. A non-JFIF APP0 holding a JFIF look-alike:
    {"FfInsideApp0IsData",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J'},
             kJfifApp0,
             {0x00},
             kJfifApp0,
             densities(3, 4)}),
     33,
     {0x00, 0x04}},
    // The length FF E0 takes the walk past the end.
    {"FfE0AsLength", concat({{0xFF, 0xD8, 0xFF, 0xE0}, kJfifApp0, densities(3, 4)}), kFair, {}},
    // A JFIF header with a 15 x 11 thumbnail has the length 0x01FF.
    {"ThumbnailLengthWithFf",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x01, 0xFF, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x02, 0x01},
             densities(72, 144),
             {0x0F, 0x0B},
             Bytes(495, 0xFF),
             kImageData}),
     15,
     {0x00, 0x90}},
    {"LengthFfxx",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0x04, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x02, 0x01},
             densities(144, 72),
             Bytes(0xFF04 - 16, 0x00),
             kImageData}),
     17,
     {0x00, 0x90}},
    {"FfInVersionAndUnits",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0xFF, 0xFF, 0xFF},
             densities(1, 2)}),
     15,
     {0x00, 0x02}},
    // Equal densities under a thumbnail length, then Exif holding a JFIF
    // look-alike: nothing in the Exif data is the image's header.
    {"EqualThenLookAlikeInExif",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x01, 0xFF, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x02, 0x01},
             densities(72, 72),
             Bytes(497, 0x00),
             {0xFF, 0xE1, 0x46, 0x58, 'E', 'x', 'i', 'f', 0x00, 0x00},
             Bytes(18000, 0x00),
             kJfifApp0,
             densities(1, 2),
             Bytes(18000 - 30, 0x00),
             kImageData}),
     kFair,
     {}},
    // Bytes between segments are passed over, as decoders pass them.
    {"E0WithoutFfIgnored",
     concat({{0xFF, 0xD8, 0xE0, 0xE0}, kJfifApp0, densities(5, 6)}),
     17,
     {0x00, 0x06}},
    {"StrayBytesBetweenSegments",
     concat({{0xFF, 0xD8, 0x00, 0x11, 0x22},
             {0xFF, 0xE1, 0x00, 0x04, 0xFF, 0xE0},  // APP1 whose payload holds FF E0
             {0x33, 0x44},
             kJfifApp0,
             densities(1, 2)}),
     26,
     {0x00, 0x02}},
    // 00, 01 and D0..D8 have no length behind them.
    {"MarkersWithoutSegment",
     concat({{0xFF, 0xD8, 0xFF, 0x01, 0xFF, 0xD0, 0xFF, 0xD8, 0xFF, 0x00},
             kJfifApp0,
             densities(1, 2)}),
     23,
     {0x00, 0x02}},
    // A camera file: Exif and no JFIF header; nothing behind SOS is looked at.
    {"NoApp0",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0x00, 0x00},
             {0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00},
             kImageData}),
     kFair,
     {}},
    {"SosBeforeApp0", concat({{0xFF, 0xD8}, kImageData, kJfifApp0, densities(1, 2)}), kFair, {}},
    {"EoiBeforeApp0", concat({{0xFF, 0xD8, 0xFF, 0xD9}, kJfifApp0, densities(1, 2)}), kFair, {}},
    // Multi-picture and gain-map files: a whole JFIF image behind the first.
    {"JfifImageAppended",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0x00, 0x00},
             kImageData,
             jfif_file(1, 2)}),
     kFair,
     {}},
    {"LengthBelowTwo",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01}, kJfifApp0, densities(1, 2)}),
     kFair,
     {}},
    {"NonJfifApp0Only",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'X', 'X', 0x00, 0x01, 0x01, 0x00},
             densities(1, 2)}),
     kFair,
     {}},
    {"IdentifierWithoutNul",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', '!', 0x01, 0x01, 0x00},
             densities(1, 2)}),
     kFair,
     {}},
    // Shorter than 16 it cannot hold the densities: passed over by its length.
    {"JfifApp0ShorterThan16",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x0E, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00},
             densities(1, 2),
             kJfifApp0,
             densities(5, 6)}),
     31,
     {0x00, 0x06}},
    {"NonJfifApp0ThenJfifApp0",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x0E, 'A', 'V', 'I', '1', 0x00, 0x01, 0x01, 0x00},
             densities(1, 2),
             kJfifApp0,
             densities(7, 9)}),
     31,
     {0x00, 0x09}},
    {"ShortNonJfifApp0FollowedDirectlyByJfifApp0",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x0A, 'J', 'F', 'X', 'X', 0x00, 0x01, 0x01, 0x00},
             kJfifApp0,
             densities(1, 2)}),
     27,
     {0x00, 0x02}},
    {"FfE0InsideExif",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x20, 'E', 'x', 'i', 'f', 0x00, 0x00},
             {0xFF, 0xE0, 0x00, 0x10, 0x41, 0x42, 0x43, 0x44, 0x45, 0x01, 0x01, 0x00},
             densities(0x48, 0x60),
             Bytes(14, 0x00),
             {0xFF, 0xDB, 0x00, 0x04, 0, 0, 0xFF, 0xD9}}),
     kFair,
     {}},
    {"FfE0AfterEndOfImage",
     concat({{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xD9},
             {0xFF, 0xE0, 0x00, 0x10, 0x00, 0x00, 0x00, 0x18, 'f', 't', 'y', 'p'},
             densities(0x0100, 0x0200),
             Bytes(100, 0x00)}),
     kFair,
     {}},
    // The JFIF thumbnail inside an Exif segment before the image's own
    // header is not the image's: the own header decides.
    {"ExifThumbnailBeforeOwnHeader",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x2E, 'E', 'x', 'i', 'f', 0x00, 0x00, 0xFF, 0xD8},
             kJfifApp0,
             densities(1, 2),
             Bytes(20, 0x00),
             kJfifApp0,
             densities(3, 4)}),
     63,
     {0x00, 0x04}},
    {"FirstJfifApp0Decides",
     concat({{0xFF, 0xD8}, kJfifApp0, densities(4, 4), kJfifApp0, densities(1, 2)}),
     kFair,
     {}},
    {"App0BehindLargeSegment",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x13, 0x8A},
             Bytes(5000, 0x00),
             kJfifApp0,
             densities(0x12C, 0x96)}),
     5021,
     {0x01, 0x2C}},
    // FF at position 2048, the last byte of the first read; E0 in the next.
    {"MarkerAcrossFirstRead",
     concat({{0xFF, 0xD8}, Bytes(2045, 0x00), kJfifApp0, densities(2, 1)}),
     2062,
     {0x00, 0x02}},
};

// A file in memory, read in pieces of at most max_read bytes; counts the
// bytes asked for.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const Bytes& bytes, std::size_t max_read) : bytes_(bytes), max_read_(max_read) {}
  Result<std::size_t> read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override {
    const auto at = static_cast<std::size_t>(offset);
    if (at >= bytes_.size()) return 0;
    const std::size_t count = std::min({size, max_read_, bytes_.size() - at});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at), count, data);
    bytes_read += count;
    return count;
  }
  std::size_t bytes_read = 0;

 private:
  const Bytes& bytes_;
  const std::size_t max_read_;
};

class ScanLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(ScanLayout, FileGivesResultAndValue) {
  const Layout& layout = GetParam();
  testing::TempDir dir;
  const auto path = dir / "image.jpg";
  testing::write_bytes(path, layout.bytes);

  ScanDetail detail;
  detail.value = {0xAA, 0xBB};
  EXPECT_EQ(scan_density(testing::file_at(path), detail), layout.result);
  if (layout.result > 0) {
    EXPECT_EQ(detail.value, layout.value);
  } else {
    EXPECT_EQ(detail.value, (PatchValue{0xAA, 0xBB})) << "value written without a position";
  }
  EXPECT_EQ(testing::read_bytes(path), layout.bytes) << "the scan changed the file";
}

// The verdict must not depend on how the reads split the file: buffers of
// every small size, and reads that return less than asked.
TEST_P(ScanLayout, EveryReadSizeGivesTheSameVerdict) {
  const Layout& layout = GetParam();
  std::vector<std::uint8_t> buffer(4096);
  for (const std::size_t max_read : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
    for (std::size_t size = 1; size <= buffer.size(); size += size < 40 ? 1 : 509) {
      MemorySource source(layout.bytes, max_read);
      ScanDetail detail;
      const ScanResult result = scan_header(source, std::span(buffer.data(), size), detail);
      ASSERT_EQ(result, layout.result) << "buffer " << size << ", reads of " << max_read;
      if (result > 0) {
        ASSERT_EQ(detail.value, layout.value) << "buffer " << size;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ScanLayout, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// Every prefix of a plain JFIF file whose X density is the smaller: no
// position is returned until both density fields are wholly in the file.
TEST(ScanTruncation, EveryCutOfTheHeader) {
  const Bytes whole = jfif_file(0x0048, 0x0060);
  testing::TempDir dir;
  for (std::size_t length = 0; length <= 18; ++length) {
    const auto path = dir / "cut.jpg";
    testing::write_bytes(path, prefix(whole, length));
    ScanDetail detail;
    const ScanResult expected = length < 2 ? kNotJpeg : length < 18 ? kFair : 15;
    EXPECT_EQ(scan_density(testing::file_at(path), detail), expected) << "length " << length;
  }
}

TEST(ScanTruncation, EveryCutBehindMacBinaryHeader) {
  const Bytes whole = macbinary_file(0x0060, 0x0048);
  testing::TempDir dir;
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    const auto path = dir / "cut.jpg";
    testing::write_bytes(path, prefix(whole, length));
    ScanDetail detail;
    const ScanResult expected = length < 130 ? kNotJpeg : length < 146 ? kFair : 145;
    EXPECT_EQ(scan_density(testing::file_at(path), detail), expected) << "length " << length;
  }
}

// A camera photo: the walk reads the start of the file and the segment
// headers it jumps to, never the payloads it passes over or the image data.
TEST(ScanReads, OnlyTheSegmentHeaders) {
  const Bytes photo = concat({{0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xF0},  // Exif, 65520 bytes
                              Bytes(65518, 0x00),
                              {0xFF, 0xE2, 0x40, 0x00},  // ICC profile, 16384 bytes
                              Bytes(16382, 0xFF),
                              kImageData,
                              Bytes(1 << 20, 0xFF)});
  std::vector<std::uint8_t> buffer(65536);
  MemorySource source(photo, photo.size());
  ScanDetail detail;
  EXPECT_EQ(scan_header(source, buffer, detail), kFair);
  EXPECT_LE(source.bytes_read, 3u * 2048u);
}

}  // namespace
}  // namespace quadrell
