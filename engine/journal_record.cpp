#include "engine/journal_record.h"

#include <charconv>

#include "engine/crc32c.h"
#include "engine/journal_path.h"

namespace quadrell {
namespace {

// The check's place at a line's end: a space and eight hex digits.
constexpr std::size_t kSealSize = 9;

std::string sealed(std::string body, std::uint32_t* check = nullptr) {
  const std::uint32_t crc = crc32c(body);
  if (check != nullptr) *check = crc;
  body += ' ';
  append_hex(body, crc, 8);
  body += '\n';
  return body;
}

void append_check(std::string& text, std::uint32_t check) { append_hex(text, check, 8); }

template <typename Number>
bool number(std::string_view token, Number& value) {
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return error == std::errc() && end == token.data() + token.size() && !token.empty() &&
         (token.size() == 1 || token[0] != '0') && !token.starts_with("-0");
}

bool check_value(std::string_view token, std::uint32_t& value) {
  unsigned parsed = 0;
  if (token.size() != 8 || !hex_value(token, parsed)) return false;
  value = parsed;
  return true;
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

bool parse_change(std::string_view line, int format, JournalRecord& record) {
  std::string_view w[18];
  std::string_view path;
  DensityChange& change = record.density;
  change = {};
  const bool two = format >= 2;
  if (!split(line, w, two ? 18 : 15, path)) return false;
  // Format 1 has neither birth nor size: its times follow the file index.
  const std::size_t times = two ? 15 : 12;
  bool sound = w[0] == "change" && number(w[1], change.position) && change.position > 0 &&
               (w[2] == "x" || w[2] == "y") && byte_pair(w[3], w[4], change.before) &&
               w[5] == "->" && byte_pair(w[6], w[7], change.after) && w[8] == "file" &&
               number(w[9], change.identity.volume) && number(w[10], change.identity.file) &&
               w[times - 1] == "times" && number(w[times], change.times.creation) &&
               number(w[times + 1], change.times.last_access) &&
               number(w[times + 2], change.times.last_write);
  if (two) {
    sound = sound && number(w[11], change.identity.birth) && w[12] == "size" &&
            number(w[13], change.size) && change.size > 0;
  }
  change.at_x = w[2] == "x";
  return sound && fs::times_in_range(change.times) && parse_journal_path(path, record.path);
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

std::string change_line(const NativePath& path, const DensityChange& change, std::uint32_t& check) {
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
          " size " + std::to_string(change.size) + " times " +
          std::to_string(change.times.creation) + " " + std::to_string(change.times.last_access) +
          " " + std::to_string(change.times.last_write) + " ";
  append_journal_path(line, path);
  return sealed(std::move(line), &check);
}

std::string left_line(std::uint32_t change, std::int64_t last_write) {
  std::string line = "left ";
  append_check(line, change);
  return sealed(line + " written " + std::to_string(last_write));
}

std::string undoing_line(std::uint32_t change, std::int64_t began) {
  std::string line = "undoing ";
  append_check(line, change);
  return sealed(line + " at " + std::to_string(began));
}

std::string settled_line(std::uint32_t change) {
  std::string line = "settled ";
  append_check(line, change);
  return sealed(line);
}

bool parse_record(std::string_view line, int format, JournalRecord& record) {
  if (format < 2) {
    record.kind = JournalRecord::Kind::kChange;
    record.change = 0;
    return parse_change(line, format, record);
  }
  if (line.size() <= kSealSize || line[line.size() - kSealSize] != ' ') return false;
  std::uint32_t check = 0;
  const std::string_view body = line.substr(0, line.size() - kSealSize);
  if (!check_value(line.substr(line.size() - 8), check) || crc32c(body) != check) return false;
  std::string_view w[3];
  std::string_view rest;
  if (body.starts_with("change ")) {
    record.kind = JournalRecord::Kind::kChange;
    record.change = check;
    return parse_change(body, format, record);
  }
  if (body.starts_with("settled ")) {
    record.kind = JournalRecord::Kind::kSettled;
    return check_value(body.substr(8), record.change);
  }
  if (!split(body, w, 3, rest) || !check_value(w[1], record.change) || !number(rest, record.time)) {
    return false;
  }
  if (w[0] == "left" && w[2] == "written") {
    record.kind = JournalRecord::Kind::kLeft;
  } else if (w[0] == "undoing" && w[2] == "at") {
    record.kind = JournalRecord::Kind::kUndoing;
  } else {
    return false;
  }
  return true;
}

}  // namespace quadrell
