#pragma once

#include <string>
#include <string_view>

namespace zarn::host {

/// Text read from a user's file, made safe to print on one line: control
/// characters (C0, DEL and C1) are escaped as Python's repr() shows them
/// ("\n", "\t", "\x1b", "\x9b"), so a name cannot recolour the terminal or
/// split a line. Everything else, invalid UTF-8 included, is kept.
std::string printable(std::string_view text);

}  // namespace zarn::host
