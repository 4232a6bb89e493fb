#pragma once

#include <vector>

#include "engine/name_pattern.h"
#include "platform/directory.h"
#include "platform/native_path.h"

namespace quadrell {

// What a walk of a folder tells, in the order it finds it.
class TreeVisitor {
 public:
  // As a folder's listing begins, by its name as shown.
  virtual void listing(const NativePath& shown) = 0;
  // A plain file no exclude matches: shown, its path as the log shows it;
  // name, its own.
  virtual void file(const fs::FileRef& file, const NativePath& shown, const NativePath& name) = 0;
  // A folder that cannot be opened or listed to its end, by its name.
  virtual void unlisted(const NativePath& shown, SystemError error) = 0;
  // Asked before each folder: true ends the walk.
  virtual bool stopped() const = 0;

 protected:
  ~TreeVisitor() = default;
};

// The plain files of the folder at path, then with recursive those of each
// subfolder, depth first, each subfolder opened from its parent: a link put
// in a subfolder's place is never entered. shown is the folder's name in
// the log, prefix what its files' names begin with. A file or subfolder an
// exclude matches is passed over. One shown prefix is kept for the whole
// walk, so that memory grows with the depth, not with its square, and the
// walk keeps its own stack, not the thread's.
void walk_tree(const NativePath& path, const NativePath& shown, const NativePath& prefix,
               bool recursive, const std::vector<NamePattern>& exclude, TreeVisitor& visitor);

}  // namespace quadrell
