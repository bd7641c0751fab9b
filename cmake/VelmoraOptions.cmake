# Warnings, sanitizers and coverage shared by every target.

add_library(velmora_warnings INTERFACE)
target_compile_options(velmora_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wcast-qual -Wconversion -Wno-sign-conversion)
if(VELMORA_WERROR)
  target_compile_options(velmora_warnings INTERFACE -Werror)
endif()

# Sanitizer flags go on every compile and link, so a host and the library it loads agree.
if(VELMORA_SANITIZE)
  add_compile_options(-fsanitize=${VELMORA_SANITIZE} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VELMORA_SANITIZE})
endif()

if(VELMORA_COVERAGE)
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()
