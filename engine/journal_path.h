#pragma once

#include <string>
#include <string_view>

namespace quadrell {

// A full path as a journal's record holds it, to the end of the record: as
// UTF-8, with "%", controls and DEL written %HH, and what is no character
// escaped too: on POSIX a byte that is no UTF-8 as %HH, on Windows a lone
// half of a surrogate pair as %uD800. One overload for each kind of
// NativePath (bytes, UTF-16 units), so that each is tested everywhere.
void append_journal_path(std::string& text, std::string_view path);
void append_journal_path(std::string& text, std::wstring_view path);

// The path that text spells; false for an escape that is none, for a NUL
// (no system takes one in a name: a record holding one was not written by
// us) and for an empty path.
bool parse_journal_path(std::string_view text, std::string& path);
bool parse_journal_path(std::string_view text, std::wstring& path);

// Helpers of both overloads and of the records around them: hex digits as the
// journal writes them (lower case, no sign) and the escape of one byte.
void append_hex(std::string& text, unsigned value, int digits);
bool hex_value(std::string_view digits, unsigned& value);
bool needs_escape(char32_t c);
void append_escaped(std::string& text, unsigned byte);

}  // namespace quadrell
