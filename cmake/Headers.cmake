# The include directories of the framework's targets. Programs include
# <corvex/<module>/<header>.h>; so that the repository root (tests/, demo/ ...)
# is not an include directory for them, the build tree holds a folder whose
# only entry, corvex, links to the headers' folder. Generated headers
# (corvex/version.h) sit in a folder of their own beside it.
set(CORVEX_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
set(CORVEX_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${CORVEX_INCLUDE_DIR} ${CORVEX_GENERATED_INCLUDE_DIR}/corvex)
if(NOT EXISTS ${CORVEX_INCLUDE_DIR}/corvex)
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/corvex ${CORVEX_INCLUDE_DIR}/corvex SYMBOLIC)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${CORVEX_GENERATED_INCLUDE_DIR}/corvex/version.h @ONLY)
