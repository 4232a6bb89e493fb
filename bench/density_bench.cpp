// Figures for the density scan and patch, each beside a floor measured in the
// same run: the least any program must do for the same job. Prints the
// Google Benchmark table, then the ratios to the floors.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/density_patch.h"
#include "engine/density_scan.h"

namespace {

using quadrell::NativePath;

const NativePath kSmallFile = "/tmp/quadrell-bench-small.jpg";
const NativePath kCameraFile = "/tmp/quadrell-bench-camera.jpg";
constexpr std::size_t kCameraSize = 5 << 20;

void write_file(const NativePath& path, const std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

void make_files() {
  std::vector<unsigned char> small = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',
                                      'F',  0x00, 0x01, 0x01, 0x01, 0x00, 0x48, 0x00, 0x60};
  small.resize(20000, 0x11);  // a small photo's worth of data behind the header
  write_file(kSmallFile, small);
  // A camera photo's layout: Exif (with its thumbnail) of 60 KiB, no JFIF
  // header, tables, then 5 MiB of compressed data.
  std::vector<unsigned char> camera = {0xFF, 0xD8, 0xFF, 0xE1, 0xF0, 0x00};
  camera.resize(camera.size() + 0xF000 - 2, 0x45);
  const unsigned char tables[] = {0xFF, 0xDB, 0x00, 0x43, 0x00};
  camera.insert(camera.end(), tables, tables + sizeof tables);
  camera.resize(camera.size() + 64, 0x10);
  const unsigned char scan[] = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
  camera.insert(camera.end(), scan, scan + sizeof scan);
  camera.resize(kCameraSize, 0x5A);
  write_file(kCameraFile, camera);
}

void BM_ScanSmall(benchmark::State& state) {
  quadrell::ScanDetail detail;
  for (auto _ : state) benchmark::DoNotOptimize(quadrell::scan_density({kSmallFile}, detail));
}

void BM_FloorOpenRead4KiBClose(benchmark::State& state) {
  unsigned char buffer[4096];
  for (auto _ : state) {
    const int fd = ::open(kSmallFile.c_str(), O_RDONLY);
    benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
    ::close(fd);
  }
}

void BM_ScanCameraPhoto(benchmark::State& state) {
  quadrell::ScanDetail detail;
  for (auto _ : state) benchmark::DoNotOptimize(quadrell::scan_density({kCameraFile}, detail));
}

// Writes the X density over itself, so that every round finds the file as
// the scan left it and passes the check before the write.
void BM_Patch(benchmark::State& state) {
  const auto keep = state.range(0) ? quadrell::KeepTimes::kYes : quadrell::KeepTimes::kNo;
  quadrell::ScanDetail detail;
  detail.densities = {0x00, 0x48, 0x00, 0x60};
  detail.value = {0x00, 0x48};
  for (auto _ : state) {
    benchmark::DoNotOptimize(quadrell::patch_density({kSmallFile}, 15, detail, keep));
  }
}

void BM_FloorOpenPwrite2Close(benchmark::State& state) {
  const unsigned char bytes[2] = {0x00, 0x60};
  for (auto _ : state) {
    const int fd = ::open(kSmallFile.c_str(), O_WRONLY);
    benchmark::DoNotOptimize(::pwrite(fd, bytes, 2, 14));
    ::close(fd);
  }
}

BENCHMARK(BM_ScanSmall);
BENCHMARK(BM_FloorOpenRead4KiBClose);
BENCHMARK(BM_ScanCameraPhoto);
BENCHMARK(BM_Patch)->ArgName("keep_times")->Arg(0)->Arg(1);
BENCHMARK(BM_FloorOpenPwrite2Close);

// Keeps each run's time per iteration for the ratio table.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double time(const std::string& name) const {
    const auto found = times_.find(name);
    return found == times_.end() ? 0.0 : found->second;
  }

 private:
  std::map<std::string, double> times_;
};

void print_ratio(const RecordingReporter& reporter, const char* what, const std::string& measured,
                 const std::string& floor, const char* goal) {
  const double floor_time = reporter.time(floor);
  if (floor_time <= 0.0 || reporter.time(measured) <= 0.0) return;
  std::printf("%-44s %6.2f x floor   (%s)\n", what, reporter.time(measured) / floor_time, goal);
}

}  // namespace

int main(int argc, char** argv) {
  make_files();
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nTime per operation against its floor (lower is better):\n");
  print_ratio(reporter, "scan, small JFIF file, open to close", "BM_ScanSmall",
              "BM_FloorOpenRead4KiBClose", "open + read 4 KiB + close; goal <= 1.3");
  print_ratio(reporter, "scan, 5 MiB camera photo, open to close", "BM_ScanCameraPhoto",
              "BM_FloorOpenRead4KiBClose", "open + read 4 KiB + close; goal <= 2");
  print_ratio(reporter, "patch, keep times off", "BM_Patch/keep_times:0",
              "BM_FloorOpenPwrite2Close", "open + pwrite 2 + close; goal <= 1.3");
  print_ratio(reporter, "patch, keep times on", "BM_Patch/keep_times:1", "BM_FloorOpenPwrite2Close",
              "open + pwrite 2 + close; goal <= 1.3");
  benchmark::Shutdown();
  std::remove(kSmallFile.c_str());
  std::remove(kCameraFile.c_str());
}
