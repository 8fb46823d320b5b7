# Fails when SDL leaks out of the SDL backend: an SDL header included by a
# file of <ROOT>/corvex outside corvex/platform/sdl/, or an SDL type named in a
# header outside it (the headers the rest of the framework and programs see).
# SDL's types and functions are CamelCase (SDL_Window, SDL_GLContext) and its
# integer types Uint8 ... Sint64; its ALL_CAPS macros and environment
# variables (SDL_VIDEODRIVER) are not types and may be mentioned.
#
#   cmake -DROOT=<folder holding corvex/> -P sdl_confinement.cmake
if(NOT ROOT)
  message(FATAL_ERROR "sdl_confinement.cmake: pass -DROOT=<folder holding corvex/>")
endif()
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/corvex/*.h ${ROOT}/corvex/*.hpp ${ROOT}/corvex/*.c
     ${ROOT}/corvex/*.cpp ${ROOT}/corvex/*.inl)
set(leaks "")
foreach(file IN LISTS files)
  if(file MATCHES "^corvex/platform/sdl/")
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"]SDL")
      list(APPEND leaks "${file}:${number}: includes an SDL header: ${line}")
    elseif(file MATCHES "\\.(h|hpp|inl)$")
      if(line MATCHES "(^|[^A-Za-z0-9_])(SDL_[A-Za-z0-9_]*[a-z][A-Za-z0-9_]*)")
        list(APPEND leaks "${file}:${number}: names the SDL type ${CMAKE_MATCH_2}")
      elseif(line MATCHES "(^|[^A-Za-z0-9_])([SU]int(8|16|32|64))([^A-Za-z0-9_]|$)")
        list(APPEND leaks "${file}:${number}: names the SDL type ${CMAKE_MATCH_2}")
      endif()
    endif()
  endforeach()
endforeach()
if(leaks)
  list(JOIN leaks "\n" report)
  message(FATAL_ERROR "SDL outside corvex/platform/sdl/:\n${report}")
endif()
list(LENGTH files count)
message(STATUS "${count} files checked: SDL stays in corvex/platform/sdl/")
