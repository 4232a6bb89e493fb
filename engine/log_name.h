#pragma once

#include <string>
#include <string_view>

namespace quadrell {

// A file name as the log shows it and its length N in UTF-16 code units,
// which sets the leader; a byte or unit that is no character counts 1.
struct LogName {
  std::string text;
  int length = 0;
  bool operator==(const LogName&) const = default;
};

// A POSIX name (bytes): its bytes as they are, as find shows them, so
// that a name that is not UTF-8 can be given back to the system from the
// log; only a line feed or a carriage return shows as "?", so that one file
// stays one line.
LogName log_name(std::string_view name);

// A Windows name (UTF-16 code units), shown as UTF-8. Control characters
// would forge or break lines and a lone surrogate cannot be shown: each of
// them shows as U+FFFD.
LogName log_name(std::wstring_view name);

// UTF-8 one character at a time, for the names a log or a journal holds.
void append_utf8(std::string& out, char32_t c);
// The length of the UTF-8 sequence at the start of bytes (which is not
// empty), with its character in c; 0 when it is not well-formed (overlong,
// a surrogate, beyond U+10FFFF, cut short).
std::size_t decode_utf8(std::string_view bytes, char32_t& c);
// The character that the UTF-16 units at i begin: a surrogate pair whole
// (i is left on its second half), a lone surrogate as it is.
char32_t decode_utf16(std::wstring_view units, std::size_t& i);

// A name as bytes that give it back whole: on POSIX its bytes; on Windows
// its UTF-16 as UTF-8, a lone surrogate encoded as the others are (as
// WTF-8 does).
std::string name_bytes(std::string_view name);
std::string name_bytes(std::wstring_view name);

// A name's characters, as name patterns match them: on POSIX its UTF-8
// decoded, a byte that is no character as U+DC00 + the byte (as Python's
// surrogateescape); on Windows its UTF-16 decoded with ASCII letters
// lower-cased, since its names and cmd's wildcards take no account of case.
std::u32string name_characters(std::string_view name);
std::u32string name_characters(std::wstring_view name);

// Shown text (names, or lines that hold them) as it goes to a terminal:
// every character a terminal would take as a control (C0, DEL, C1) and
// every byte that is no UTF-8 character shows as "?", as ls shows names
// there; only the line feeds that end lines stay. Each of them counts one
// in a LogName's length, as "?" does, so a line's leader stays right.
std::string shown_on_terminal(std::string_view text);

}  // namespace quadrell
