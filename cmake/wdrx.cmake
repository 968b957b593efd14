# std::atomic of a value the processor cannot load in one instruction (16 bytes, or a 4-byte code
# of chars) becomes a call into libatomic with clang; g++ links it by itself only sometimes.
include(CheckCXXSourceCompiles)
set(wdrx_atomic_probe [=[
#include <atomic>
#include <cstdint>
struct Wide { std::uint64_t a, b; };
struct Code { char c[4]; };
int main() {
  std::atomic<Wide> wide{};
  std::atomic<Code> code{};
  wide.store(wide.load());
  code.store(code.load());
  return 0;
}
]=])
check_cxx_source_compiles("${wdrx_atomic_probe}" WDRX_ATOMICS_WITHOUT_LIBATOMIC)
set(WDRX_ATOMIC_LIBRARY "")
if(NOT WDRX_ATOMICS_WITHOUT_LIBATOMIC)
  set(CMAKE_REQUIRED_LIBRARIES atomic)
  check_cxx_source_compiles("${wdrx_atomic_probe}" WDRX_ATOMICS_WITH_LIBATOMIC)
  unset(CMAKE_REQUIRED_LIBRARIES)
  if(NOT WDRX_ATOMICS_WITH_LIBATOMIC)
    message(FATAL_ERROR "std::atomic of wide values does not link, not even with libatomic")
  endif()
  set(WDRX_ATOMIC_LIBRARY atomic)
endif()

# wdrx_library(name SOURCES ... [DEPS ...]): a static library of a subsystem folder under src/,
# registered in WDRX_LIBRARIES for tests, tools and benchmarks.
set(WDRX_LIBRARIES "" CACHE INTERNAL "")
function(wdrx_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads fmt::fmt ${WDRX_ATOMIC_LIBRARY})
  set(WDRX_LIBRARIES ${WDRX_LIBRARIES} ${name} CACHE INTERNAL "")
endfunction()

# Libraries of the test peers under tools/ (fakesim, faketraffic), linked into tests and benchmarks.
set(WDRX_TEST_TOOLS "" CACHE INTERNAL "")
function(wdrx_test_tool name)
  set(WDRX_TEST_TOOLS ${WDRX_TEST_TOOLS} ${name} CACHE INTERNAL "")
endfunction()

# The layers of the program's libraries, bottom to top; names joined by "|" share a layer. A
# library links only to libraries of lower layers (two of one layer may link one way, never both).
# Each library is the one library of its folder directly under src/ and is named for it
# (wdrx_<folder>): read in this order, the folders are the program's architecture.
set(WDRX_LAYERS
  wdrx_platform wdrx_foundation wdrx_runstate wdrx_config wdrx_simconnect wdrx_aircraft
  wdrx_airports wdrx_simlink wdrx_records wdrx_traffic "wdrx_liveries|wdrx_parking" wdrx_engine
  wdrx_window wdrx_app)

