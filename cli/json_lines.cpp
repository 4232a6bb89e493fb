#include "cli/json_lines.h"

#include <algorithm>

#include "engine/log_name.h"

namespace quadrell {
namespace {

// Three bytes a group, the last one padded with "=".
void append_base64(std::string& out, std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t in_group = std::min<std::size_t>(3, bytes.size() - i);
    unsigned group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < in_group ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= in_group ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
  }
}

// A string as JSON: quoted, with " and \ escaped, and every control (C0,
// DEL, C1) as \u, so that a line stays one line and acts on no terminal.
// text is valid UTF-8.
void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  while (!text.empty()) {
    char32_t c;
    std::size_t length = decode_utf8(text, c);
    if (length == 0) {  // not to be had: the callers hand UTF-8
      c = 0xFFFD;
      length = 1;
    }
    if (c == U'"' || c == U'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += text.substr(0, length);
    }
    text.remove_prefix(length);
  }
  out += '"';
}

bool is_utf8(std::string_view bytes) {
  while (!bytes.empty()) {
    char32_t c;
    const std::size_t length = decode_utf8(bytes, c);
    if (length == 0) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

std::uint16_t density(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

void append_pair(std::string& out, std::string_view key, unsigned x, unsigned y) {
  out += ",\"";
  out += key;
  out += "\":{\"x\":";
  out += std::to_string(x);
  out += ",\"y\":";
  out += std::to_string(y);
  out += '}';
}

// The header as the scan read it, and as the change leaves it: the unit and
// both densities. An undo knows the density it takes back alone.
void append_densities(std::string& out, const FileOutcome& outcome, bool changes) {
  if (const ScanDetail* scanned = outcome.scanned; scanned != nullptr && scanned->jfif) {
    static constexpr const char* kUnits[] = {"none", "dpi", "dpcm"};
    out += ",\"unit\":";
    if (scanned->units < std::size(kUnits)) {
      append_json_string(out, kUnits[scanned->units]);
    } else {
      out += std::to_string(scanned->units);
    }
    const unsigned x = density(&scanned->densities[0]), y = density(&scanned->densities[2]);
    append_pair(out, "before", x, y);
    const unsigned larger = x > y ? x : y;
    append_pair(out, "after", changes ? larger : x, changes ? larger : y);
  } else if (const DensityChange* change = outcome.change; change != nullptr) {
    for (const auto& [key, value] :
         {std::pair{"before", change->before}, {"after", change->after}}) {
      out += ",\"";
      out += key;
      out += change->at_x ? "\":{\"x\":" : "\":{\"y\":";
      out += std::to_string(density(value.data()));
      out += '}';
    }
  }
}

// A file's object up to its outcome, which follows.
std::string file_object(const NativePath& path) {
  std::string line = "{\"type\":\"file\",\"path\":";
  append_json_path(line, path);
  return line + ",\"outcome\":";
}

}  // namespace

void append_json_path(std::string& out, const NativePath& path) {
  const std::string bytes = name_bytes(path);
  if (is_utf8(bytes)) return append_json_string(out, bytes);
  out += "{\"bytes\":\"";
  append_base64(out, bytes);
  out += "\"}";
}

std::string json_file_line(const FileOutcome& outcome, const JsonFileNotes& notes) {
  std::string line = file_object(outcome.shown);
  const bool changes = outcome.result > 0;
  line += outcome.result == kFair          ? "\"fair\""
          : outcome.result == kAccessError ? "\"error\""
          : notes.dry_run                  ? "\"would_change\""
                                           : "\"changed\"";
  if (!notes.reason.empty()) {
    line += ",\"reason\":";
    append_json_string(line, notes.reason);
  }
  if (changes) {
    line += ",\"position\":";
    line += std::to_string(outcome.result);
  }
  if (outcome.result >= kFair) append_densities(line, outcome, changes);
  if (changes && !notes.dry_run) {
    line += ",\"dates_kept\":";
    line += notes.dates_asked && !notes.dates_not_put_back ? "true" : "false";
  }
  line += '}';
  return line;
}

std::string json_notice_line(const NativePath& path, std::string_view outcome,
                             std::string_view reason) {
  std::string line = file_object(path);
  append_json_string(line, outcome);
  line += ",\"reason\":";
  append_json_string(line, reason);
  line += '}';
  return line;
}

std::string json_summary_line(const RunCounts& counts, bool dry_run) {
  std::string line = "{\"type\":\"summary\"";
  for (const auto& [key, count] : {std::pair{"total", counts.total},
                                   {"fair", counts.fair},
                                   {"update", counts.update},
                                   {"error", counts.error}}) {
    line += ",\"";
    line += key;
    line += "\":";
    line += std::to_string(count);
  }
  line += ",\"dry_run\":";
  line += dry_run ? "true}" : "false}";
  return line;
}

}  // namespace quadrell
