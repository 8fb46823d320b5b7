# corvex_module(<name> SOURCES <file>... [DEPENDS <module>...] [PRIVATE_DEPENDS <module>...]
#               [LIBS <target>...] [PRIVATE_LIBS <target>...])
#   Builds the listed sources (relative to the calling folder) into the library
#   corvex_<name>, known to programs as Corvex::<name>, static or shared after
#   BUILD_SHARED_LIBS. DEPENDS and LIBS are what the module's public headers
#   need (they reach every program that links the module); PRIVATE_DEPENDS and
#   PRIVATE_LIBS are what only its sources use. External libraries are the
#   imported targets of cmake/Dependencies.cmake, which the installed package
#   finds again for the programs that use it.
function(corvex_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS;LIBS;PRIVATE_LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "corvex_module(${name}): list the module's .cpp files after SOURCES")
  endif()
  set(target corvex_${name})
  add_library(${target} ${ARG_SOURCES})
  add_library(Corvex::${name} ALIAS ${target})
  set_target_properties(${target} PROPERTIES
    EXPORT_NAME ${name}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    # Only what the public headers declare is exported from a shared library
    # (corvex/runtime/api_begin.h); everything else stays inside it.
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    POSITION_INDEPENDENT_CODE ON
    # An installed shared module finds the modules it uses beside itself.
    INSTALL_RPATH "$ORIGIN")
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_include_directories(${target} PUBLIC
    "$<BUILD_INTERFACE:${CORVEX_INCLUDE_DIR};${CORVEX_GENERATED_INCLUDE_DIR}>"
    "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
  foreach(dep IN LISTS ARG_DEPENDS)
    target_link_libraries(${target} PUBLIC corvex_${dep})
  endforeach()
  foreach(dep IN LISTS ARG_PRIVATE_DEPENDS)
    target_link_libraries(${target} PRIVATE corvex_${dep})
  endforeach()
  target_link_libraries(${target} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  set_property(GLOBAL APPEND PROPERTY CORVEX_MODULES ${target})
endfunction()

# corvex_module_alias(<name> <module>...): Corvex::<name> as a name for modules
# that are built as one library (a folder whose code lives in another module).
function(corvex_module_alias name)
  add_library(corvex_${name} INTERFACE)
  add_library(Corvex::${name} ALIAS corvex_${name})
  set_target_properties(corvex_${name} PROPERTIES EXPORT_NAME ${name})
  foreach(dep IN LISTS ARGN)
    target_link_libraries(corvex_${name} INTERFACE corvex_${dep})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY CORVEX_MODULES corvex_${name})
endfunction()

# corvex_program(<name> <sources> <modules> <libs>): an executable linked to
# Corvex modules (given without the corvex_ prefix) and other libraries; the
# common part of tests, benchmarks and fuzz targets. The project's own programs
# also include from the repository root (tests/support/..., demo/...).
function(corvex_program name sources modules libs)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  foreach(dep IN LISTS modules)
    target_link_libraries(${name} PRIVATE corvex_${dep})
  endforeach()
  target_link_libraries(${name} PRIVATE ${libs})
endfunction()

# corvex_test(<name> SOURCES <file>... [DEPENDS <module>...] [LIBS <lib>...] [DISPLAY] [TIMEOUT <s>])
#   One GoogleTest program per call, registered with CTest as <name>. DISPLAY
#   marks a test that needs the X display (run under Xvfb by scripts/test); such
#   tests never run concurrently.
function(corvex_test name)
  cmake_parse_arguments(ARG "DISPLAY" "TIMEOUT" "SOURCES;DEPENDS;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "corvex_test(${name}): list the test's .cpp files after SOURCES")
  endif()
  corvex_program(${name} "${ARG_SOURCES}" "${ARG_DEPENDS}" "${ARG_LIBS};corvex_test_main")
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
  # Listed even when not built, so the source check knows them.
  foreach(source IN LISTS ARG_SOURCES)
    get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    set_property(GLOBAL APPEND PROPERTY CORVEX_UNBUILT_SOURCES ${source})
  endforeach()
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
