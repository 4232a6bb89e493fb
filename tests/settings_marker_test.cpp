#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>

#include "tests/test_files.h"
#include "ui/settings_marker.h"

namespace quadrell::ui {
namespace {

TEST(MarkerPath, BesideTheExecutable) {
  EXPECT_EQ(marker_path_for(L"C:\\Tools\\Quadrell.exe"), L"C:\\Tools\\Quadrell.chk");
  EXPECT_EQ(marker_path_for(L"C:\\Quadrell.exe"), L"C:\\Quadrell.chk");
  EXPECT_EQ(marker_path_for(L"\\\\server\\share\\Quadrell.exe"),
            L"\\\\server\\share\\Quadrell.chk");
}

class Marker : public ::testing::Test {
 protected:
  std::filesystem::path file() const { return dir_ / "Quadrell.chk"; }
  std::wstring marker() const { return testing::native(file()); }
  void make(const char* content, DWORD attributes) {
    testing::write_bytes(file(), testing::Bytes(content, content + std::strlen(content)));
    SetFileAttributesW(marker().c_str(), attributes);
  }
  testing::TempDir dir_;
};

TEST_F(Marker, CheckedCloseCreatesItEmpty) {
  EXPECT_EQ(marker_state(marker()), MarkerState::kAbsent);
  save_setting(marker(), true);
  EXPECT_EQ(marker_state(marker()), MarkerState::kPresent);
  EXPECT_EQ(std::filesystem::file_size(file()), 0u);
}

TEST_F(Marker, CheckedCloseLeavesAnExistingMarkerAlone) {
  make("whatever it holds", FILE_ATTRIBUTE_NORMAL);
  const auto written = std::filesystem::last_write_time(file());
  save_setting(marker(), true);
  EXPECT_EQ(testing::read_bytes(file()).size(), 17u);
  EXPECT_EQ(std::filesystem::last_write_time(file()), written);
}

TEST_F(Marker, UncheckedCloseDeletesOneWithContent) {
  make("content", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(marker_state(marker()), MarkerState::kPresent);
  save_setting(marker(), false);
  EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(Marker, ReadOnlyMarkerCountsAndSurvivesAnUncheckedClose) {
  make("", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(marker_state(marker()), MarkerState::kPresent);
  save_setting(marker(), false);
  EXPECT_EQ(marker_state(marker()), MarkerState::kPresent);
  SetFileAttributesW(marker().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Marker, HiddenMarkerDoesNotCountAndIsLeftAlone) {
  make("hidden", FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(marker_state(marker()), MarkerState::kAbsent);
  save_setting(marker(), false);
  EXPECT_TRUE(std::filesystem::exists(file()));
  save_setting(marker(), true);
  EXPECT_EQ(testing::read_bytes(file()).size(), 6u) << "never rewritten";
}

TEST_F(Marker, SystemMarkerDoesNotCount) {
  make("", FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(marker_state(marker()), MarkerState::kAbsent);
}

TEST_F(Marker, FolderOfThatNameIsNeitherMarkerNorRemoved) {
  std::filesystem::create_directory(file());
  EXPECT_EQ(marker_state(marker()), MarkerState::kAbsent);
  save_setting(marker(), true);
  EXPECT_TRUE(std::filesystem::is_directory(file()));
  save_setting(marker(), false);
  EXPECT_TRUE(std::filesystem::is_directory(file()));
}

TEST_F(Marker, FolderThatIsGoneMakesEveryStepFailSilently) {
  const std::wstring nowhere = testing::native(dir_ / "missing" / "Quadrell.chk");
  EXPECT_EQ(marker_state(nowhere), MarkerState::kAbsent);
  save_setting(nowhere, true);
  save_setting(nowhere, false);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

TEST(ExecutablePath, IsThisProgram) {
  const auto path = executable_path();
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(std::filesystem::path(*path).filename(), "gui_tests.exe");
}

}  // namespace
}  // namespace quadrell::ui
