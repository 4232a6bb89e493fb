#include "engine/tree_walk.h"

#include <optional>
#include <utility>

namespace quadrell {
namespace {

// One walk of a tree (walk_tree).
struct TreeWalk {
  void walk(const NativePath& path) {
    if (visitor_.stopped()) return;
    const auto top = fs::open_folder(path);
    if (!top) return visitor_.unlisted(top_shown_, top.error());
    list_folder(*top, top_shown_);
    while (!levels_.empty() && !visitor_.stopped()) {
      Level& level = levels_.back();
      if (level.next == level.subfolders.size()) {
        climb_back();
        continue;
      }
      const fs::Subfolder& subfolder = level.subfolders[level.next++];
      prefix_.resize(level.prefix_size);
      const NativePath sub_shown = fs::child_path(prefix_, subfolder.name);
      prefix_ = fs::child_path(sub_shown, {});
      const auto opened = fs::open_subfolder(*level.folder, subfolder);
      if (!opened) {
        visitor_.unlisted(sub_shown, opened.error());
        continue;
      }
      list_folder(*opened, sub_shown);
    }
  }

  // One folder of the tree: its subfolders still to enter, how long the
  // shown prefix of its files is, and how long its own shown name at the
  // start of that prefix (the top's is top_shown_). Only the deepest levels
  // keep their folder open (fs::kFoldersKeptOpen); the others are opened
  // again from their child as the walk climbs back, checked by their
  // identity.
  struct Level {
    std::optional<fs::FolderRef> folder;
    fs::FileIdentity identity;
    std::vector<fs::Subfolder> subfolders;
    std::size_t next = 0;
    std::size_t prefix_size = 0;
    std::size_t shown_size = 0;
    SystemError lost = 0;  // why its folder could not be got back
  };

  // The folder's files; with recursion, its subfolders go on a level.
  void list_folder(const fs::FolderRef& folder, const NativePath& shown) {
    if (visitor_.stopped()) return;
    visitor_.listing(shown);
    std::vector<fs::Subfolder> subfolders;
    const Result<> listed = fs::list_plain_files(
        folder,
        [&](const fs::FileRef& file, const NativePath& name) {
          if (!excluded(name)) visitor_.file(file, fs::child_path(prefix_, name), name);
        },
        recursive_ ? &subfolders : nullptr);
    if (!listed) visitor_.unlisted(shown, listed.error());
    if (!recursive_) return;
    std::erase_if(subfolders,
                  [&](const fs::Subfolder& subfolder) { return excluded(subfolder.name); });
    levels_.push_back(
        {folder, fs::identity_of(folder), std::move(subfolders), 0, prefix_.size(), shown.size()});
    if (levels_.size() > fs::kFoldersKeptOpen)
      levels_[levels_.size() - fs::kFoldersKeptOpen - 1].folder.reset();
  }

  // Leaves the deepest level. The level above gets its folder back from
  // the one left, if it had let go of it: a folder moved away meanwhile
  // is told unlisted, and its other subfolders are not entered; so is the
  // one above a level that could not be got back, for the same reason.
  void climb_back() {
    Level child = std::move(levels_.back());
    levels_.pop_back();
    if (levels_.empty() || levels_.back().folder) return;
    Level& parent = levels_.back();
    const Result<fs::FolderRef> above =
        child.folder ? fs::open_parent(*child.folder, parent.identity) : failure(child.lost);
    if (above) parent.folder = *above;
    parent.lost = above.error();
    if (parent.folder || parent.next == parent.subfolders.size()) return;
    parent.next = parent.subfolders.size();
    visitor_.unlisted(levels_.size() == 1 ? top_shown_ : prefix_.substr(0, parent.shown_size),
                      above.error());
  }

  bool excluded(const NativePath& name) const {
    return !exclude_.empty() && any_matches(exclude_, name);
  }

  TreeVisitor& visitor_;
  const std::vector<NamePattern>& exclude_;
  const bool recursive_;
  const NativePath top_shown_;
  NativePath prefix_;  // what the names of the files being listed begin with
  std::vector<Level> levels_{};
};

}  // namespace

void walk_tree(const NativePath& path, const NativePath& shown, const NativePath& prefix,
               bool recursive, const std::vector<NamePattern>& exclude, TreeVisitor& visitor) {
  TreeWalk{visitor, exclude, recursive, shown, prefix}.walk(path);
}

}  // namespace quadrell
