# corvex_module(<name> [DEPENDS <module>...] [LIBS <library>...])
#   Builds every .cpp of the calling folder into the static library corvex_<name>,
#   linked to the modules it uses and to external libraries. Headers are included
#   by path from the repository root.
function(corvex_module name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;LIBS;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_library(corvex_${name} STATIC ${sources})
  target_include_directories(corvex_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  foreach(dep IN LISTS ARG_DEPENDS)
    target_link_libraries(corvex_${name} PUBLIC corvex_${dep})
  endforeach()
  if(ARG_LIBS)
    target_link_libraries(corvex_${name} PUBLIC ${ARG_LIBS})
  endif()
  set_property(GLOBAL APPEND PROPERTY CORVEX_MODULES corvex_${name})
endfunction()

# corvex_program(<name> <sources> <modules> <libs>): an executable linked to
# Corvex modules (given without the corvex_ prefix) and other libraries; the
# common part of tests, benchmarks and fuzz targets.
function(corvex_program name sources modules libs)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  foreach(dep IN LISTS modules)
    target_link_libraries(${name} PRIVATE corvex_${dep})
  endforeach()
  target_link_libraries(${name} PRIVATE ${libs})
endfunction()

# The sources given, or else every .cpp of the calling folder.
macro(corvex_default_sources var)
  if(ARG_SOURCES)
    set(${var} ${ARG_SOURCES})
  else()
    file(GLOB ${var} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
endmacro()

# corvex_test(<name> [SOURCES <file>...] [DEPENDS <module>...] [LIBS <lib>...] [DISPLAY] [TIMEOUT <s>])
#   One GoogleTest program per call, registered with CTest as <name>. By default it
#   takes every .cpp of the calling folder. DISPLAY marks a test that needs the X
#   display (run under Xvfb by scripts/test); such tests never run concurrently.
function(corvex_test name)
  cmake_parse_arguments(ARG "DISPLAY" "TIMEOUT" "SOURCES;DEPENDS;LIBS" ${ARGN})
  corvex_default_sources(sources)
  corvex_program(${name} "${sources}" "${ARG_DEPENDS}" "${ARG_LIBS};corvex_test_main")
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  if(ARG_DISPLAY)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display LABELS display)
  endif()
endfunction()

# corvex_fuzz(<name> SOURCES <file>... DEPENDS <module>... [CORPUS <dir>...] [RUNS <n>]
#             [RSS_LIMIT_MB <mb>] [TIMEOUT <s>])
#   A libFuzzer target, built only when CORVEX_FUZZ is on (clang). It is also
#   registered as a test that runs <n> inputs (default 3000) from the seed
#   corpora, so that a decoder crash fails the suite; an input past the memory
#   limit (default 2048 MB) or the time limit (default 10 s) fails it too.
function(corvex_fuzz name)
  cmake_parse_arguments(ARG "" "RUNS;RSS_LIMIT_MB;TIMEOUT" "SOURCES;DEPENDS;LIBS;CORPUS" ${ARGN})
  if(NOT CORVEX_FUZZ)
    return()
  endif()
  corvex_program(${name} "${ARG_SOURCES}" "${ARG_DEPENDS}" "${ARG_LIBS}")
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  if(NOT ARG_RUNS)
    set(ARG_RUNS 3000)
  endif()
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${work})
  set(corpus_args ${work})
  if(ARG_CORPUS)
    list(APPEND corpus_args ${ARG_CORPUS})
  endif()
  if(NOT ARG_RSS_LIMIT_MB)
    set(ARG_RSS_LIMIT_MB 2048)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 10)
  endif()
  add_test(NAME ${name} COMMAND ${name} -runs=${ARG_RUNS} -max_len=65536 -rss_limit_mb=${ARG_RSS_LIMIT_MB}
                                -timeout=${ARG_TIMEOUT} ${corpus_args})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()
