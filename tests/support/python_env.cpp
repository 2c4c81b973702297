#include "support/python_env.h"

#include <stdlib.h>

#include <stdexcept>

#include "os/process.h"

namespace zarn::testing {
namespace {

// argv: wheel folder, then package and module pairs.
constexpr const char* kBuildWheels = R"(
import base64, hashlib, os, sys, zipfile
out = sys.argv[1]
args = sys.argv[2:]
for package, module in zip(args[0::2], args[1::2]):
    dist = package.replace('-', '_')
    info = f'{dist}-1.0.dist-info'
    files = {
        f'pelk/adapters/{module}/__init__.py': b'',
        f'{info}/METADATA': f'Metadata-Version: 2.1\nName: {package}\nVersion: 1.0\n'.encode(),
        f'{info}/WHEEL': b'Wheel-Version: 1.0\nGenerator: zarn-tests\nRoot-Is-Purelib: true\nTag: py3-none-any\n',
    }
    record = []
    with zipfile.ZipFile(os.path.join(out, f'{dist}-1.0-py3-none-any.whl'), 'w') as wheel:
        for name, data in files.items():
            wheel.writestr(name, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b'=').decode()
            record.append(f'{name},sha256={digest},{len(data)}')
        record.append(f'{info}/RECORD,,')
        wheel.writestr(f'{info}/RECORD', '\n'.join(record) + '\n')
)";

void run_checked(const std::vector<std::string>& argv) {
  const os::ProcessResult result = os::run_process(argv);
  if (result.exit_status != 0) {
    throw std::runtime_error("test set-up failed: " + argv.front() + " " + argv.at(1) + ": " +
                             result.standard_error);
  }
}

}  // namespace

PythonEnv::PythonEnv(const std::vector<Wheel>& wheels) : root_(dir_.path()) {
  std::filesystem::create_directories(wheel_dir());
  // Installing pip into every environment (ensurepip) takes seconds; when the
  // base interpreter has pip, the environment borrows it and stays empty of
  // packages itself, and pip still installs into the environment.
  const bool base_has_pip = os::run_process({"python3", "-c", "import pip"}).exit_status == 0;
  if (base_has_pip) {
    run_checked({"python3", "-m", "venv", "--without-pip", "--system-site-packages",
                 (root_ / "venv").string()});
  } else {
    run_checked({"python3", "-m", "venv", (root_ / "venv").string()});
  }
  std::vector<std::string> argv{python().string(), "-c", kBuildWheels, wheel_dir().string()};
  for (const Wheel& wheel : wheels) {
    argv.push_back(wheel.package);
    argv.push_back(wheel.module);
  }
  run_checked(argv);
}

std::map<std::string, std::string> PythonEnv::offline_pip_variables() const {
  return {{"PIP_NO_INDEX", "1"},
          {"PIP_FIND_LINKS", wheel_dir().string()},
          {"PIP_DISABLE_PIP_VERSION_CHECK", "1"},
          {"PIP_CONFIG_FILE", "/dev/null"}};
}

void PythonEnv::use_offline_pip() const {
  for (const auto& [name, value] : offline_pip_variables())
    ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace zarn::testing
