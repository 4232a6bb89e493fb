#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/system_error.h"

namespace quadrell {

// Positioned reads of one open file.
class ByteSource {
 public:
  // Reads up to size bytes from the 0-based offset: how many were read, 0 at
  // or past the end of the file.
  virtual Result<std::size_t> read_at(std::int64_t offset, std::uint8_t* data,
                                      std::size_t size) = 0;

 protected:
  ~ByteSource() = default;
};

// A file that is read back and written in place.
class PatchTarget : public ByteSource {
 public:
  // Writes up to size bytes at the 0-based offset: how many were written.
  virtual Result<std::size_t> write_at(std::int64_t offset, const std::uint8_t* data,
                                       std::size_t size) = 0;

 protected:
  ~PatchTarget() = default;
};

}  // namespace quadrell
