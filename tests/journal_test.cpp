#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/run_cli.h"
#include "engine/crc32c.h"
#include "engine/first_change_journal.h"
#include "engine/journal.h"
#include "engine/journal_path.h"
#include "engine/journal_record.h"
#include "engine/process_path.h"
#include "tests/fake_window.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

#ifdef _WIN32
#include "platform/win_path.h"
#else
#include <sys/stat.h>
#endif

namespace quadrell {
namespace {

using testing::jfif_file;

class Captured final : public CliOutput {
 public:
  SystemError write_out(std::string_view text) override {
    out += text;
    return 0;
  }
  void write_error(std::string_view text) override { error += text; }
  bool out_is_terminal() const override { return false; }
  int error_terminal_columns() const override { return 0; }
  std::string out;
  std::string error;
};

struct Outcome {
  int status = -1;
  std::string out;
  std::string error;
};

Outcome run_in(const std::filesystem::path& folder, const std::vector<std::string>& arguments) {
  std::vector<NativePath> native;
  for (const std::string& argument : arguments) native.push_back(native_path_from_utf8(argument));
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  Captured output;
  const int status = run_cli(native, output);
  std::filesystem::current_path(previous);
  return {status, output.out, output.error};
}

// The update count of a log's summary line.
std::string updates(const std::string& log) {
  const std::size_t at = log.rfind("update: ");
  return at == std::string::npos ? "" : log.substr(at, log.find(' ', at + 8) - at);
}

// A path as the file functions of the test take it past 260 characters.
std::filesystem::path long_path(const std::filesystem::path& path) {
#ifdef _WIN32
  return extended_path(testing::native(path));
#else
  return path;
#endif
}

std::string utf8(const std::filesystem::path& path) {
  return utf8_from_native(testing::native(path));
}

// Every file of a tree: its bytes and its stamps (but the last-access time
// under Wine, which moves it), set back after the read, as a read may move
// the last-access time.
using TreeState = std::map<std::string, std::pair<testing::Stamps, testing::Bytes>>;

// The names are those make_tree made: Windows' std::filesystem cannot walk
// a path past 260 characters.
std::vector<std::string> names_in_tree;

// A file's name in the tree, as UTF-8 with "/", and the path it names.
std::string name_in(const std::filesystem::path& tree, const std::filesystem::path& path) {
  const std::u8string name = path.lexically_relative(tree).generic_u8string();
  return std::string(name.begin(), name.end());
}
std::filesystem::path path_in(const std::filesystem::path& tree, const std::string& name) {
  return tree / std::u8string(name.begin(), name.end());
}

TreeState state_of(const std::filesystem::path& tree) {
  TreeState state;
  for (const std::string& name : names_in_tree) {
    const std::filesystem::path path = long_path(path_in(tree, name));
    const testing::Stamps stamps = testing::read_stamps(path);
    const testing::Stamps compared = testing::stamps_kept_by_reading(path);
    state[name] = {compared, testing::read_bytes(path)};
    testing::write_stamps(path, stamps);
  }
  return state;
}

// The files whose bytes or stamps differ, for a short message.
std::string differences(const TreeState& now, const TreeState& before) {
  std::string names;
  for (const auto& [name, file] : before) {
    const auto found = now.find(name);
    if (found == now.end()) {
      names += name + " (gone)\n";
    } else if (found->second.second != file.second) {
      names += name + " (bytes)\n";
    } else if (found->second.first != file.first) {
      names += name + " (stamps)\n";
    }
  }
  return names;
}

// The tree every round trip starts from: folders, a MacBinary file, equal
// and unequal densities either way, names a line could not hold as they
// are, and a path longer than Windows' 260 characters.
void make_tree(const std::filesystem::path& tree) {
  const std::filesystem::path deep =
      tree / std::string(100, 'd') / std::string(100, 'e') / std::string(80, 'f');
  std::filesystem::create_directories(long_path(deep));
  std::filesystem::create_directories(tree / "sub");
  const std::vector<std::pair<std::filesystem::path, testing::Bytes>> files = {
      {tree / "x-smaller.jpg", jfif_file(72, 96)},
      {tree / "y-smaller.jpg", jfif_file(300, 1)},
      {tree / "equal.jpg", jfif_file(96, 96)},
      {tree / "sub" / "macbinary.jpg", testing::macbinary_file(1, 2)},
      {tree / "sub" / " leading space.jpg", jfif_file(1, 2)},
      {tree / "sub" / "桜 の 写真.jpg", jfif_file(2, 1)},
      {deep / "long.jpg", jfif_file(5, 6)},
#ifndef _WIN32
      {tree / "sub" / "tab\there.jpg", jfif_file(1, 3)},
      {tree / "sub" / "line\nfeed.jpg", jfif_file(1, 4)},
      {tree / "sub" / "invalid-\xff-utf8.jpg", jfif_file(4, 1)},
#endif
  };
  names_in_tree.clear();
  for (const auto& [path, bytes] : files) {
    names_in_tree.push_back(name_in(tree, path));
    testing::write_bytes(long_path(path), bytes);
    testing::write_stamps(long_path(path), testing::old_stamps());
  }
}

class Journal : public ::testing::Test {
 protected:
  void SetUp() override {
    make_tree(tree_);
    before_ = state_of(tree_);
    std::filesystem::create_directory(elsewhere_);
  }
  Outcome journaled_run(const std::vector<std::string>& options = {}) {
    std::vector<std::string> arguments = {"-r", "--journal", "journal.txt"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back("tree");
    return run_in(dir_.path(), arguments);
  }
  // From another folder, by the journal's full path.
  Outcome undo(const std::vector<std::string>& options = {}) {
    std::vector<std::string> arguments = options;
    arguments.push_back("--undo");
    arguments.push_back(utf8(journal_));
    return run_in(elsewhere_, arguments);
  }

  testing::TempDir dir_;
  const std::filesystem::path tree_ = dir_ / "tree";
  const std::filesystem::path journal_ = dir_ / "journal.txt";
  const std::filesystem::path elsewhere_ = dir_ / "elsewhere";
  TreeState before_;
};

TEST_F(Journal, RoundTrip) {
  for (const bool keep_dates : {false, true}) {
    SCOPED_TRACE(keep_dates ? "-p" : "without -p");
    std::filesystem::remove(journal_);
    const Outcome run =
        journaled_run(keep_dates ? std::vector<std::string>{"-p"} : std::vector<std::string>{});
    ASSERT_EQ(run.status, kExitSuccess) << run.error;
    EXPECT_NE(differences(state_of(tree_), before_), "");
    // Dry, it tells what it would put back and changes nothing.
    const TreeState changed = state_of(tree_);
    const Outcome dry = undo({"-n"});
    EXPECT_EQ(dry.status, kExitSuccess) << dry.error;
    EXPECT_EQ(differences(state_of(tree_), changed), "");

    const Outcome back = undo();
    ASSERT_EQ(back.status, kExitSuccess) << back.error;
    EXPECT_EQ(back.out, dry.out);
    EXPECT_EQ(differences(state_of(tree_), before_), "") << "every file as before, bytes and dates";
    EXPECT_NE(back.out.find(utf8(tree_ / "sub" / "macbinary.jpg") + " "), std::string::npos)
        << "lines under the recorded full paths:\n"
        << back.out;
    EXPECT_EQ(updates(back.out), updates(run.out)) << back.out;

    // A second time there is nothing to do.
    const Outcome again = undo();
    EXPECT_EQ(again.status, kExitSuccess) << again.error;
    EXPECT_NE(again.out.find("update: 0  error: 0"), std::string::npos) << again.out;
    EXPECT_EQ(differences(state_of(tree_), before_), "");
  }
}

// An undo is journaled too, and taken back in its turn.
TEST_F(Journal, UndoOfAnUndo) {
  ASSERT_EQ(journaled_run().status, kExitSuccess);
  const TreeState changed = state_of(tree_);
  const Outcome back = run_in(elsewhere_, {"--undo", utf8(journal_), "--journal", "again.txt"});
  ASSERT_EQ(back.status, kExitSuccess) << back.error;
  EXPECT_EQ(differences(state_of(tree_), before_), "");
  ASSERT_EQ(run_in(elsewhere_, {"--undo", "again.txt"}).status, kExitSuccess);
  EXPECT_EQ(differences(state_of(tree_), changed), "");
}

// The journal's lines, each without its line end.
std::vector<std::string> lines_of(const std::filesystem::path& journal) {
  std::vector<std::string> lines;
  std::ifstream in(journal, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void write_lines(const std::filesystem::path& journal, const std::vector<std::string>& lines,
                 bool last_line_end = true) {
  std::ofstream out(journal, std::ios::binary | std::ios::trunc);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out << lines[i] << (i + 1 < lines.size() || last_line_end ? "\n" : "");
  }
}

// Where a record's path names the file called name (behind the separator),
// or npos.
std::size_t name_at(const std::string& line, const std::string& name) {
  for (const char separator : {'/', '\\'}) {
    const std::string tail = separator + name;
    const std::size_t at = line.find(tail + " ");
    if (at != std::string::npos) return at;
    if (line.ends_with(tail)) return line.size() - tail.size();
  }
  return std::string::npos;
}

// The line that records the change of the file named name.
std::string& change_of(std::vector<std::string>& lines, const std::string& name) {
  for (std::string& line : lines) {
    if (line.starts_with("change ") && name_at(line, name) != std::string::npos) return line;
  }
  throw std::runtime_error("no record of " + name);
}

// The line as the product seals it: its check recomputed after an edit, so
// that the record stays sound.
std::string resealed(std::string line) {
  line.resize(line.size() - 8);
  const std::uint32_t check = crc32c(line.substr(0, line.size() - 1));
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", check);
  return line + hex;
}

// The offset in the journal of the line of the change of the file named name.
std::int64_t offset_of_change(const std::filesystem::path& journal, const std::string& name) {
  std::int64_t offset = 0;
  for (const std::string& line : lines_of(journal)) {
    if (line.starts_with("change ") && name_at(line, name) != std::string::npos) return offset;
    offset += static_cast<std::int64_t>(line.size()) + 1;
  }
  throw std::runtime_error("no record of " + name);
}

// Each digit of the number after word in line counted one up, 9 to 0: the
// same length, so that no later line moves.
void another_number(std::string& line, const std::string& word) {
  std::size_t at = line.find(" " + word + " ") + word.size() + 2;
  for (; at < line.size() && line[at] != ' '; ++at) line[at] = line[at] == '9' ? '0' : line[at] + 1;
}

// The file's number within its folder, as the product reads it.
fs::FileIdentity number_of(const std::filesystem::path& path) {
  fs::FileIdentity identity = fs::InputFile::open(testing::file_at(path))->identity();
  identity.birth = 0;
  return identity;
}

// A run over a folder with no JPEG file, adding to the journal.
void another_run(const std::filesystem::path& journal) {
  const testing::TempDir empty;
  run_in(empty.path(), {"--journal", utf8(journal), "."});
}

struct Refusal {
  const char* name;
  // Done between the run and the undo; returns the file left as it is (the
  // tree: nothing touched), or nothing when the row cannot be made here.
  std::function<std::optional<std::filesystem::path>(const std::filesystem::path& tree,
                                                     const std::filesystem::path& journal)>
      between;
  int status;
  const char* message;  // on standard error
  // The file left gets the access-error line; one whose record is passed
  // over gets no line.
  bool error_line = true;
  const char* absent = nullptr;  // not on standard error
};

constexpr char kChangedSince[] = "changed since the journal was written; left as it is\n";
constexpr char kUnsound[] =
    "holds no sound record (edited, or joined to another line), passed over\n";

// An edit of the record of x-smaller.jpg, which is then passed over.
std::function<std::optional<std::filesystem::path>(const std::filesystem::path&,
                                                   const std::filesystem::path&)>
edited(std::function<void(std::string&)> edit) {
  return [=](const auto& tree, const auto& journal) {
    std::vector<std::string> lines = lines_of(journal);
    edit(change_of(lines, "x-smaller.jpg"));
    write_lines(journal, lines);
    return std::optional(tree / "x-smaller.jpg");
  };
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

void replace(std::string& line, const std::string& what, const std::string& by) {
  line.replace(line.find(what), what.size(), by);
}

const Refusal kRefusals[] = {
    {"ChangedSince",
     [](const auto& tree, const auto&) {
       testing::write_bytes(tree / "x-smaller.jpg", jfif_file(50, 50));
       return std::optional(tree / "x-smaller.jpg");
     },
     kExitFileError, kChangedSince},
    {"ACopyAtThePath",
     [](const auto& tree, const auto&) {
       // Written beside it first, so that it cannot get the same number.
       const auto path = tree / "y-smaller.jpg";
       testing::write_bytes(tree / "copy", testing::read_bytes(path));
       std::filesystem::rename(tree / "copy", path);
       return std::optional(path);
     },
     kExitFileError, kChangedSince},
    {"AnotherFileGivenTheFreedNumber",
     [](const auto& tree, const auto&) -> std::optional<std::filesystem::path> {
       // The same bytes and dates: only its birth tells it from the one
       // changed. Wine's file index is the inode number, with none of the
       // sequence number NTFS counts up for a reused entry.
       if (testing::running_under_wine()) return std::nullopt;
       const auto path = tree / "x-smaller.jpg";
       const testing::Bytes bytes = testing::read_bytes(path);
       const testing::Stamps stamps = testing::read_stamps(path);
       const fs::FileIdentity number = number_of(path);
       std::filesystem::remove(path);
       testing::write_bytes(path, bytes);
       testing::write_stamps(path, stamps);
       if (number_of(path) != number) return std::nullopt;
       return path;
     },
     kExitFileError, kChangedSince},
    {"GrownSince",
     [](const auto& tree, const auto&) {
       const auto path = tree / "x-smaller.jpg";
       const testing::Stamps stamps = testing::read_stamps(path);
       std::ofstream(path, std::ios::app | std::ios::binary) << "more";
       testing::write_stamps(path, stamps);
       return std::optional(path);
     },
     kExitFileError, kChangedSince},
    {"DatedAgainSince",
     [](const auto& tree, const auto&) {
       testing::write_stamps(tree / "x-smaller.jpg", testing::old_stamps());
       return std::optional(tree / "x-smaller.jpg");
     },
     kExitFileError, kChangedSince},
    {"CutLastRecord",
     [](const auto&, const auto& journal) {
       std::ofstream(journal, std::ios::app | std::ios::binary) << "change 15 x 00 01 -> 00";
       return std::optional(std::filesystem::path());
     },
     kExitSuccess, "1 record cut short (a run ended while writing it), passed over"},
    {"CutInsideItsPathThenAnotherRun",
     [](const auto&, const auto& journal) {
       // A record cut inside its path, last; then a run adds behind it.
       std::vector<std::string> lines = lines_of(journal);
       const std::string& whole = change_of(lines, "x-smaller.jpg");
       std::ofstream(journal, std::ios::app | std::ios::binary)
           << whole.substr(0, name_at(whole, "x-smaller.jpg") + 4);
       another_run(journal);
       return std::optional(std::filesystem::path());
     },
     kExitSuccess, "1 record cut short (a run ended while writing it), passed over"},
    {"ComesBackUnderAnotherDevice",
     [](const auto&, const auto& journal) {
       // Another device and inode number, as a card in another reader or a
       // file system that numbers its files anew at each mount has.
       std::vector<std::string> lines = lines_of(journal);
       for (std::string& line : lines) {
         if (!line.starts_with("change ")) continue;
         another_number(line, "file");
         line = resealed(line);
       }
       write_lines(journal, lines);
       return std::optional(std::filesystem::path());
     },
     kExitSuccess, "", true, "changed since"},
    {"TwoRunsCutShort",
     [](const auto&, const auto& journal) {
       std::ofstream(journal, std::ios::app | std::ios::binary) << "change 15 x 00 01 -> 00";
       another_run(journal);
       std::ofstream(journal, std::ios::app | std::ios::binary) << "left 1234";
       return std::optional(std::filesystem::path());
     },
     kExitSuccess,
     "2 records cut short (runs ended while writing them), passed over: their "
     "changes were never made\n"},
    {"LastLineEndStripped",
     [](const auto&, const auto& journal) {
       write_lines(journal, lines_of(journal), false);
       return std::optional(std::filesystem::path());
     },
     kExitSuccess, "", true, "cut short"},
    {"NotMadeThenEdited",
     [](const auto& tree, const auto& journal) {
       // A change foreseen and never made, its file edited since: passed by,
       // with no line, not taken back by the record.
       std::ofstream(journal, std::ios::app | std::ios::binary)
           << unmade_line(offset_of_change(journal, "x-smaller.jpg"));
       const auto path = tree / "x-smaller.jpg";
       testing::Bytes edited = testing::read_bytes(path);
       edited[edited.size() - 3] ^= 1;
       testing::write_bytes(path, edited);
       return std::optional(path);
     },
     kExitSuccess, "", false, "x-smaller.jpg"},
    {"DoubledSpace", edited([](std::string& line) { replace(line, " file ", "  file "); }),
     kExitFileError, kUnsound, false},
    {"EscapeThatIsNone",
     edited([](std::string& line) { replace(line, "x-smaller", "%G1x-smaller"); }), kExitFileError,
     kUnsound, false},
    {"SecondFirstLine",
     [](const auto&, const auto& journal) {
       std::vector<std::string> lines = lines_of(journal);
       lines.insert(lines.begin() + 2, lines[0]);
       write_lines(journal, lines);
       return std::optional(std::filesystem::path());
     },
     kExitFileError, "line 3 holds no sound record"},
    {"NotAJournal",
     [](const auto& tree, const auto& journal) {
       testing::write_bytes(journal, testing::Bytes{'h', 'i', '\n'});
       return std::optional(tree);
     },
     kExitUsage, "journal.txt: not a quadrell journal; nothing was changed\n"},
    {"NewerFormat",
     [](const auto& tree, const auto& journal) {
       std::ofstream(journal, std::ios::binary) << "quadrell journal format 4\nchange\n";
       return std::optional(tree);
     },
     kExitUsage, "a journal of format 4, newer than this quadrell's (3); nothing was changed\n"},
    {"OlderFormat",
     [](const auto& tree, const auto& journal) {
       std::ofstream(journal, std::ios::binary) << "quadrell journal format 2\nchange\n";
       return std::optional(tree);
     },
     kExitUsage,
     "a journal of format 2, older than this quadrell's (3), which it no longer reads; nothing "
     "was changed\n"},
#ifndef _WIN32
    {"AFifoAtThePath",
     [](const auto& tree, const auto& journal) {
       std::filesystem::remove(journal);
       ::mkfifo(journal.c_str(), 0600);
       return std::optional(tree);
     },
     kExitUsage, "journal.txt: not a regular file; nothing was changed\n"},
#endif
};

TEST_F(Journal, Refusals) {
  for (const Refusal& refusal : kRefusals) {
    SCOPED_TRACE(refusal.name);
    for (const auto& [name, file] : before_) {
      testing::write_bytes(long_path(path_in(tree_, name)), file.second);
      testing::write_stamps(long_path(path_in(tree_, name)), testing::old_stamps());
    }
    std::filesystem::remove(journal_);
    ASSERT_EQ(journaled_run().status, kExitSuccess);
    const std::optional<std::filesystem::path> left = refusal.between(tree_, journal_);
    if (!left) {
      std::cout << refusal.name << ": not made here (no number freed and given again)\n";
      continue;
    }
    const TreeState changed = state_of(tree_);
    const Outcome back = undo();
    EXPECT_EQ(back.status, refusal.status);
    EXPECT_NE(back.error.find(refusal.message), std::string::npos) << back.error;
    if (refusal.absent != nullptr) {
      EXPECT_EQ(back.error.find(refusal.absent), std::string::npos) << back.error;
    }
    if (*left == tree_) {
      EXPECT_EQ(differences(state_of(tree_), changed), "") << "nothing touched";
      EXPECT_EQ(back.out, "");
    } else if (!left->empty()) {
      const std::string name = name_in(tree_, *left);
      EXPECT_EQ(differences(state_of(tree_), changed).find(name), std::string::npos)
          << "bytes and dates left as they are";
      EXPECT_EQ(back.out.find(" -1 -1 Access error!") != std::string::npos, refusal.error_line)
          << back.out;
    }
    // Every other file is back as it was, bytes and dates.
    TreeState expected = before_;
    if (*left != tree_ && !left->empty()) {
      expected.erase(name_in(tree_, *left));
    }
    if (*left != tree_) {
      EXPECT_EQ(differences(state_of(tree_), expected), "");
    }
    // What the undo added to the journal is sound: a second undo finds no
    // more unsound lines and changes nothing.
    const TreeState after = state_of(tree_);
    const Outcome again = undo();
    EXPECT_EQ(count_of(again.error, kUnsound), count_of(back.error, kUnsound)) << again.error;
    EXPECT_EQ(differences(state_of(tree_), after), "");
  }
}

// The check values of CRC-32C that iSCSI publishes (RFC 3720, B.4), which no
// other polynomial or bit order gives.
TEST(JournalCheck, IsCrc32c) {
  EXPECT_EQ(crc32c("123456789"), 0xE3069283u);
  EXPECT_EQ(crc32c(std::string(32, '\0')), 0x8A9136AAu);
  EXPECT_EQ(crc32c(std::string(32, '\xFF')), 0x62A8AB43u);
}

// A path in a record and read back, both kinds on every system: POSIX bytes
// (a byte that is no UTF-8 as %HH) and Windows' UTF-16 units (a lone half
// of a surrogate pair as %uHHHH); "%" and controls escaped in both.
template <typename Path>
void expect_journal_paths(const std::vector<std::pair<Path, std::string>>& cases) {
  for (const auto& [path, text] : cases) {
    std::string written;
    append_journal_path(written, path);
    EXPECT_EQ(written, text);
    Path read;
    EXPECT_TRUE(parse_journal_path(text, read)) << text;
    EXPECT_EQ(read, path) << text;
  }
  for (const char* unsound : {"", "%", "%4", "%zz", "%4G", "%00", "a%0"}) {
    Path read;
    EXPECT_FALSE(parse_journal_path(unsound, read)) << unsound;
  }
}

TEST(JournalPath, EscapedAndReadBack) {
  expect_journal_paths<std::string>({
      {"/a/写真 😀.jpg", "/a/写真 😀.jpg"},
      {"/a%b\n\r\x7F.jpg", "/a%25b%0a%0d%7f.jpg"},
      {"/\xC4pfel\xED\xA0\x80\xC0\xAF.jpg", "/%c4pfel%ed%a0%80%c0%af.jpg"},
      {"%u", "%25u"},
  });
  expect_journal_paths<std::wstring>({
      {L"C:\\写真.jpg", "C:\\写真.jpg"},
      {{L'C', L':', 0xD83D, 0xDE00, L'%', L'\n', 0x7F}, "C:😀%25%0a%7f"},
      {{L'a', 0xD800, L'b', 0xDFFF}, "a%ud800b%udfff"},
      {{0xDE00, 0xD83D}, "%ude00%ud83d"},  // halves in the wrong order
  });
  for (const char* unsound : {"%u12", "%uD800", "%u0000", "\xC4.jpg", "\xED\xA0\x80"}) {
    std::wstring read;
    EXPECT_FALSE(parse_journal_path(unsound, read)) << unsound;
  }
}

// A journal that cannot be written stops the run before a file is changed.
TEST_F(Journal, UnwritableJournalChangesNothing) {
  const Outcome run =
      run_in(dir_.path(), {"-r", "--journal", utf8(dir_ / "no-such-folder" / "j.txt"), "tree"});
  EXPECT_EQ(run.status, kExitFileError);
  EXPECT_NE(run.error.find("j.txt: "), std::string::npos) << run.error;
  EXPECT_NE(run.error.find("; nothing was changed\n"), std::string::npos) << run.error;
  EXPECT_EQ(differences(state_of(tree_), before_), "");
  // A dry run opens no journal and creates none.
  EXPECT_EQ(journaled_run({"-n"}).status, kExitSuccess);
  EXPECT_FALSE(std::filesystem::exists(journal_));
}

// A window's run, whose log shows names alone: its journal, made on the
// first change, records each file by its full path, and the console takes
// it back. A run that changes nothing makes none; one whose journal cannot
// be made goes on unrecorded.
TEST_F(Journal, WindowRunJournaledOnItsFirstChange) {
  const struct {
    const char* name;
    std::filesystem::path journal;
    bool changes;
  } cases[] = {
      {"Journaled", dir_ / "window.txt", true},
      {"NothingChanged", dir_ / "fair.txt", false},
      {"NoJournalToBeMade", dir_ / "no-such-folder" / "j.txt", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path dropped = c.changes ? tree_ : tree_ / "equal.jpg";
    testing::FakeWindow log;
    int made = 0;
    bool unrecorded = false;
    {  // the journal is let go of at the run's end, as the window does
      FirstChangeJournal journal(
          [&] { return std::optional<NativePath>(testing::native(c.journal)); },
          [&](const NativePath&) { ++made; });
      RunOptions options;
      options.recursive = true;
      options.record = &journal;
      drop_run(log, {testing::native(dropped)}, options);
      unrecorded = journal.unrecorded();
    }
    EXPECT_EQ(log.text.find(utf8(tree_)), std::string::npos) << "names alone:\n" << log.text;
    const bool recorded = c.changes && c.journal.parent_path() == dir_.path();
    EXPECT_EQ(std::filesystem::exists(c.journal), recorded);
    EXPECT_EQ(made, recorded ? 1 : 0);
    EXPECT_EQ(unrecorded, c.changes && !recorded);
    EXPECT_EQ(differences(state_of(tree_), before_) != "", c.changes);
    if (!recorded) {
      make_tree(tree_);
      continue;
    }
    const Outcome back = run_in(elsewhere_, {"--undo", utf8(c.journal)});
    EXPECT_EQ(back.status, kExitSuccess) << back.error;
    EXPECT_EQ(differences(state_of(tree_), before_), "");
  }
}

// An undo killed between its write and the dates leaves the file with the
// bytes before and the last-write time its write left, which it put on
// record first. The next undo puts the dates back on such a file alone:
// one that still has that very time, whatever the clock said meanwhile.
TEST_F(Journal, FinishesOnlyItsOwnWrite) {
  const struct {
    const char* name;
    int edited_later;  // seconds, by another program after the kill; 0: none
    bool settled;      // the killed undo got as far as its record
    bool dates_back;
  } cases[] = {
      {"KilledBeforeTheDates", 0, false, true},
      {"EditedSince", 1, false, false},
      {"FinishedAlready", 0, true, false},
  };
  const std::filesystem::path photo = tree_ / "x-smaller.jpg";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    make_tree(tree_);
    std::filesystem::remove(journal_);
    ASSERT_EQ(journaled_run().status, kExitSuccess);
    testing::write_bytes(photo, before_.at("x-smaller.jpg").second);
    const fs::FileTime written = fs::InputFile::open(testing::file_at(photo))->times().last_write;
    const std::int64_t change = offset_of_change(journal_, "x-smaller.jpg");
    std::ofstream(journal_, std::ios::app | std::ios::binary)
        << wrote_line(change, written) << (c.settled ? settled_line(change) : "");
    const testing::Stamps left =
        testing::written_later(testing::read_stamps(photo), c.edited_later);
    testing::write_stamps(photo, left);

    const Outcome back = undo();
    EXPECT_EQ(back.status, kExitSuccess) << back.error;
    if (c.dates_back) {
      EXPECT_EQ(differences(state_of(tree_), before_), "");
    } else {
      // Wine moves the last-access and creation times it reports on a read.
      EXPECT_EQ(testing::last_write_of(testing::read_stamps(photo)), testing::last_write_of(left))
          << "not dated again";
      EXPECT_EQ(testing::read_bytes(photo), before_.at("x-smaller.jpg").second);
    }
  }
}

// Every date the file system holds comes back, before 1677 and after 2262
// too (where 64-bit nanoseconds end); a date it cannot hold is not tried.
TEST_F(Journal, EveryDateComesBack) {
  std::vector<std::filesystem::path> folders = {dir_ / "dates"};
#ifndef _WIN32
  // tmpfs holds every date a 64-bit time_t can.
  std::optional<testing::TempDir> in_memory;
  if (std::filesystem::is_directory("/dev/shm"))
    folders.push_back(in_memory.emplace("/dev/shm") / "dates");
#endif
  for (const auto& folder : folders) {
    for (const int year : {1500, 1676, 1970, 2263, 2400, 9999}) {
      SCOPED_TRACE(utf8(folder) + " " + std::to_string(year));
      const std::optional<testing::Stamps> stamps = testing::stamps_in_year(year);
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      const std::filesystem::path photo = folder / "photo.jpg";
      testing::write_bytes(photo, jfif_file(72, 96));
      if (stamps) testing::write_stamps(photo, *stamps);
      if (!stamps || testing::read_stamps(photo) != *stamps) {
        std::cout << utf8(folder) << ": " << year << " cannot be held here\n";
        continue;
      }
      ASSERT_EQ(run_in(folder, {"--journal", "j.txt", "photo.jpg"}).status, kExitSuccess);
      const Outcome back = run_in(folder, {"--undo", "j.txt"});
      EXPECT_EQ(back.status, kExitSuccess) << back.error;
      EXPECT_EQ(testing::read_stamps(photo), *stamps);
      EXPECT_EQ(testing::read_bytes(photo), jfif_file(72, 96));
    }
  }
}

// One writer at a time: an undo is refused its own journal to record it,
// by whatever name, and a journal another run or undo adds to is refused.
TEST_F(Journal, OneWriterAtATime) {
  ASSERT_EQ(journaled_run().status, kExitSuccess);
  const TreeState changed = state_of(tree_);
  const testing::Bytes journal = testing::read_bytes(journal_);
  const struct {
    const char* name;
    std::vector<std::string> arguments;  // in the journal's folder
    bool held;                           // by another opening that adds to it
    int status;
    const char* message;
  } cases[] = {
      {"UndoRecordedInItself",
       {"--undo", "journal.txt", "--journal", "journal.txt"},
       false,
       kExitUsage,
       "journal.txt: the journal taken back cannot record the undo too"},
      {"ByAnotherName",
       {"--undo", utf8(journal_), "--journal", "./tree/../journal.txt"},
       false,
       kExitUsage,
       "the journal taken back cannot record the undo too"},
#ifndef _WIN32
      // Windows refuses a second opening to add, in its own words.
      {"UndoWhileAnotherAdds",
       {"--undo", "journal.txt"},
       true,
       kExitFileError,
       "journal.txt: in use by another quadrell, which adds to it; nothing was changed"},
      {"RunWhileAnotherAdds",
       {"--journal", "journal.txt", "tree"},
       true,
       kExitFileError,
       "journal.txt: in use by another quadrell, which adds to it; nothing was changed"},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<fs::JournalFile> holder;
    if (c.held) {
      Result<fs::JournalFile> opened =
          fs::JournalFile::open(testing::native(journal_), fs::JournalAccess::kAdd);
      ASSERT_TRUE(opened && *opened->lock());
      holder.emplace(std::move(*opened));
    }
    const Outcome refused = run_in(dir_.path(), c.arguments);
    EXPECT_EQ(refused.status, c.status);
    EXPECT_NE(refused.error.find(c.message), std::string::npos) << refused.error;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(differences(state_of(tree_), changed), "");
    EXPECT_EQ(testing::read_bytes(journal_), journal);
  }
}

// What the scans foresee behind the change in hand.
struct Foreseen final : ChangesAhead {
  std::vector<std::pair<NativePath, DensityChange>> changes;
  void visit(const Visit& each) override {
    for (const auto& [path, change] : changes) each(path, change);
  }
};

// Each change is recorded once, whatever the scans foresaw and however it
// came out, and every later line names its change by where its line begins.
TEST(JournalRecords, OncePerChange) {
  const auto change = [](int file, int read_at = 0, std::uint8_t after = 96) {
    DensityChange made{15,   true, {0, 72}, {0, after}, {7, static_cast<std::uint64_t>(file), 0},
                       4096, {}};
    made.times.last_access = {1000000000 + read_at, 0};
    return made;
  };
  using Ahead = std::vector<std::pair<NativePath, DensityChange>>;
  const NativePath a = testing::native("/a.jpg"), b = testing::native("/b.jpg"),
                   c = testing::native("/c.jpg"), d = testing::native("/d.jpg"),
                   x = testing::native("/x.jpg");
  struct Step {
    NativePath path;
    DensityChange made;
    Ahead ahead;
    bool written = true;  // false: the write failed after the change was let through
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
    int change_lines;
    int unmade_lines;  // foreseen or let through, and not made
  } cases[] = {
      // A read between the scan and the write moved the last-access time.
      {"ForeseenWithOtherTimes", {{a, change(1), {{b, change(2)}}}, {b, change(2, 1), {}}}, 2, 0},
      {"UnforeseenBetween",
       {{a, change(1), {{b, change(2)}, {c, change(3)}}},
        {x, change(9), {{b, change(2)}, {c, change(3)}, {d, change(4)}}},
        {b, change(2), {}},
        {c, change(3), {}},
        {d, change(4), {}}},
       5,
       0},
      {"OneFileNamedTwice",
       {{a, change(1), {{a, change(1)}, {b, change(2)}}}, {b, change(2), {}}},
       2,
       0},
      // c is a by another name, found changed already when its turn came.
      {"SecondNameNeverAsked",
       {{a, change(1), {{c, change(1)}, {b, change(2)}}}, {b, change(2), {}}},
       3,
       1},
      {"CameOutOtherwise", {{a, change(1), {{b, change(2)}}}, {b, change(2, 0, 97), {}}}, 3, 1},
      {"WriteFailed", {{a, change(1), {}, false}}, 1, 1},
      {"RunStoppedBeforeThem", {{a, change(1), {{b, change(2)}, {c, change(3)}}}}, 3, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    {
      std::optional<fs::JournalFile> file;
      const JournalOpening opening = open_journal(testing::native(dir / "j.txt"), file);
      ASSERT_EQ(opening.problem, JournalOpening::Problem::kNone);
      quadrell::Journal journal(*file, opening.end);
      for (const Step& step : c.steps) {
        Foreseen ahead;
        ahead.changes = step.ahead;
        ASSERT_TRUE(journal.may_change(step.path, step.made, ahead));
        const fs::FileTimes left = step.made.times;
        journal.change_done(step.written ? &step.made : nullptr, step.written ? &left : nullptr);
      }
      journal.run_done();
    }
    // The journal's lines by where they begin.
    std::map<std::int64_t, std::string> at;
    std::int64_t offset = 0;
    int change_lines = 0;
    std::vector<std::string> named;  // the changes the left lines name
    std::vector<std::string> unmade;
    for (const std::string& line : lines_of(dir / "j.txt")) {
      at[offset] = line;
      offset += static_cast<std::int64_t>(line.size()) + 1;
      if (line.starts_with("change ")) ++change_lines;
      if (line.starts_with("left ")) named.push_back(at[std::stoll(line.substr(5))]);
      if (line.starts_with("unmade ")) unmade.push_back(at[std::stoll(line.substr(7))]);
    }
    EXPECT_EQ(change_lines, c.change_lines);
    EXPECT_EQ(unmade.size(), static_cast<std::size_t>(c.unmade_lines));
    for (const std::string& line : unmade) EXPECT_TRUE(line.starts_with("change ")) << line;
    std::size_t made = 0;
    for (const Step& step : c.steps) {
      if (!step.written) continue;
      ASSERT_LT(made, named.size());
      EXPECT_TRUE(named[made].starts_with("change ")) << named[made];
      EXPECT_EQ(name_at(named[made], utf8_from_native(step.path).substr(1)),
                named[made].size() - step.path.size() - 9)
          << named[made];
      ++made;
    }
    EXPECT_EQ(made, named.size());
  }
}

#ifndef _WIN32
// The system's reason for a journal that cannot be made, not the one of
// the opening tried after it.
class UnprivilegedJournal : public Journal {};

TEST_F(UnprivilegedJournal, FolderNotWritable) {
  if (testing::permissions_are_ignored()) GTEST_SKIP() << "permission bits do not bind here";
  std::filesystem::create_directory(dir_ / "closed");
  std::filesystem::permissions(
      dir_ / "closed", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const Outcome run = run_in(dir_.path(), {"-r", "--journal", "closed/j.txt", "tree"});
  EXPECT_EQ(run.status, kExitFileError);
  EXPECT_NE(run.error.find("closed/j.txt: Permission denied; nothing was changed"),
            std::string::npos)
      << run.error;
  EXPECT_EQ(differences(state_of(tree_), before_), "");
}
#endif

}  // namespace
}  // namespace quadrell
