#pragma once

#include <filesystem>

#include "host/host.h"
#include "task/provell/output.h"

namespace zarn::provell {

/// Lists the archives of the driver folder and removes the archive settings
/// ("spark.jars", "spark.jars.packages") of the "spark-local" compute entry,
/// since Spark finds the archives at run time; true when the folder holds one.
bool update_driver_registry(const Output& out, const std::filesystem::path& folder,
                            host::ComputeRegistry& registry);

}  // namespace zarn::provell
