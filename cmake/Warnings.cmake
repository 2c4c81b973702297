# Warnings every zarn target links. They are errors only where the compiler
# is known (CI and development builds turn ZARN_WERROR on): a user's newer
# compiler may warn about things ours does not, and must still build zarn.
add_library(zarn_warnings INTERFACE)
target_compile_options(zarn_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wimplicit-fallthrough -Wformat=2)
target_compile_definitions(zarn_warnings INTERFACE $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

option(ZARN_WERROR "Treat compiler warnings as errors (CI and development builds)" OFF)
if(ZARN_WERROR)
  target_compile_options(zarn_warnings INTERFACE -Werror)
  # g++ 12 at -O3 warns that inlined std::string copies may overlap (GCC bug
  # 105651); the warning still prints, but cannot stop the build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(zarn_warnings INTERFACE -Wno-error=restrict)
  endif()
endif()

option(ZARN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZARN_SANITIZE)
  target_compile_options(zarn_warnings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(zarn_warnings INTERFACE -fsanitize=address,undefined)
endif()
