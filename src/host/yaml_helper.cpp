#include "host/yaml_helper.h"

#include "yaml/load.h"

namespace zarn::host {

yaml::Node load_yaml_text(std::string_view text, std::string_view source) {
  return yaml::load(text, source);
}

}  // namespace zarn::host
