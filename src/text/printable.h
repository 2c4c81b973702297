#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn::text {

/// The one rule for characters no name may carry to a terminal or a folder
/// listing: C0 controls, DEL, C1 controls (U+0080..U+009F, U+009B being an
/// 8-bit CSI) and the bidirectional embeddings, overrides and isolates
/// (U+202A..U+202E, U+2066..U+2069) that reorder what is shown. Returns the
/// length in bytes of such a character at text[at], else 0.
std::size_t unsafe_character_at(std::string_view text, std::size_t at);

/// Whether text holds a character of that rule.
bool has_unsafe_character(std::string_view text);

/// Text read from a user's file, made safe to print on one line: the
/// characters of that rule are escaped as Python's repr() shows them ("\n",
/// "\t", "\x1b", "\x9b", "\u202e"), so a name cannot recolour the terminal,
/// split a line or reverse it. Everything else, invalid UTF-8 included, is kept.
std::string printable(std::string_view text);

/// printable() for output whose line breaks are its own layout: those stay.
std::string printable_keeping_line_breaks(std::string_view text);

}  // namespace zarn::text
