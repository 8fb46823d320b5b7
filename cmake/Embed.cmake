# corvex_embed(<target> <file> <symbol>)
#   Compiles <file> (relative to the calling CMakeLists.txt's folder, or
#   absolute) into <target> as two definitions in namespace cvx::embedded:
#     extern const unsigned char <symbol>[];   // the bytes
#     extern const std::size_t <symbol>_size;  // their count
#   The code that owns the resource declares them and registers them with
#   EmbedRegister under the resource's name, and opens it as "incbin::<name>".
#   The array is plain portable C++. The installed package offers the same
#   function: find_package(Corvex) brings it along.
function(corvex_embed target file symbol)
  # The build step sits beside this file, in the tree and in the package.
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/EmbedFile.cmake)
  if(NOT IS_ABSOLUTE ${file})
    set(file ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DSYMBOL=${symbol} -P ${script}
    DEPENDS ${file} ${script}
    COMMENT "Embedding ${file}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
