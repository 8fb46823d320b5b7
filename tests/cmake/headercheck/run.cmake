# cmake -DSOURCE=<dir> -DBINARY=<dir> -DCHECK_FILE=<file> -DCXX=<compiler> -DHEADERS=<a;b> -P run.cmake
# Configures and builds the header check project from scratch, prints what the
# compiler said, and fails when the build fails.
file(REMOVE_RECURSE ${BINARY})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -DCMAKE_CXX_COMPILER=${CXX}
                        -DCORVEX_HEADER_CHECK_FILE=${CHECK_FILE} "-DPROBE_HEADERS=${HEADERS}"
                RESULT_VARIABLE configured OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "configuring failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} RESULT_VARIABLE built OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT built EQUAL 0)
  message(FATAL_ERROR "the header check failed")
endif()
