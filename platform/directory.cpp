#include "platform/directory.h"

namespace quadrell::fs {

Result<FolderRef> open_parent(const FolderRef& child, const FileIdentity& expected) {
  auto parent = open_folder_above(child);
  if (parent && identity_of(*parent) != expected) return failure(kFileReplaced);
  return parent;
}

}  // namespace quadrell::fs
