#include "host/interpreter.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zarn::host {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

void make_program(const fs::path& path, fs::perms perms = fs::perms::owner_all) {
  testing::write_file(path, "#!/bin/sh\n");
  fs::permissions(path, perms);
}

TEST(FindInterpreter, ChoosesByZarnPythonThenVirtualEnvThenPath) {
  TempDir dir;
  make_program(dir / "not-executable/python3", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directories(dir / "folder/python3");
  make_program(dir / "first/python3");
  make_program(dir / "second/python3");
  const std::string path = (dir / "not-executable").string() + "::" + (dir / "folder").string() +
                           ":" + (dir / "first").string() + ":" + (dir / "second").string();
  struct Case {
    const char* name;
    std::map<std::string, std::string> variables;
    fs::path expected;
  };
  const Case cases[] = {
      {"explicit choice, even one that does not exist",
       {{"ZARN_PYTHON", "/missing/python"}, {"VIRTUAL_ENV", "/venv"}, {"PATH", path}},
       "/missing/python"},
      {"empty ZARN_PYTHON counts as unset",
       {{"ZARN_PYTHON", ""}, {"VIRTUAL_ENV", "/venv"}, {"PATH", path}},
       "/venv/bin/python"},
      {"active virtual environment",
       {{"VIRTUAL_ENV", "/venv"}, {"PATH", path}},
       "/venv/bin/python"},
      {"first executable python3 file on PATH", {{"PATH", path}}, dir / "first/python3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_interpreter(os::Environment(c.variables)), c.expected) << c.name;
  }
}

TEST(FindInterpreter, SaysHowToChooseOneWhenPathHasNone) {
  TempDir dir;
  fs::create_directories(dir / "empty");
  // The empty entry stands for the working folder, which must not be searched.
  make_program(dir / "cwd/python3");
  const fs::path previous = fs::current_path();
  fs::current_path(dir / "cwd");
  try {
    find_interpreter(os::Environment({{"PATH", ":" + (dir / "empty").string()}}));
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "no Python interpreter found: set ZARN_PYTHON to the interpreter whose environment "
              "holds the adapters, or activate its virtual environment");
  }
  fs::current_path(previous);
}

}  // namespace
}  // namespace zarn::host
