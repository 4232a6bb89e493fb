#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "engine/process_path.h"
#include "engine/tree_walk.h"
#include "platform/directory.h"
#include "tests/fake_window.h"
#include "tests/test_files.h"

namespace quadrell {
namespace {

using testing::jfif_file;

std::vector<std::string> listed(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  const auto opened = fs::open_folder(folder.native());
  EXPECT_TRUE(opened);
  if (!opened) return names;
  EXPECT_TRUE(fs::list_plain_files(
      *opened, [&](const fs::FileRef&, const std::string& n) { names.push_back(n); }));
  return names;
}

// Creates a file, a folder and a link of each kind; returns the folder.
class PosixFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.jpg", "a.jpg", "B.jpg", "\xC3\xA4.jpg", ".hidden.jpg"}) {
      testing::write_bytes(dir_ / name, jfif_file(1, 1));
    }
    std::filesystem::create_directory(dir_ / "sub.jpg");
    std::filesystem::create_symlink(dir_ / "a.jpg", dir_ / "link-to-file.jpg");
    std::filesystem::create_symlink(dir_ / "sub.jpg", dir_ / "link-to-folder.jpg");
    std::filesystem::create_symlink(dir_ / "gone.jpg", dir_ / "dangling.jpg");
    ASSERT_EQ(::mkfifo((dir_ / "fifo.jpg").c_str(), 0600), 0);
  }

  testing::TempDir dir_;
};

TEST_F(PosixFolder, ListsPlainFilesAndLinksToThemInByteOrder) {
  EXPECT_EQ(listed(dir_.path()), (std::vector<std::string>{"B.jpg", "a.jpg", "b.jpg",
                                                           "link-to-file.jpg", "\xC3\xA4.jpg"}));
}

TEST_F(PosixFolder, FifoNeverBlocksTheRun) {
  testing::FakeWindow window;
  RunCounts counts;
  process_paths(window, {(dir_ / "fifo.jpg").native()}, counts);
  EXPECT_EQ(counts.total, 0);
  process_paths(window, {dir_.path().native()}, counts);
  EXPECT_EQ(counts.total, 5);
  EXPECT_EQ(window.text.find("fifo"), std::string::npos);
}

TEST_F(PosixFolder, LookUp) {
  const std::string folder = std::filesystem::canonical(dir_.path()).native();
  struct Case {
    std::string given;
    std::optional<fs::Entry> entry;
  };
  const Case cases[] = {
      {folder + "/a.jpg", fs::Entry{folder + "/a.jpg", "a.jpg", false}},
      {folder + "/a.jpg/", std::nullopt},  // the system: "Not a directory"
      {folder + "/link-to-file.jpg//", std::nullopt},
      {folder + "/sub.jpg/", fs::Entry{folder + "/sub.jpg", "sub.jpg", true}},
      {folder + "/sub.jpg/.", fs::Entry{folder + "/sub.jpg", "sub.jpg", true}},
      {folder + "/sub.jpg/..", fs::Entry{folder, dir_.path().filename().native(), true}},
      {folder + "//sub.jpg/../a.jpg", fs::Entry{folder + "/a.jpg", "a.jpg", false}},
      // The link keeps its own name; ".." behind a link to a folder is the
      // system's: the parent of the folder the link points to.
      {folder + "/link-to-file.jpg",
       fs::Entry{folder + "/link-to-file.jpg", "link-to-file.jpg", false}},
      {folder + "/link-to-folder.jpg/../b.jpg", fs::Entry{folder + "/b.jpg", "b.jpg", false}},
      {folder + "/link-to-folder.jpg",
       fs::Entry{folder + "/link-to-folder.jpg", "link-to-folder.jpg", true}},
      {folder + "/.hidden.jpg", std::nullopt},
      {folder + "/dangling.jpg", std::nullopt},
      {folder + "/fifo.jpg", std::nullopt},
      {folder + "/missing.jpg", std::nullopt},
      {"/dev/null", std::nullopt},
      {"/", fs::Entry{"/", "/", true}},
      {"//", fs::Entry{"/", "/", true}},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto entry = fs::look_up(c.given);
    ASSERT_EQ(static_cast<bool>(entry), c.entry.has_value()) << c.given;
    if (!entry) continue;
    EXPECT_EQ(entry->path, c.entry->path) << c.given;
    EXPECT_EQ(entry->name, c.entry->name) << c.given;
    EXPECT_EQ(entry->is_folder, c.entry->is_folder) << c.given;
  }
}

