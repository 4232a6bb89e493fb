#include "engine/density_patch.h"

#include <array>
#include <cstring>

#include "engine/density_scan.h"

namespace quadrell {
namespace {

// From the identifier to the end of the Y density, relative to the X density.
constexpr std::int64_t kIdentifierBeforeX = jfif::kXDensityAfterCode - jfif::kIdentifierAfterCode;
constexpr std::size_t kDensitiesAt = static_cast<std::size_t>(kIdentifierBeforeX);
constexpr std::size_t kCheckedSpan = kDensitiesAt + jfif::kDensityBytes;

// Reads exactly size bytes at offset; false when the file ends first or a
// read fails.
bool read_fully(PatchTarget& file, std::int64_t offset, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const std::int64_t count = file.read_at(offset, data, size);
    if (count <= 0) return false;
    offset += count;
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

// Writes the bytes from the first on; returns how many of them were written.
std::size_t write_fully(PatchTarget& file, std::int64_t offset, const std::uint8_t* data,
                        std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::int64_t count =
        file.write_at(offset + static_cast<std::int64_t>(done), data + done, size - done);
    if (count <= 0) break;
    done += static_cast<std::size_t>(count);
  }
  return done;
}

}  // namespace

bool write_if_unchanged(PatchTarget& file, ScanResult position, const ScanDetail& detail,
                        PatchOutcome& outcome, const std::function<bool()>& approve) {
  const auto& densities = detail.densities;
  const std::int64_t x_offset = std::int64_t{position} - 1 - (detail.at_x ? 0 : 2);

  std::array<std::uint8_t, kCheckedSpan> held{};
  if (!read_fully(file, x_offset - kIdentifierBeforeX, held.data(), held.size())) {
    outcome.error = file.error();
    outcome.changed = outcome.error == 0;  // the file ends before the densities
    return false;
  }
  if (std::memcmp(held.data(), jfif::kIdentifier, sizeof jfif::kIdentifier) != 0 ||
      std::memcmp(held.data() + kDensitiesAt, densities.data(), densities.size()) != 0) {
    outcome.changed = true;
    return false;
  }
  if (approve && !approve()) {
    outcome.refused = true;
    return false;
  }

  const std::int64_t offset = std::int64_t{position} - 1;
  const std::size_t written = write_fully(file, offset, detail.value.data(), detail.value.size());
  if (written == detail.value.size()) {
    outcome.written = true;
    return true;
  }
  outcome.error = file.error();
  if (written == 1) {
    // One density byte alone would be a value nobody wrote: put it back.
    const std::uint8_t before = held[static_cast<std::size_t>(offset - x_offset) + kDensitiesAt];
    write_fully(file, offset, &before, 1);
  }
  return written > 0;
}

DensityChange planned_change(ScanResult position, const ScanDetail& detail) {
  const std::size_t at = detail.at_x ? 0 : 2;
  return {position,     detail.at_x,     {detail.densities[at], detail.densities[at + 1]},
          detail.value, detail.identity, detail.size,
          detail.times};
}

PatchOutcome patch_density(const fs::FileRef& file, ScanResult position, const ScanDetail& detail,
                           KeepTimes keep_times, const Approval& approve,
                           const fs::FileTimes* put_back, TimesLeft times_left) {
  PatchOutcome outcome;
  fs::PatchFile target(file, keep_times);
  outcome.identity = target.identity();
  if (!target.is_open()) {
    outcome.error = target.error();
    return outcome;
  }
  if (put_back != nullptr) target.put_back_times(*put_back);
  if (times_left == TimesLeft::kRead) target.read_times_left();
  outcome.change = planned_change(position, detail);
  outcome.change.identity = outcome.identity;
  outcome.change.size = target.size();
  outcome.change.times = target.times();
  const bool touched = write_if_unchanged(target, position, detail, outcome,
                                          [&] { return !approve || approve(outcome.change); });
  close_patch(target, touched, outcome);
  return outcome;
}

void close_patch(fs::PatchFile& target, bool touched, PatchOutcome& outcome) {
  const fs::PatchFile::Closing closing = target.close(touched);
  if (!closing.closed && outcome.written) {
    outcome.written = false;
    outcome.error = closing.error;
  }
  outcome.times = closing.times;
  outcome.times_error = closing.times_error;
  outcome.left_known = closing.left_known && outcome.written;
  outcome.left = closing.left;
}

}  // namespace quadrell
