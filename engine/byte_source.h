#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/density_types.h"

namespace quadrell {

// Positioned reads of one open file: all the scan asks of it.
class ByteSource {
 public:
  // Reads up to size bytes from the 0-based offset. Returns how many were
  // read, 0 at or past the end of the file, or -1 when the read failed.
  virtual std::int64_t read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) = 0;

 protected:
  ~ByteSource() = default;
};

}  // namespace quadrell

namespace quadrell {

// A file that the patch reads back and writes in place.
class PatchTarget : public ByteSource {
 public:
  // Writes up to size bytes at the 0-based offset. Returns how many were
  // written, or -1 when the write failed.
  virtual std::int64_t write_at(std::int64_t offset, const std::uint8_t* data,
                                std::size_t size) = 0;
  // Why the last read or write failed.
  virtual SystemError error() const = 0;

 protected:
  ~PatchTarget() = default;
};

}  // namespace quadrell
