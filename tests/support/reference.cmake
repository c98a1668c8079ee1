# The plain slope limiters (tests/support/reference_limit.*), shared by the unit tests and
# the benchmark. Included from tests/ and bench/; defined once.
include_guard(GLOBAL)
add_library(tarsola_reference STATIC
  ${CMAKE_CURRENT_LIST_DIR}/limit_grids.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reference_limit.cpp)
target_include_directories(tarsola_reference PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(tarsola_reference PUBLIC tarsola_core)
# The pass iteration takes up to 300 passes over the grid; built unoptimized (the sanitizer
# build is a Debug build) it would make the randomized tests run for minutes.
target_compile_options(tarsola_reference PRIVATE -O2)
