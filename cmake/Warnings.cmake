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
endif()

option(ZARN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZARN_SANITIZE)
  target_compile_options(zarn_warnings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(zarn_warnings INTERFACE -fsanitize=address,undefined)
endif()