# Fails the configuration when a library of WDRX_LIBRARIES has no layer, is not the one library
# of its folder src/<folder> named wdrx_<folder>, compiles a source outside that folder, when a
# folder under src/ has no library, or when a library links upwards or includes a header of a
# higher layer.
function(wdrx_check_layers)
  set(rank 0)
  foreach(entry ${WDRX_LAYERS})
    string(REPLACE "|" ";" names "${entry}")
    foreach(name ${names})
      set(rank_${name} ${rank})
    endforeach()
    math(EXPR rank "${rank} + 1")
  endforeach()
  set(sideways "")
  foreach(lib ${WDRX_LIBRARIES})
    if(NOT DEFINED rank_${lib})
      message(FATAL_ERROR "Library ${lib} has no layer: add it to WDRX_LAYERS in cmake/wdrx.cmake")
    endif()
    get_target_property(deps ${lib} LINK_LIBRARIES)
    if(NOT deps)
      continue()
    endif()
    string(REGEX MATCHALL "wdrx_[A-Za-z0-9_]+" names "${deps}")
    foreach(dep ${names})
      if(dep STREQUAL lib OR NOT dep IN_LIST WDRX_LIBRARIES)
        continue()
      endif()
      if(rank_${dep} GREATER rank_${lib})
        message(FATAL_ERROR "Library ${lib} links to ${dep} of a higher layer (see WDRX_LAYERS)")
      elseif(rank_${dep} EQUAL rank_${lib})
        if("${dep}>${lib}" IN_LIST sideways)
          message(FATAL_ERROR "Libraries ${lib} and ${dep} link to each other")
        endif()
        list(APPEND sideways "${lib}>${dep}")
      endif()
    endforeach()
  endforeach()

  # One library a folder: defined by src/<folder>/CMakeLists.txt, named wdrx_<folder>, and
  # compiling only sources inside its folder; every folder under src/ has its library. A
  # library's files are its sources and every header inside its folder.
  set(src ${PROJECT_SOURCE_DIR}/src)
  foreach(lib ${WDRX_LIBRARIES})
    get_target_property(base ${lib} SOURCE_DIR)
    file(RELATIVE_PATH folder ${src} ${base})
    if(NOT folder MATCHES "^[A-Za-z0-9_]+$")
      message(FATAL_ERROR "Library ${lib} is defined in ${base}, not in a folder directly under src/")
    elseif(DEFINED library_of_${folder})
      message(FATAL_ERROR "Folder src/${folder} holds two libraries, ${library_of_${folder}} and ${lib}: one library a folder")
    elseif(NOT lib STREQUAL "wdrx_${folder}")
      message(FATAL_ERROR "Library ${lib} of folder src/${folder} must be named wdrx_${folder}")
    endif()
    set(library_of_${folder} ${lib})
    get_target_property(sources ${lib} SOURCES)
    foreach(source ${sources})
      get_filename_component(path ${source} ABSOLUTE BASE_DIR ${base})
      file(RELATIVE_PATH inside ${base} ${path})
      if(inside MATCHES "^\\.\\./" OR IS_ABSOLUTE "${inside}")
        message(FATAL_ERROR "Library ${lib} compiles ${path}, outside its folder src/${folder}")
      endif()
      list(APPEND files_${lib} ${path})
    endforeach()
    file(GLOB_RECURSE headers ${base}/*.hpp ${base}/*.h)
    list(APPEND files_${lib} ${headers})
  endforeach()
  file(GLOB entries LIST_DIRECTORIES true ${src}/*)
  foreach(entry ${entries})
    get_filename_component(folder ${entry} NAME)
    if(IS_DIRECTORY ${entry} AND NOT DEFINED library_of_${folder})
      message(FATAL_ERROR "Folder src/${folder} has no library: add wdrx_${folder} to WDRX_LAYERS in cmake/wdrx.cmake")
    endif()
  endforeach()

  # The libraries all end up in one program, so the link graph does not see a source or header
  # that includes a header of a higher layer: the include lines are checked too. A header
  # belongs to the library of its folder.
  foreach(lib ${WDRX_LIBRARIES})
    foreach(file ${files_${lib}})
      get_filename_component(dir ${file} DIRECTORY)
      file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
      foreach(line ${includes})
        string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" included "${line}")
        if(EXISTS ${dir}/${included})
          get_filename_component(path ${dir}/${included} ABSOLUTE)
        else()
          get_filename_component(path ${src}/${included} ABSOLUTE)
        endif()
        file(RELATIVE_PATH relative ${src} ${path})
        if(NOT relative MATCHES "^([A-Za-z0-9_]+)/")
          continue()
        endif()
        set(owner "${library_of_${CMAKE_MATCH_1}}")
        if(NOT owner OR owner STREQUAL lib)
          continue()
        elseif(rank_${owner} GREATER rank_${lib})
          message(FATAL_ERROR "${file} (${lib}) includes ${included} of ${owner}, a higher layer (see WDRX_LAYERS)")
        elseif(rank_${owner} EQUAL rank_${lib})
          if("${owner}>${lib}" IN_LIST sideways)
            message(FATAL_ERROR "${file} (${lib}) includes ${included} of ${owner}, which uses ${lib}")
          endif()
          list(APPEND sideways "${lib}>${owner}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
