#include <gtest/gtest.h>

#include <filesystem>

#include "engine/density_scanner.h"
#include "engine/scan_density.h"
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
    // An FF within the ten counted bytes starts a new match there.
    {"RestartInsideCount",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J'}, kJfifApp0, densities(3, 4)}),
     20,
     {0x00, 0x04}},
    {"RestartAtLengthByte",
     concat({{0xFF, 0xD8, 0xFF, 0xE0}, kJfifApp0, densities(3, 4)}),
     17,
     {0x00, 0x04}},
    {"E0WithoutFfIgnored",
     concat({{0xFF, 0xD8, 0xE0, 0xE0}, kJfifApp0, densities(5, 6)}),
     17,
     {0x00, 0x06}},
    // A JPEG whose only application segment is APP1 is read to its end.
    {"NoApp0",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0x00, 0x00},
             Bytes(10000, 0x11),
             {0xFF, 0xD9}}),
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
    {"NonJfifApp0ThenJfifApp0",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'A', 'V', 'I', '1', 0x00, 0x01, 0x01, 0x00},
             densities(1, 2),
             kJfifApp0,
             densities(7, 9)}),
     31,
     {0x00, 0x09}},
    // The search goes on right behind the ten counted bytes of a skipped one.
    {"NonJfifApp0FollowedDirectlyByJfifApp0",
     concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'X', 'X', 0x00, 0x01, 0x01, 0x00},
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
    // An embedded JFIF thumbnail that comes before any APP0 is taken.
    {"EmbeddedThumbnailFirst",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x30, 'E', 'x', 'i', 'f', 0x00, 0x00, 0xFF, 0xD8},
             kJfifApp0,
             densities(1, 2),
             Bytes(20, 0x00),
             kJfifApp0,
             densities(5, 5)}),
     27,
     {0x00, 0x02}},
    {"FirstJfifApp0Decides",
     concat({{0xFF, 0xD8}, kJfifApp0, densities(4, 4), kJfifApp0, densities(1, 2)}),
     kFair,
     {}},
    {"App0BeyondFirstRead",
     concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x13, 0x88},
             Bytes(5000, 0x00),
             kJfifApp0,
             densities(0x12C, 0x96)}),
     5021,
     {0x01, 0x2C}},
    // FF at position 4096, the last byte of the first read; E0 in the next.
    {"MarkerAcrossFirstRead",
     concat({{0xFF, 0xD8}, Bytes(4093, 0x00), kJfifApp0, densities(2, 1)}),
     4110,
     {0x00, 0x02}},
};

class ScanLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(ScanLayout, FileGivesResultAndValue) {
  const Layout& layout = GetParam();
  testing::TempDir dir;
  const auto path = dir / "image.jpg";
  testing::write_bytes(path, layout.bytes);

  PatchValue value{0xAA, 0xBB};
  EXPECT_EQ(scan_density(testing::native(path), value), layout.result);
  if (layout.result > 0) {
    EXPECT_EQ(value, layout.value);
  } else {
    EXPECT_EQ(value, (PatchValue{0xAA, 0xBB})) << "value written without a position";
  }
  EXPECT_EQ(testing::read_bytes(path), layout.bytes) << "the scan changed the file";
}

// The verdict must not depend on where the reads split the file.
TEST_P(ScanLayout, EverySplitGivesTheSameVerdict) {
  const Layout& layout = GetParam();
  const std::size_t size = layout.bytes.size();
  for (std::size_t split = 0; split <= size; split += (size > 300 && split > 200 ? 97 : 1)) {
    DensityScanner scanner;
    if (!scanner.feed(layout.bytes.data(), split)) {
      scanner.feed(layout.bytes.data() + split, size - split);
    }
    const ScanResult result = scanner.finish();
    ASSERT_EQ(result, layout.result) << "split at " << split;
    if (result > 0) {
      ASSERT_EQ(scanner.patch_value(), layout.value) << "split at " << split;
    }
  }
  DensityScanner bytewise;
  for (std::size_t i = 0; i < size && !bytewise.feed(&layout.bytes[i], 1); ++i) {
  }
  EXPECT_EQ(bytewise.finish(), layout.result);
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
    PatchValue value{};
    const ScanResult expected = length < 2 ? kNotJpeg : length < 18 ? kFair : 15;
    EXPECT_EQ(scan_density(testing::native(path), value), expected) << "length " << length;
  }
}

TEST(ScanTruncation, EveryCutBehindMacBinaryHeader) {
  const Bytes whole = macbinary_file(0x0060, 0x0048);
  testing::TempDir dir;
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    const auto path = dir / "cut.jpg";
    testing::write_bytes(path, prefix(whole, length));
    PatchValue value{};
    const ScanResult expected = length < 130 ? kNotJpeg : length < 146 ? kFair : 145;
    EXPECT_EQ(scan_density(testing::native(path), value), expected) << "length " << length;
  }
}

}  // namespace
}  // namespace quadrell
