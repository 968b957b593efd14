# wdrx_library(name SOURCES ... [DEPS ...]): a static library of a subsystem folder under src/,
# registered in WDRX_LIBRARIES for tests, tools and benchmarks.
set(WDRX_LIBRARIES "" CACHE INTERNAL "")
function(wdrx_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads fmt::fmt)
  set(WDRX_LIBRARIES ${WDRX_LIBRARIES} ${name} CACHE INTERNAL "")
endfunction()

# Libraries of the test peers under tools/ (fakesim, faketraffic), linked into tests and benchmarks.
set(WDRX_TEST_TOOLS "" CACHE INTERNAL "")
function(wdrx_test_tool name)
  set(WDRX_TEST_TOOLS ${WDRX_TEST_TOOLS} ${name} CACHE INTERNAL "")
endfunction()
