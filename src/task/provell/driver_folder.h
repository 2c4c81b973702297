#pragma once

#include <filesystem>
#include <string>

namespace zarn::provell {

/// project_dir/.zarn/jdbc_jars, spelled without "." or empty components so
/// the path printed is the plain one ("./p//" gives "p/.zarn/jdbc_jars").
std::filesystem::path driver_folder(const std::string& project_dir);

}  // namespace zarn::provell
