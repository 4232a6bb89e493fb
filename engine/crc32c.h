#pragma once

#include <cstdint>
#include <string_view>

namespace quadrell {

// CRC-32C (Castagnoli), the check of iSCSI, ext4 and e2undo: it finds every
// burst of errors up to 32 bits, so a record cut, joined or retyped anywhere
// no longer matches its check.
std::uint32_t crc32c(std::string_view bytes);

}  // namespace quadrell
