#pragma once

#include <string>
#include <string_view>

#include "task/provell/connection_listing.h"
#include "terminal/printer.h"

namespace zarn::cli {

/// text as a JSON string. The YAML reader accepts only UTF-8, so the bytes
/// above 0x7f are kept as they are, except the characters no name may show
/// raw, which JSON escapes as \uXXXX like the controls.
std::string json_string(std::string_view text);

/// `zarn target list`'s lines: the connections in file order, one line each
/// (or one JSON document), after a warning when the profile named is not in
/// the file.
void print_listing(terminal::Printer& printer, const provell::ConnectionListing& listing,
                   bool json);

}  // namespace zarn::cli
