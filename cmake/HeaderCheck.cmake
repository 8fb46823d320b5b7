# corvex_check_headers(<target> BASE <dir> HEADERS <header>... [LIBS <target>...])
#   Makes the object library <target>: one generated translation unit per
#   header, which includes that header (path relative to BASE) and nothing
#   else, twice, so that the build fails for a header that leans on something
#   its includer happened to include first, or that has no include guard.
#   A class the header only declares ("class TPixmap;") but hands out in a
#   counted reference (Ref<TPixmap>) must also be complete there: every caller
#   that keeps or drops such a reference needs the class's definition, so the
#   unit instantiates Ref of each such class in full. LIBS give the include
#   directories and compile options the headers are used with. The generated
#   files are rewritten only when their text changes, so an unchanged header is
#   not checked again.
function(corvex_check_headers target)
  cmake_parse_arguments(ARG "" "BASE" "HEADERS;LIBS" ${ARGN})
  if(NOT ARG_BASE OR NOT ARG_HEADERS)
    message(FATAL_ERROR "corvex_check_headers(${target}): give BASE <dir> and HEADERS <header>...")
  endif()
  set(units "")
  foreach(header IN LISTS ARG_HEADERS)
    get_filename_component(header ${header} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    file(RELATIVE_PATH relative ${ARG_BASE} ${header})
    string(REGEX REPLACE "\\.h$" ".cpp" unit ${CMAKE_CURRENT_BINARY_DIR}/${target}/${relative})
    corvex_referenced_declarations(${header} declared)
    set(text "// Generated: ${relative} must compile on its own, and twice.\n")
    string(APPEND text "#include \"${relative}\"\n#include \"${relative}\"\n")
    foreach(name IN LISTS declared)
      string(APPEND text "template class cvx::Ref<${name}>;\n")
    endforeach()
    file(CONFIGURE OUTPUT ${unit} CONTENT "${text}" @ONLY)
    list(APPEND units ${unit})
  endforeach()
  add_library(${target} OBJECT ${units})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
endfunction()

# corvex_public_headers(<out>): every header under corvex/ that a program may
# include. The list is read from the tree rather than written out, because the
# point of the check is that a header added later is checked without anyone
# remembering to list it. api_begin.h and api_end.h are fragments that every
# header includes around its declarations, not headers of their own.
function(corvex_public_headers out)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/corvex/*.h)
  list(FILTER headers EXCLUDE REGEX "/corvex/runtime/api_(begin|end)\\.h$")
  list(SORT headers)
  set(${out} ${headers} PARENT_SCOPE)
endfunction()

# corvex_referenced_declarations(<header> <out>): the qualified names of the
# classes that <header> declares without defining, at namespace scope
# ("class TPixmap;" inside "namespace cvx {"), and names in a Ref<...>.
function(corvex_referenced_declarations header out)
  file(READ ${header} text)
  # Semicolons would split the matches into list items.
  string(REPLACE ";" " SEMICOLON " text "${text}")
  set(found "")
  string(REGEX MATCHALL "\n(class|struct) [A-Za-z_][A-Za-z0-9_]* SEMICOLON " declarations "${text}")
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE "^\n(class|struct) ([A-Za-z0-9_]+) SEMICOLON $" "\\2" name "${declaration}")
    if(NOT text MATCHES "Ref<${name}>")
      continue()
    endif()
    # The namespace is the last one opened before the declaration.
    string(FIND "${text}" "${declaration}" at)
    string(SUBSTRING "${text}" 0 ${at} before)
    string(REGEX MATCHALL "\nnamespace [A-Za-z0-9_:]+ {" namespaces "${before}")
    if(NOT namespaces)
      continue()
    endif()
    list(GET namespaces -1 namespace)
    string(REGEX REPLACE "^\nnamespace ([A-Za-z0-9_:]+) {$" "\\1" namespace "${namespace}")
    list(APPEND found ${namespace}::${name})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
