# clang-tidy with the project's .clang-tidy over the sources in src/ (the
# Python plug-in included), run as
# each file compiles; its WarningsAsErrors make a finding fail the build.
option(ZARN_CLANG_TIDY "Run clang-tidy on src/ while compiling" OFF)
set(ZARN_TIDY_COMMAND "")
if(ZARN_CLANG_TIDY)
  find_program(ZARN_CLANG_TIDY_EXE NAMES clang-tidy-14 clang-tidy REQUIRED)
  # The build compiler may be g++, whose warning flags clang does not all know,
  # nor the -fno-fat-lto-objects that pybind11 gives the plug-in modules.
  set(ZARN_TIDY_COMMAND ${ZARN_CLANG_TIDY_EXE} --quiet --extra-arg=-Wno-unknown-warning-option
                        --extra-arg=-Wno-ignored-optimization-argument)
endif()

# Runs clang-tidy on target's sources when ZARN_CLANG_TIDY is on.
function(zarn_tidy target)
  if(ZARN_TIDY_COMMAND)
    set_target_properties(${target} PROPERTIES CXX_CLANG_TIDY "${ZARN_TIDY_COMMAND}")
  endif()
endfunction()
