#include "engine/log_line.h"

namespace quadrell {

int leader_length(int name_length) { return name_length <= 29 ? 64 - 2 * name_length : 4; }

std::string number_text(std::int64_t number) { return " " + std::to_string(number); }

std::string log_line(const LogName& name, ScanResult result) {
  const int dots = leader_length(name.length);
  std::string line;
  line.reserve(name.text.size() + dots + 32);
  line += name.text;
  line += ' ';
  line.append(dots, '.');
  if (result > 0) {
    line += number_text(result) + number_text(std::int64_t{result} + 1) + " Change";
  } else if (result == kFair) {
    line += " OK";
  } else {
    line += " -1 -1 Access error!";
  }
  return line;
}

std::string summary_line(const RunCounts& counts) {
  return "Jpeg files =>  total:" + number_text(counts.total) +
         "  fair:" + number_text(counts.fair) + "  update:" + number_text(counts.update) +
         "  error:" + number_text(counts.error);
}

void add_log_line(std::string& text, bool log_empty, std::string_view line) {
  if (!log_empty) text += "\r\n";
  text += line;
}

void add_summary_line(std::string& text, bool log_empty, std::string_view line) {
  text += log_empty ? "\r\n" : "\r\n\r\n";
  text += line;
}

}  // namespace quadrell