TEST_F(PosixFolder, RelativePathsAreMadeAbsolute) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_ / "sub.jpg");
  const auto entry = fs::look_up("../a.jpg");
  const auto dot = fs::look_up(".");
  std::filesystem::current_path(previous);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->path, std::filesystem::canonical(dir_ / "a.jpg").native());
  ASSERT_TRUE(dot);
  EXPECT_EQ(dot->name, "sub.jpg");
}

// Files are opened relative to the listed folder, so a folder deeper than
// PATH_MAX is processed like any other, named by its full path; and with
// recursion, subfolders to a depth of thousands.
TEST(PosixPaths, FoldersBeyondPathMax) {
  testing::TempDir dir;
  std::string deep = std::filesystem::canonical(dir.path()).native();
  int folder = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  const std::string part(200, 'd');
  while (deep.size() <= PATH_MAX) {
    ASSERT_EQ(::mkdirat(folder, part.c_str(), 0700), 0);
    const int inner = ::openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(folder);
    folder = inner;
    deep += "/" + part;
  }
  const int file = ::openat(folder, "a.jpg", O_WRONLY | O_CREAT, 0600);
  const testing::Bytes bytes = jfif_file(1, 2);
  ASSERT_EQ(::write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(file);
  // "." and ".." there, which the system cannot resolve to a full path.
  const int back = ::open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::fchdir(folder), 0);
  const auto here = fs::look_up(".", fs::HiddenNamed::kFound);
  const auto up = fs::look_up("../", fs::HiddenNamed::kFound);
  ASSERT_EQ(::fchdir(back), 0);
  ::close(back);
  EXPECT_TRUE(here && here->is_folder);
  EXPECT_TRUE(up && up->is_folder);
  ::close(folder);

  testing::FakeWindow window;
  RunCounts counts;
  process_paths(window, {deep}, counts);
  EXPECT_EQ(window.text, "a.jpg " + std::string(54, '.') + " 15 16 Change");
  process_paths(window, {deep + "/a.jpg"}, counts);
  EXPECT_EQ(counts.fair, 1) << "a file there is looked up too";

  const int levels = 3000;
  std::filesystem::create_directory(dir / "tree");
  folder = ::open((dir / "tree").c_str(), O_RDONLY | O_DIRECTORY);
  std::string shown;
  for (int level = 0; level < levels; ++level) {
    ASSERT_EQ(::mkdirat(folder, "d", 0700), 0);
    const int inner = ::openat(folder, "d", O_RDONLY | O_DIRECTORY);
    ::close(folder);
    folder = inner;
    shown += "d/";
  }
  const int deepest = ::openat(folder, "z.jpg", O_WRONLY | O_CREAT, 0600);
  ASSERT_EQ(::write(deepest, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(deepest);
  ::close(folder);
  // After the deep branch the walk climbs back, reopening each folder from
  // the one below it, to enter the next branch of the top.
  std::filesystem::create_directory(dir / "tree/e");
  testing::write_bytes(dir / "tree/e/y.jpg", jfif_file(2, 2));
  window.text.clear();
  RunOptions recursive;
  recursive.recursive = true;
  process_paths(window, {(dir / "tree").native()}, counts, recursive);
  EXPECT_TRUE(window.text.starts_with(shown + "z.jpg ")) << window.text.substr(0, 80);
  EXPECT_TRUE(window.text.ends_with(" 15 16 Change\r\ne/y.jpg " + std::string(50, '.') + " OK"))
      << window.text.substr(window.text.size() - 80);
}

// A subfolder is entered only if it is still the folder its listing found:
// a link or another folder put in its place is refused (kFileReplaced), a folder
// gone is the system's error.
TEST(PosixPaths, SubfolderIsEnteredOnlyAsListed) {
  const struct {
    const char* what;
    void (*swap)(const std::filesystem::path& folder);
    bool opened;
    SystemError error;
  } cases[] = {
      {"as listed", [](const std::filesystem::path&) {}, true, 0},
      {"a link in its place",
       [](const std::filesystem::path& folder) {
         std::filesystem::rename(folder / "sub", folder / "moved");
         std::filesystem::create_directory_symlink(folder / "moved", folder / "sub");
       },
       false, kFileReplaced},
      {"another folder in its place",
       [](const std::filesystem::path& folder) {
         std::filesystem::rename(folder / "sub", folder / "moved");
         std::filesystem::create_directory(folder / "sub");
       },
       false, kFileReplaced},
      {"gone", [](const std::filesystem::path& folder) { std::filesystem::remove(folder / "sub"); },
       false, ENOENT},
  };
  for (const auto& c : cases) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    const auto parent = fs::open_folder(dir.path().native());
    ASSERT_TRUE(parent);
    std::vector<fs::Subfolder> subfolders;
    ASSERT_TRUE(fs::list_plain_files(
        *parent, [](const fs::FileRef&, const std::string&) {}, &subfolders));
    ASSERT_EQ(subfolders.size(), 1u);
    c.swap(dir.path());
    const auto opened = fs::open_subfolder(*parent, subfolders[0]);
    EXPECT_EQ(static_cast<bool>(opened), c.opened) << c.what;
    EXPECT_EQ(opened.error(), c.opened ? 0u : c.error) << c.what;
  }
}

// A walk deeper than the folders it keeps open gets each folder back from
// the one below as it climbs: where a folder was moved away meanwhile, the
// level above it cannot be got back and hands the reason on, so that the
// first level with subfolders left to enter is told unlisted, for that
// reason, and they are not entered.
TEST(PosixPaths, WalkClimbingBackPastAMovedFolderTellsWhy) {
  testing::TempDir dir;
  std::filesystem::path deep = dir / "top/a/b/c";
  for (std::size_t level = 0; level <= fs::kFoldersKeptOpen; ++level) deep /= "d";
  std::filesystem::create_directories(deep);
  std::filesystem::create_directories(dir / "top/a/z");
  testing::write_bytes(dir / "top/a/z/y.jpg", jfif_file(1, 2));
  struct Visitor final : TreeVisitor {
    void listing(const NativePath& shown) override {
      // Once, on the way down: c moves up beside a. The walk lets go of a,
      // b and c further down.
      if (shown.ends_with("/d/d/d") && !std::exchange(moved, true)) {
        std::filesystem::rename(top / "a/b/c", top / "c");
      }
    }
    void file(const fs::FileRef&, const NativePath& shown, const NativePath&) override {
      files.push_back(shown);
    }
    void unlisted(const NativePath& shown, SystemError error) override {
      told.emplace_back(shown, error);
    }
    bool stopped() const override { return false; }
    std::filesystem::path top;
    bool moved = false;
    std::vector<NativePath> files;
    std::vector<std::pair<NativePath, SystemError>> told;
  } visitor;
  visitor.top = dir / "top";
  walk_tree(visitor.top.native(), "top", "", true, {}, visitor);
  EXPECT_EQ(visitor.told, (std::vector<std::pair<NativePath, SystemError>>{{"a", kFileReplaced}}));
  EXPECT_EQ(visitor.files, std::vector<NativePath>{}) << "a/z entered";
}

TEST(PosixPaths, ChildPathHasNoDoubledSeparator) {
  EXPECT_EQ(fs::child_path("/", "a.jpg"), "/a.jpg");
  EXPECT_EQ(fs::child_path("/photos", "a.jpg"), "/photos/a.jpg");
  EXPECT_EQ(fs::child_path("photos//", "a.jpg"), "photos/a.jpg");
  EXPECT_EQ(fs::child_path("//", "a.jpg"), "/a.jpg");
}

TEST(PosixNames, NewlineInANameCannotForgeALine) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a\nb.jpg", jfif_file(1, 1));
  testing::FakeWindow window;
  RunCounts counts;
  process_paths(window, {dir.path().native()}, counts);
  EXPECT_EQ(window.text, "a?b.jpg " + std::string(50, '.') + " OK");
}

TEST(PosixNames, SocketIsNotAPlainFile) {
  testing::TempDir dir;
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (dir / "socket.jpg").native();
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(fs::look_up(path).error(), kNotRegularFile) << "neither file nor folder";
  EXPECT_TRUE(listed(dir.path()).empty());
  ::close(sock);
}

}  // namespace
}  // namespace quadrell
