#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "engine/process_path.h"
#include "platform/directory.h"
#include "platform/win_path.h"
#include "tests/fake_window.h"
#include "tests/test_files.h"

namespace quadrell {
namespace {

using testing::jfif_file;

TEST(WindowsPaths, ExtendedForm) {
  EXPECT_EQ(extended_path(L"C:\\a\\b.jpg"), L"\\\\?\\C:\\a\\b.jpg");
  EXPECT_EQ(extended_path(L"c:/a/b.jpg"), L"\\\\?\\c:\\a\\b.jpg");
  EXPECT_EQ(extended_path(L"\\\\server\\share\\b.jpg"), L"\\\\?\\UNC\\server\\share\\b.jpg");
  EXPECT_EQ(extended_path(L"\\\\?\\C:\\b.jpg"), L"\\\\?\\C:\\b.jpg");
  EXPECT_EQ(extended_path(L"relative.jpg"), L"relative.jpg");
}

TEST(WindowsPaths, ChildPathHasNoDoubledSeparator) {
  EXPECT_EQ(fs::child_path(L"C:\\", L"a.jpg"), L"C:\\a.jpg");
  EXPECT_EQ(fs::child_path(L"C:\\photos", L"a.jpg"), L"C:\\photos\\a.jpg");
}

TEST(WindowsPaths, DriveRootIsAFolder) {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring root = std::wstring(windows).substr(0, 3);
  const auto entry = fs::look_up(root);
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->is_folder);
  EXPECT_EQ(entry->path, root);
}

TEST(WindowsPaths, WildcardsNameNothing) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 2));
  EXPECT_FALSE(fs::look_up(testing::native(dir / "*.jpg")));
  EXPECT_FALSE(fs::look_up(testing::native(dir / "?.jpg")));
  EXPECT_EQ(testing::read_bytes(dir / "a.jpg"), jfif_file(1, 2));
}

// The name shown is the one the listing holds, whatever case the drop used.
TEST(WindowsNames, ShownAsListed) {
  testing::TempDir dir;
  testing::write_bytes(dir / "X.JPG", jfif_file(3, 3));
  testing::FakeWindow window;
  RunCounts counts;
  process_paths(window, {testing::native(dir / "x.jpg")}, counts);
  EXPECT_EQ(window.text, "X.JPG " + std::string(54, '.') + " OK");
}

// Through the ANSI functions "Äpfel.jpg" could become an existing
// "Apfel.jpg", and an emoji a wildcard.
TEST(WindowsNames, NamesOutsideAnyCodePageReachTheRightFile) {
  testing::TempDir dir;
  testing::write_bytes(dir / "Apfel.jpg", jfif_file(1, 2));
  testing::write_bytes(dir / "Äpfel.jpg", jfif_file(3, 4));
  testing::write_bytes(dir / "사진😀.jpg", jfif_file(5, 6));
  testing::FakeWindow window;
  RunCounts counts;
  process_paths(window, {testing::native(dir / "Äpfel.jpg")}, counts);
  process_paths(window, {testing::native(dir / "사진😀.jpg")}, counts);
  EXPECT_EQ(counts.update, 2);
  EXPECT_EQ(testing::read_bytes(dir / "Apfel.jpg"), jfif_file(1, 2));
  EXPECT_EQ(testing::read_bytes(dir / "Äpfel.jpg"), jfif_file(4, 4));
  EXPECT_EQ(testing::read_bytes(dir / "사진😀.jpg"), jfif_file(6, 6));
  EXPECT_EQ(window.text, "Äpfel.jpg " + std::string(46, '.') + " 15 16 Change\r\n사진😀.jpg " +
                             std::string(48, '.') + " 15 16 Change");
}

TEST(WindowsNames, DeviceNamesAndLongPathsAreOrdinaryFiles) {
  testing::TempDir dir;
  std::wstring folder = testing::native(dir.path());
  while (folder.size() < 300) {
    folder += L"\\a-rather-long-folder-name";
    ASSERT_TRUE(CreateDirectoryW(extended_path(folder).c_str(), nullptr));
  }
  for (const wchar_t* name : {L"COM1.jpg", L"long.jpg"}) {
    const std::wstring path = folder + L"\\" + name;
    HANDLE file = CreateFileW(extended_path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const testing::Bytes bytes = jfif_file(1, 2);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  testing::FakeWindow window;
  RunCounts counts;
  process_paths(window, {folder}, counts);
  EXPECT_EQ(counts.total, 2);
  EXPECT_EQ(counts.update, 2);
  EXPECT_EQ(counts.error, 0);
}

TEST(WindowsNames, HiddenAndSystemFilesAreNotListed) {
  testing::TempDir dir;
  for (const char* name : {"plain.jpg", "hidden.jpg", "system.jpg", "read-only.jpg"}) {
    testing::write_bytes(dir / name, jfif_file(1, 1));
  }
  SetFileAttributesW(testing::native(dir / "hidden.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(testing::native(dir / "system.jpg").c_str(), FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesW(testing::native(dir / "read-only.jpg").c_str(), FILE_ATTRIBUTE_READONLY);
  std::vector<std::wstring> names;
  const auto opened = fs::open_folder(testing::native(dir.path()));
  ASSERT_TRUE(opened);
  EXPECT_TRUE(fs::list_plain_files(
      *opened, [&](const fs::FileRef&, const std::wstring& n) { names.push_back(n); }));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"plain.jpg", L"read-only.jpg"}));
  EXPECT_FALSE(fs::look_up(testing::native(dir / "system.jpg")));
  SetFileAttributesW(testing::native(dir / "read-only.jpg").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace quadrell
