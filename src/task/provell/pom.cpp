#include "task/provell/pom.h"

#include <expat.h>

#include <array>
#include <climits>
#include <memory>
#include <utility>

#include "text/utf8.h"

namespace zarn::provell {
namespace {

constexpr char kSeparator = '\x01';  // cannot occur in an XML document, so never in a namespace

using Field = std::optional<std::string> PomDependency::*;

constexpr std::array<std::pair<std::string_view, Field>, 5> kFields{{
    {"groupId", &PomDependency::group_id},
    {"artifactId", &PomDependency::artifact_id},
    {"version", &PomDependency::version},
    {"scope", &PomDependency::scope},
    {"optional", &PomDependency::optional},
}};

/// One open element while the document is read.
struct Frame {
  int dependency = -1;             ///< index in the result when this is a <dependency>
  int captured_by = -1;            ///< index of the dependency whose field this element is
  Field field = nullptr;           ///< that field
  bool before_first_child = true;  ///< text still counts as the element's own
};

struct Reader {
  XML_Parser parser = nullptr;
  std::vector<Frame> open;
  std::vector<PomDependency> dependencies;
  bool entity_declared = false;

  /// The local name when name is in the POM namespace, else empty.
  static std::string_view pom_local_name(std::string_view name) {
    const auto separator = name.find(kSeparator);
    if (separator == std::string_view::npos || name.substr(0, separator) != kPomNamespace) {
      return {};
    }
    return name.substr(separator + 1);
  }

  void start(std::string_view name) {
    const std::string_view local = pom_local_name(name);
    Frame frame;
    if (!open.empty()) {
      Frame& parent = open.back();
      parent.before_first_child = false;
      if (parent.dependency >= 0) capture(parent.dependency, local, frame);
      if (local == "dependency") {
        frame.dependency = static_cast<int>(dependencies.size());
        dependencies.emplace_back();
      }
    }
    open.push_back(frame);
  }

  void capture(int dependency, std::string_view local, Frame& frame) {
    for (const auto& [field_name, field] : kFields) {
      auto& value = dependencies[static_cast<std::size_t>(dependency)].*field;
      if (local == field_name && !value) {
        value.emplace();
        frame.captured_by = dependency;
        frame.field = field;
      }
    }
  }

  void text(std::string_view piece) {
    Frame& frame = open.back();
    if (frame.captured_by >= 0 && frame.before_first_child) {
      (dependencies[static_cast<std::size_t>(frame.captured_by)].*frame.field)->append(piece);
    }
  }

  void end() {
    const Frame frame = open.back();
    open.pop_back();
    if (frame.captured_by < 0) return;
    auto& value = dependencies[static_cast<std::size_t>(frame.captured_by)].*frame.field;
    if (value->empty()) *value = kNoText;
  }
};

void on_start(void* user, const XML_Char* name, const XML_Char**) {
  static_cast<Reader*>(user)->start(name);
}

void on_end(void* user, const XML_Char*) {
  static_cast<Reader*>(user)->end();
}

void on_text(void* user, const XML_Char* text, int length) {
  static_cast<Reader*>(user)->text(std::string_view(text, static_cast<std::size_t>(length)));
}

// Entities are what expansion attacks and external loads need; a plain
// "<!DOCTYPE project>" line, which real descriptors carry, declares none.
void on_entity_declaration(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                           const XML_Char*, const XML_Char*, const XML_Char*) {
  auto* reader = static_cast<Reader*>(user);
  reader->entity_declared = true;
  XML_StopParser(reader->parser, XML_FALSE);
}

struct ParserDeleter {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using ParserHandle = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

}  // namespace

std::vector<PomDependency> parse_pom_dependencies(std::string_view document) {
  if (const auto invalid = zarn::text::first_invalid_utf8(document)) {
    throw PomError("invalid UTF-8 at byte " + std::to_string(*invalid));
  }
  if (document.size() > static_cast<std::size_t>(INT_MAX)) throw PomError("document too large");

  // The bytes were checked as UTF-8, so that encoding is forced whatever the
  // declaration says.
  ParserHandle parser(XML_ParserCreateNS("UTF-8", kSeparator));
  if (!parser) throw PomError("cannot create an XML parser");
  Reader reader;
  reader.parser = parser.get();
  XML_SetUserData(parser.get(), &reader);
  XML_SetElementHandler(parser.get(), on_start, on_end);
  XML_SetCharacterDataHandler(parser.get(), on_text);
  XML_SetEntityDeclHandler(parser.get(), on_entity_declaration);
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

  const auto status =
      XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()), XML_TRUE);
  if (reader.entity_declared) throw PomError("entity declarations are not accepted");
  if (status != XML_STATUS_OK) {
    throw PomError(std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                   std::to_string(XML_GetCurrentLineNumber(parser.get())));
  }
  return std::move(reader.dependencies);
}

}  // namespace zarn::provell
