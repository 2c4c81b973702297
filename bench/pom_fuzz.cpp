// libFuzzer target: any bytes either parse to dependencies or fail with
// PomError; any other exception, a crash or a sanitizer report is a fault.

#include <cstdint>
#include <string_view>

#include "task/provell/pom.h"

// Written with the sum of every field's bytes, so the reads stay in the build.
volatile std::size_t field_bytes = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  try {
    const auto dependencies = zarn::provell::parse_pom_dependencies(document);
    std::size_t total = 0;  // every field is read, so a dangling one would show
    for (const auto& dependency : dependencies) {
      for (const auto* field : {&dependency.group_id, &dependency.artifact_id, &dependency.version,
                                &dependency.scope, &dependency.optional}) {
        if (!*field) continue;
        for (const char c : **field) total += static_cast<unsigned char>(c);
      }
    }
    field_bytes = total;
  } catch (const zarn::provell::PomError&) {
  }
  return 0;
}
