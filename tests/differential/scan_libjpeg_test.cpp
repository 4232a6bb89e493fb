#include <gtest/gtest.h>

#include <random>

#include "engine/density_scan.h"
#include "tests/differential/scan_differential.h"
#include "tests/test_files.h"

namespace quadrell {
namespace {

// The walk against libjpeg on seeded random headers; the fuzz target
// (fuzz_scan_density) runs the same comparison on recipes it mutates.
TEST(ScanAgainstLibjpeg, SeededHeadersAgree) {
  constexpr int kHeaders = 20000;
  std::mt19937 random(20261207);
  testing::TempDir dir;
  const auto path = dir / "header.jpg";
  int compared = 0;
  int changes = 0;
  for (int run = 0; run < kHeaders; ++run) {
    std::vector<std::uint8_t> recipe(200);
    for (auto& byte : recipe) byte = static_cast<std::uint8_t>(random());
    const testing::GeneratedHeader header = testing::generate_header(recipe.data(), recipe.size());
    testing::write_bytes(path, header.bytes);
    ScanDetail detail;
    const ScanResult result = scan_density(testing::file_at(path), detail);
    const testing::Comparison comparison =
        testing::compare_with_libjpeg(header, result, detail.value);
    ASSERT_EQ(comparison.difference, "") << "header " << run;
    compared += comparison.compared;
    changes += comparison.change;
  }
  // The generator must keep giving headers libjpeg reads, with changes.
  EXPECT_GT(compared, kHeaders / 3);
  EXPECT_GT(changes, kHeaders / 20);
  std::printf("%d of %d headers compared, %d with a change\n", compared, kHeaders, changes);
}

}  // namespace
}  // namespace quadrell
