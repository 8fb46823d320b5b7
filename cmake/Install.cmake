# Install rules: the libraries, the public headers, the exported targets
# (Corvex::<module>, Corvex::Corvex), the CMake package files and corvex.pc.
include(CMakePackageConfigHelpers)

set(CORVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)
get_property(CORVEX_ALL_MODULES GLOBAL PROPERTY CORVEX_MODULES)
install(TARGETS corvex ${CORVEX_ALL_MODULES}
  EXPORT CorvexTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/corvex/ ${CORVEX_GENERATED_INCLUDE_DIR}/corvex/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvex
  FILES_MATCHING PATTERN "*.h")
install(EXPORT CorvexTargets NAMESPACE Corvex:: DESTINATION ${CORVEX_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CorvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CorvexConfig.cmake
  INSTALL_DESTINATION ${CORVEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CorvexConfig.cmake ${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/Embed.cmake ${CMAKE_CURRENT_LIST_DIR}/EmbedFile.cmake
  DESTINATION ${CORVEX_CMAKE_DIR})

# pkg-config: one package, corvex, for the whole framework. The libraries are
# listed in link order (a module before the modules it uses); a static build
# also lists the external libraries they use.
set(CORVEX_PC_LINK_ORDER
  app platformchoice fonts glvex2d headless vex2d glgraphics graphics timer input audio platform eventqueue system event script net process
  filesystem
  pixmap_png pixmap_jpeg pixmap_tga pixmap random stream runtime)
set(CORVEX_PC_LIBS "")
foreach(module IN LISTS CORVEX_PC_LINK_ORDER)
  if(NOT TARGET corvex_${module})
    message(FATAL_ERROR "cmake/Install.cmake: corvex_${module} is in the pkg-config link order but not built")
  endif()
  string(APPEND CORVEX_PC_LIBS " -lcorvex_${module}")
endforeach()
foreach(module IN LISTS CORVEX_ALL_MODULES)
  string(REGEX REPLACE "^corvex_" "" module ${module})
  get_target_property(type corvex_${module} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY" AND NOT module IN_LIST CORVEX_PC_LINK_ORDER)
    message(FATAL_ERROR "cmake/Install.cmake: add the module ${module} to CORVEX_PC_LINK_ORDER")
  endif()
endforeach()
set(CORVEX_PC_REQUIRES "sdl2 gl x11 libpng libjpeg freetype2 lua5.1 vorbisfile")
if(BUILD_SHARED_LIBS)
  # Lua's headers are part of the script engine's interface.
  set(CORVEX_PC_REQUIRES_PUBLIC "lua5.1")
  set(CORVEX_PC_REQUIRES_PRIVATE "${CORVEX_PC_REQUIRES}")
else()
  set(CORVEX_PC_REQUIRES_PUBLIC "${CORVEX_PC_REQUIRES}")
  set(CORVEX_PC_REQUIRES_PRIVATE "")
endif()
# The prefix is found from where the file lies (${pcfiledir}), so that an
# install moved elsewhere, or made with `cmake --install --prefix`, still
# points at itself. An absolute libdir has no fixed way back: the prefix
# configured is written then.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(CORVEX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH CORVEX_PC_UP "/corvex-prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/corvex-prefix")
  string(REGEX REPLACE "/$" "" CORVEX_PC_UP "${CORVEX_PC_UP}")
  set(CORVEX_PC_PREFIX "\${pcfiledir}/${CORVEX_PC_UP}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvex.pc.in ${PROJECT_BINARY_DIR}/corvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
