#include <gtest/gtest.h>

#include <optional>

#include "engine/log_line.h"
#include "tests/fake_window.h"
#include "tests/front_end_contract.h"
#include "tests/test_files.h"

namespace quadrell {
namespace {

using testing::dots;

struct LeaderCase {
  int name_length;
  int leader;
};

TEST(LogLine, LeaderLength) {
  const LeaderCase cases[] = {{1, 62}, {5, 54}, {10, 44}, {29, 6},
                              {30, 4}, {31, 4}, {45, 4},  {300, 4}};
  for (const LeaderCase& c : cases) {
    EXPECT_EQ(leader_length(c.name_length), c.leader) << "N = " << c.name_length;
  }
}

struct LineCase {
  const char* name;
  ScanResult result;
  std::string line;
};

TEST(LogLine, Texts) {
  const LineCase cases[] = {
      {"a.jpg", kFair, "a.jpg " + dots(54) + " OK"},
      {"a.jpg", 15, "a.jpg " + dots(54) + " 15 16 Change"},
      {"a.jpg", 17, "a.jpg " + dots(54) + " 17 18 Change"},
      {"a.jpg", 143, "a.jpg " + dots(54) + " 143 144 Change"},
      {"a.jpg", kAccessError, "a.jpg " + dots(54) + " -1 -1 Access error!"},
      {"桜の写真です.jpg", kFair, "桜の写真です.jpg " + dots(44) + " OK"},
      {"😀.jpg", kFair, "😀.jpg " + dots(52) + " OK"},
      {"a_name_of_thirty_characte.jpg", kFair, "a_name_of_thirty_characte.jpg " + dots(6) + " OK"},
      {"a_name_of_thirty_characters.jpg", 2147483647,
       "a_name_of_thirty_characters.jpg " + dots(4) + " 2147483647 2147483648 Change"},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(log_line(log_name(c.name), c.result), c.line);
  }
}

TEST(LogLine, SummaryLine) {
  EXPECT_EQ(summary_line({3, 1, 2, 0}), "Jpeg files =>  total: 3  fair: 1  update: 2  error: 0");
  EXPECT_EQ(summary_line({}), "Jpeg files =>  total: 0  fair: 0  update: 0  error: 0");
  EXPECT_EQ(summary_line({123456, 100000, 20000, 3456}),
            "Jpeg files =>  total: 123456  fair: 100000  update: 20000  error: 3456");
}

struct NameCase {
  const char* what;
  std::string bytes;
  LogName shown;
};

TEST(LogName, FromBytes) {
  const NameCase cases[] = {
      {"ascii", "a.jpg", {"a.jpg", 5}},
      {"japanese", "写真.jpg", {"写真.jpg", 6}},
      {"emoji counts two", "😀.jpg", {"😀.jpg", 6}},
      {"newline", "a\nb.jpg", {"a?b.jpg", 7}},
      {"carriage return and tab", "a\r\t.jpg", {"a?\t.jpg", 7}},
      {"delete", std::string("a\x7F.jpg"), {"a\x7F.jpg", 6}},
      {"latin-1 byte", "\xC4pfel.jpg", {"\xC4pfel.jpg", 9}},
      {"cut sequence", "a\xE5\x86.jpg", {"a\xE5\x86.jpg", 7}},
      {"overlong slash", "\xC0\xAF.jpg", {"\xC0\xAF.jpg", 6}},
      {"encoded surrogate", "\xED\xA0\x80.jpg", {"\xED\xA0\x80.jpg", 7}},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", {"\xF4\x90\x80\x80", 4}},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(log_name(c.bytes), c.shown) << c.what;
  }
}

// UTF-16 units as Windows gives them, tested on every system.
TEST(LogName, FromUtf16) {
  const std::pair<std::wstring, LogName> cases[] = {
      {L"X.JPG", {"X.JPG", 5}},
      {L"写真.jpg", {"写真.jpg", 6}},
      {{0xD83D, 0xDE00, L'.', L'j', L'p', L'g'}, {"😀.jpg", 6}},
      {{L'a', 0xD800, L'.', L'j', L'p', L'g'}, {"a\uFFFD.jpg", 6}},
      {{0xDE00, 0xD83D}, {"\uFFFD\uFFFD", 2}},
      {{L'a', L'\n', L'\r', 0x7F, L'\t'}, {"a\uFFFD\uFFFD\uFFFD\uFFFD", 5}},
  };
  for (const auto& [units, shown] : cases) EXPECT_EQ(log_name(units), shown);
  // Given back whole: a lone surrogate encoded as the others are.
  EXPECT_EQ(name_bytes(std::wstring{L'a', 0xD800, 0xD83D, 0xDE00}), "a\xED\xA0\x80😀");
}

TEST(FrontEndContract, FakeWindow) {
  std::optional<testing::FakeWindow> window;
  testing::expect_report_shown([&]() -> RunListener& { return window.emplace(); },
                               [&] { return window->text; });
}

}  // namespace
}  // namespace quadrell
