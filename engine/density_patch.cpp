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

// Reads exactly size bytes at offset; false when the file ends first.
Result<bool> read_fully(ByteSource& file, std::int64_t offset, std::uint8_t* data,
                        std::size_t size) {
  while (size > 0) {
    const Result<std::size_t> count = file.read_at(offset, data, size);
    if (!count) return failure(count.error());
    if (*count == 0) return false;
    offset += static_cast<std::int64_t>(*count);
    data += *count;
    size -= *count;
  }
  return true;
}

// Writes the bytes from the first on; done receives how many were written.
Result<> write_fully(PatchTarget& file, std::int64_t offset, const std::uint8_t* data,
                     std::size_t size, std::size_t& done) {
  for (done = 0; done < size;) {
    const Result<std::size_t> count =
        file.write_at(offset + static_cast<std::int64_t>(done), data + done, size - done);
    if (!count) return failure(count.error());
    if (*count == 0) return failure(kNothingWritten);
    done += *count;
  }
  return {};
}

// The times a write took set back (the file open on POSIX, closed on
// Windows), with left the times it is left with where asked for. A file
// system that cannot hold a time (FAT's two seconds) keeps the nearest it
// can: times put back that do not read back the same did not hold.
Result<> put_times_back(fs::PatchFile& target, const TimesPolicy& policy,
                        std::optional<fs::FileTimes>& left) {
  const fs::FileTimes* given = policy.put_back;
  const Result<fs::FileTimes> times =
      given != nullptr ? Result<fs::FileTimes>(*given) : target.saved_times();
  if (!times) return failure(times.error());
  if (policy.written) {
    if (const Result<fs::FileTimes> now = target.times_now()) policy.written(now->last_write);
  }
  const Result<> set = target.set_times(*times);
  if (given == nullptr) {
    // Read from this file a moment ago: the file system holds them as they are.
    if (set && policy.left == TimesLeft::kRead) left = *times;
    if (set || policy.left == TimesLeft::kUnread) return set;
  }
  const Result<fs::FileTimes> now = target.times_now();
  if (now) left = *now;
  if (set && now && given != nullptr && now->last_write != given->last_write) {
    return failure(kTimesRounded);
  }
  return set;
}

}  // namespace

Result<bool> unchanged(ByteSource& file, ScanResult position, const ScanDetail& detail) {
  const std::int64_t x_offset = std::int64_t{position} - 1 - (detail.at_x ? 0 : 2);
  std::array<std::uint8_t, kCheckedSpan> held{};
  const Result<bool> read =
      read_fully(file, x_offset - kIdentifierBeforeX, held.data(), held.size());
  if (!read) return read;
  // A file that ends before the densities no longer holds them.
  return *read && std::memcmp(held.data(), jfif::kIdentifier, sizeof jfif::kIdentifier) == 0 &&
         std::memcmp(held.data() + kDensitiesAt, detail.densities.data(), jfif::kDensityBytes) == 0;
}

bool write_if_unchanged(PatchTarget& file, ScanResult position, const ScanDetail& detail,
                        PatchResult& result, const std::function<bool()>& approve) {
  const Result<bool> same = unchanged(file, position, detail);
  if (!same || !*same) {
    result.outcome = same ? PatchOutcome::kChanged : PatchOutcome::kFailed;
    result.error = same.error();
    return false;
  }
  if (approve && !approve()) {
    result.outcome = PatchOutcome::kRefused;
    return false;
  }

  const std::int64_t offset = std::int64_t{position} - 1;
  std::size_t written = 0;
  const Result<> write =
      write_fully(file, offset, detail.value.data(), detail.value.size(), written);
  if (write) {
    result.outcome = PatchOutcome::kWritten;
    return true;
  }
  result.outcome = PatchOutcome::kFailed;
  result.error = write.error();
  if (written == 1) {
    // One density byte alone would be a value nobody wrote: put back the
    // one the check found there.
    const std::uint8_t before = detail.densities[detail.at_x ? 0 : 2];
    std::size_t put_back = 0;
    write_fully(file, offset, &before, 1, put_back);
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
    if (policy.left == TimesLeft::kRead) {
      if (const Result<fs::FileTimes> now = target.times_now()) left = *now;
    }
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
