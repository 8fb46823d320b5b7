# corvex_embed(<target> <file> <symbol>)
#   Compiles <file> (a path relative to the repository root, or absolute) into
#   <target> as two definitions in namespace cvx::embedded:
#     extern const unsigned char <symbol>[];   // the bytes
#     extern const std::size_t <symbol>_size;  // their count
#   The code that owns the resource declares them and registers them with
#   EmbedRegister under the resource's name. The array is plain portable C++.
set(CORVEX_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedFile.cmake)

function(corvex_embed target file symbol)
  if(NOT IS_ABSOLUTE ${file})
    set(file ${PROJECT_SOURCE_DIR}/${file})
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DSYMBOL=${symbol} -P ${CORVEX_EMBED_SCRIPT}
    DEPENDS ${file} ${CORVEX_EMBED_SCRIPT}
    COMMENT "Embedding ${file}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
