# Warnings every zarn target links: treated as errors so they never pile up.
add_library(zarn_warnings INTERFACE)
target_compile_options(zarn_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wimplicit-fallthrough -Wformat=2 -Werror)
target_compile_definitions(zarn_warnings INTERFACE $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

option(ZARN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZARN_SANITIZE)
  target_compile_options(zarn_warnings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(zarn_warnings INTERFACE -fsanitize=address,undefined)
endif()
