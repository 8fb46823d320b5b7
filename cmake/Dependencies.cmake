# The external libraries of the framework, as the imported targets the modules
# link. cmake/CorvexConfig.cmake.in finds the same ones, under the same names,
# for a program that uses the installed package: a module links only these.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)              # Threads::Threads
find_package(SDL2 REQUIRED)                  # SDL2::SDL2
find_package(OpenGL REQUIRED)                # OpenGL::GL
find_package(X11 REQUIRED)                   # X11::X11
find_package(PNG REQUIRED)                   # PNG::PNG
find_package(JPEG REQUIRED)                  # JPEG::JPEG
find_package(Freetype REQUIRED)              # Freetype::Freetype
# Lua 5.1 and vorbisfile come with pkg-config files only.
pkg_check_modules(CORVEX_LUA51 REQUIRED IMPORTED_TARGET lua5.1)            # PkgConfig::CORVEX_LUA51
pkg_check_modules(CORVEX_VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)   # PkgConfig::CORVEX_VORBISFILE
