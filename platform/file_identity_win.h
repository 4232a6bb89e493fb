#pragma once

#include <windows.h>

#include "platform/file_identity.h"

namespace quadrell::fs {

// The identity of the file GetFileInformationByHandle tells of: its
// volume's serial number and its file index.
inline FileIdentity identity_of(const BY_HANDLE_FILE_INFORMATION& information) {
  return {information.dwVolumeSerialNumber,
          (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

}  // namespace quadrell::fs
