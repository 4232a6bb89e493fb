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

// The times a write took set back (the file open on POSIX, closed on
// Windows), with left the times it is left with where asked for. A file
// system that cannot hold a time (FAT's two seconds) keeps the nearest it
// can: times put back that do not read back the same did not hold.
Result<> put_times_back(fs::PatchFile& target, const TimesPolicy& policy,
                        std::optional<fs::FileTimes>& left) {
  const Result<fs::FileTimes> saved =
      policy.put_back != nullptr ? Result<fs::FileTimes>(*policy.put_back) : target.saved_times();
  if (!saved) return failure(saved.error());
  if (policy.written) {
    if (const Result<fs::FileTimes> now = target.times_now()) policy.written(now->last_write);
  }
  const Result<> set = target.set_times(*saved);
  const bool reads_left = policy.left == TimesLeft::kRead;
  if (set && reads_left && policy.put_back == nullptr) {
    left = *saved;  // read from this file a moment ago, so the file system holds them as they are
    return set;
  }
  if (!reads_left && policy.put_back == nullptr) return set;
  const Result<fs::FileTimes> now = target.times_now();
  if (!now) return set;
  left = *now;
  if (set && policy.put_back != nullptr && now->last_write != policy.put_back->last_write) {
    return failure(kTimesRounded);
  }
  return set;
}

}  // namespace

bool write_if_unchanged(PatchTarget& file, ScanResult position, const ScanDetail& detail,
                        PatchResult& result, const std::function<bool()>& approve) {
  const auto& densities = detail.densities;
  const std::int64_t x_offset = std::int64_t{position} - 1 - (detail.at_x ? 0 : 2);

  std::array<std::uint8_t, kCheckedSpan> held{};
  if (!read_fully(file, x_offset - kIdentifierBeforeX, held.data(), held.size())) {
    result.error = file.error();
    // Without a reason, the file ends before the densities.
    result.outcome = result.error == 0 ? PatchOutcome::kChanged : PatchOutcome::kFailed;
    return false;
  }
  if (std::memcmp(held.data(), jfif::kIdentifier, sizeof jfif::kIdentifier) != 0 ||
      std::memcmp(held.data() + kDensitiesAt, densities.data(), densities.size()) != 0) {
    result.outcome = PatchOutcome::kChanged;
    return false;
  }
  if (approve && !approve()) {
    result.outcome = PatchOutcome::kRefused;
    return false;
  }

  const std::int64_t offset = std::int64_t{position} - 1;
  const std::size_t written = write_fully(file, offset, detail.value.data(), detail.value.size());
  if (written == detail.value.size()) {
    result.outcome = PatchOutcome::kWritten;
    return true;
  }
  result.outcome = PatchOutcome::kFailed;
  result.error = file.error() != 0 ? file.error() : kNothingWritten;
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

PatchResult patch_density(const fs::FileRef& file, ScanResult position, const ScanDetail& detail,
                          KeepTimes keep_times, const Approval& approve, TimesLeft times_left) {
  PatchResult result;
  Result<fs::PatchFile> target = fs::PatchFile::open(file, keep_times);
  if (!target) {
    result.error = target.error();
    return result;
  }
  result.identity = target->identity();
  result.change = planned_change(position, detail);
  result.change.identity = result.identity;
  result.change.size = target->size();
  result.change.times = target->times();
  const bool touched = write_if_unchanged(*target, position, detail, result,
                                          [&] { return !approve || approve(result.change); });
  close_patch(*target, touched, {keep_times, times_left, nullptr, {}}, result);
  return result;
}

void close_patch(fs::PatchFile& target, bool touched, const TimesPolicy& policy,
                 PatchResult& result) {
  std::optional<fs::FileTimes> left;
  Result<> times;
  Result<> closed;
  if (!touched) {
    closed = target.close();
  } else if (policy.keep == KeepTimes::kNo && policy.put_back == nullptr) {
    const auto now = policy.left == TimesLeft::kRead ? target.times_now() : failure(0);
    if (now) left = *now;
    closed = target.close();
  } else if constexpr (fs::kTimesAfterClose) {
    closed = target.close();  // Windows: the close of a written file may move them
    times = put_times_back(target, policy, left);
  } else {
    times = put_times_back(target, policy, left);
    closed = target.close();
  }
  if (!written(result.outcome)) return;
  if (!closed) {
    result.outcome = PatchOutcome::kFailed;
    result.error = closed.error();
    return;
  }
  if (!times) {
    result.outcome = PatchOutcome::kTimesNotPutBack;
    result.error = times.error();
  }
  result.left = left;
}

}  // namespace quadrell
