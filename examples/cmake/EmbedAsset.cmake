# example_embed(<target> <file> <symbol>)
#   Compiles <file> into <target> as two definitions in namespace cvx::embedded:
#     extern const unsigned char <symbol>[];   // the bytes
#     extern const std::size_t <symbol>_size;  // their count
#   The program registers them with EmbedRegister and opens them as
#   "incbin::<name>", so an installed example needs none of its files.
#
# The examples carry this small copy of Corvex's own build step so that they
# build the same way inside the Corvex tree and against an installed Corvex.
# Run with -P, this file is the build step itself.
if(CMAKE_SCRIPT_MODE_FILE)
  file(READ ${INPUT} hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
  if(size EQUAL 0)
    set(bytes "0")
  endif()
  file(WRITE ${OUTPUT}
"// Generated from ${INPUT}; do not edit.\n#include <cstddef>\nnamespace cvx::embedded {\nextern const unsigned char ${SYMBOL}[];\nextern const std::size_t ${SYMBOL}_size;\nalignas(16) const unsigned char ${SYMBOL}[] = {\n${bytes}\n};\nconst std::size_t ${SYMBOL}_size = ${size};\n}\n")
  return()
endif()

function(example_embed target file symbol)
  if(NOT IS_ABSOLUTE ${file})
    set(file ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DSYMBOL=${symbol} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${file} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    COMMENT "Embedding ${file}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
