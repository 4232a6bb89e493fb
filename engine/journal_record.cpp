#include "engine/journal_record.h"

#include <charconv>

#include "engine/crc32c.h"
#include "engine/journal_path.h"

namespace quadrell {
namespace {

// The check's place at a line's end: a space and eight hex digits.
constexpr std::size_t kSealSize = 9;
constexpr int kNanosecondDigits = 9;

std::string sealed(std::string body) {
  const std::uint32_t crc = crc32c(body);
  body += ' ';
  append_hex(body, crc, 8);
  body += '\n';
  return body;
}

// Decimal, as to_chars writes it: no leading zeros, no plus, no "-0".
template <typename Number>
bool number(std::string_view token, Number& value) {
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return error == std::errc() && end == token.data() + token.size() && !token.empty() &&
         (token.size() == 1 || token[0] != '0') && !token.starts_with("-0");
}

void append_time(std::string& text, const fs::FileTime& time) {
  text += std::to_string(time.seconds);
  text += '.';
  const std::string nanoseconds = std::to_string(time.nanoseconds);
  text.append(kNanosecondDigits - nanoseconds.size(), '0');
  text += nanoseconds;
}

bool time_value(std::string_view token, fs::FileTime& time) {
  const std::size_t dot = token.find('.');
  if (dot == std::string_view::npos || token.size() - dot - 1 != kNanosecondDigits) return false;
  const std::string_view fraction = token.substr(dot + 1);
  const auto [end, error] =
      std::from_chars(fraction.data(), fraction.data() + fraction.size(), time.nanoseconds);
  return number(token.substr(0, dot), time.seconds) && error == std::errc() &&
         end == fraction.data() + fraction.size() && fraction[0] != '-' && fraction[0] != '+';
}

bool byte_pair(std::string_view high, std::string_view low, PatchValue& value) {
  unsigned first = 0, second = 0;
  if (high.size() != 2 || low.size() != 2 || !hex_value(high, first) || !hex_value(low, second)) {
    return false;
  }
  value = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
  return true;
}

// The first count words of line, each ended by one space; rest is what follows.
bool split(std::string_view line, std::string_view* words, std::size_t count,
           std::string_view& rest) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t end = line.find(' ');
    if (end == std::string_view::npos) return false;
    words[i] = line.substr(0, end);
    line.remove_prefix(end + 1);
  }
  rest = line;
  return true;
}

bool parse_change(std::string_view line, JournalRecord& record) {
  std::string_view w[18];
  std::string_view path;
  DensityChange& change = record.density;
  change = {};
  const bool sound =
      split(line, w, 18, path) && w[0] == "change" && number(w[1], change.position) &&
      change.position > 0 && (w[2] == "x" || w[2] == "y") && byte_pair(w[3], w[4], change.before) &&
      w[5] == "->" && byte_pair(w[6], w[7], change.after) && w[8] == "file" &&
      number(w[9], change.identity.volume) && number(w[10], change.identity.file) &&
      number(w[11], change.identity.birth) && w[12] == "size" && number(w[13], change.size) &&
      change.size > 0 && w[14] == "times" && time_value(w[15], change.times.creation) &&
      time_value(w[16], change.times.last_access) && time_value(w[17], change.times.last_write);
  change.at_x = w[2] == "x";
  return sound && fs::times_in_range(change.times) && parse_journal_path(path, record.path);
}

std::string about(const char* kind, std::int64_t change) {
  return std::string(kind) + " " + std::to_string(change);
}

}  // namespace

std::string journal_header() {
  return std::string(kJournalName) + std::to_string(kJournalFormat) + "\n";
}

int journal_format(std::string_view first_line) {
  int format = 0;
  if (!first_line.starts_with(kJournalName)) return 0;
  return number(first_line.substr(kJournalName.size()), format) && format > 0 ? format : 0;
}

std::string change_line(const NativePath& path, const DensityChange& change) {
  std::string line = "change " + std::to_string(change.position) + (change.at_x ? " x " : " y ");
  append_hex(line, change.before[0], 2);
  line += ' ';
  append_hex(line, change.before[1], 2);
  line += " -> ";
  append_hex(line, change.after[0], 2);
  line += ' ';
  append_hex(line, change.after[1], 2);
  line += " file " + std::to_string(change.identity.volume) + " " +
          std::to_string(change.identity.file) + " " + std::to_string(change.identity.birth) +
          " size " + std::to_string(change.size) + " times ";
  for (const fs::FileTime* time :
       {&change.times.creation, &change.times.last_access, &change.times.last_write}) {
    append_time(line, *time);
    line += ' ';
  }
  append_journal_path(line, path);
  return sealed(std::move(line));
}

std::string left_line(std::int64_t change, const fs::FileTime& last_write) {
  std::string line = about("left", change) + " written ";
  append_time(line, last_write);
  return sealed(std::move(line));
}

std::string wrote_line(std::int64_t change, const fs::FileTime& last_write) {
  std::string line = about("wrote", change) + " ";
  append_time(line, last_write);
  return sealed(std::move(line));
}

std::string settled_line(std::int64_t change) { return sealed(about("settled", change)); }
std::string unmade_line(std::int64_t change) { return sealed(about("unmade", change)); }
std::string writing_line(std::int64_t change) { return sealed(about("writing", change)); }

bool parse_record(std::string_view line, JournalRecord& record) {
  if (line.size() <= kSealSize || line[line.size() - kSealSize] != ' ') return false;
  unsigned check = 0;
  const std::string_view body = line.substr(0, line.size() - kSealSize);
  const std::string_view seal = line.substr(line.size() - 8);
  if (!hex_value(seal, check) || crc32c(body) != check) return false;
  if (body.starts_with("change ")) {
    record.kind = JournalRecord::Kind::kChange;
    return parse_change(body, record);
  }
  std::string_view w[3];
  std::string_view rest;
  // The lines that name their change alone.
  for (const auto& [word, kind] : {std::pair{"settled", JournalRecord::Kind::kSettled},
                                   std::pair{"unmade", JournalRecord::Kind::kUnmade},
                                   std::pair{"writing", JournalRecord::Kind::kWriting}}) {
    if (split(body, w, 1, rest) && w[0] == word) {
      record.kind = kind;
      return number(rest, record.change) && record.change > 0;
    }
  }
  if (body.starts_with("wrote ")) {
    record.kind = JournalRecord::Kind::kWrote;
    return split(body, w, 2, rest) && number(w[1], record.change) && record.change > 0 &&
           time_value(rest, record.time);
  }
  record.kind = JournalRecord::Kind::kLeft;
  return split(body, w, 3, rest) && w[0] == "left" && number(w[1], record.change) &&
         record.change > 0 && w[2] == "written" && time_value(rest, record.time);
}

}  // namespace quadrell
