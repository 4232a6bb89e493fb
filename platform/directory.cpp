#include "platform/directory.h"

namespace quadrell::fs {

std::optional<FolderRef> open_parent(const FolderRef& child, const FileIdentity& expected,
                                     SystemError* error) {
  auto parent = open_folder_above(child, error);
  if (parent && identity_of(*parent) != expected) return failure(error, 0);
  return parent;
}

}  // namespace quadrell::fs
