# Warning flags for the project's own targets (never exported to users).
# No -Wnon-virtual-dtor: COM interfaces are released, never deleted, and have no virtual destructor.
add_library(zudava_warnings INTERFACE)
target_compile_options(zudava_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wcast-qual
  $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
  $<$<BOOL:${ZUDAVA_WERROR}>:-Werror>)
