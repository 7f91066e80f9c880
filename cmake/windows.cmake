# Q8.exe, its companion tools and the end-to-end tests, as Windows programs:
# 32-bit (what ships), or x86-64 to prove the same sources where Wine runs only
# 64-bit programs. Everything links statically so that only Windows' own DLLs
# are imported.
enable_language(RC)
enable_testing()

# Warnings are errors with the compiler Debian pins; with whatever GCC MSYS2
# ships that day (the Windows presets) they are reported, and the build goes
# on. A Windows preset also names the pointer size it needs: from the wrong
# MSYS2 shell it would quietly build the other architecture.
option(Q8_WERROR "Treat compiler warnings as errors" ON)
set(werror "$<$<BOOL:${Q8_WERROR}>:-Werror>")
set(Q8_POINTER_SIZE "" CACHE STRING "The pointer size the compiler must have, if any (4 or 8)")
message(STATUS "Compiler: ${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} "
               "(${CMAKE_SIZEOF_VOID_P}-byte pointers); CMake ${CMAKE_VERSION}")
if(Q8_POINTER_SIZE AND NOT Q8_POINTER_SIZE EQUAL CMAKE_SIZEOF_VOID_P)
  message(FATAL_ERROR "this preset needs a compiler with ${Q8_POINTER_SIZE}-byte pointers, and "
                      "${CMAKE_CXX_COMPILER} has ${CMAKE_SIZEOF_VOID_P}: run it from the MSYS2 shell "
                      "TESTING.md names for it")
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_compile_definitions(__USE_MINGW_ANSI_STDIO=0 WIN32_LEAN_AND_MEAN)
add_compile_options(-Wall -Wextra -ffunction-sections -fdata-sections)
add_link_options(-static -Wl,--gc-sections -Wl,--no-insert-timestamp)

add_library(q8_platform STATIC launcher/platform/platform_win32.cpp)
target_include_directories(q8_platform PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(q8_platform PRIVATE -fno-exceptions -fno-rtti)
target_link_libraries(q8_platform PUBLIC shell32 user32 kernel32)

# Q8.exe brings its own start-up code and none of the C runtime's: it imports
# the few string and formatting routines it uses from the system's msvcrt.dll.
add_executable(Q8 WIN32 ${LAUNCHER_LOGIC} launcher/platform/platform_win32.cpp
                        launcher/platform/startup_win32.cpp resources/q8.rc)
target_include_directories(Q8 PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(Q8 PRIVATE ${werror} -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
                                  -fno-ident)
# The architecture, by the name the end-to-end runner knows it (win32, win64),
# and the entry symbol as it decorates it: stdcall on i686. Given a name it
# cannot find, the linker only warns and enters at the start of the code,
# where the program dies at once; its warnings are errors here.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(Q8_ARCH win32)
  set(Q8_ENTRY _Q8Startup@0)
else()
  set(Q8_ARCH win64)
  set(Q8_ENTRY Q8Startup)
endif()
target_link_options(Q8 PRIVATE -s -nostartfiles -Wl,-e,${Q8_ENTRY} -Wl,--fatal-warnings)
target_link_libraries(Q8 PRIVATE shell32 user32 kernel32 msvcrt)
# The resource compiler's own dependency scan does not see the icon.
set_source_files_properties(resources/q8.rc PROPERTIES OBJECT_DEPENDS
                            ${CMAKE_SOURCE_DIR}/resources/q8.ico)

# q8_presence.h for the game's developers, generated from the launcher's
# naming code into include/ of the build folder.
include(cmake/presence_header.cmake)
q8_presence_header(q8_presence_header ${CMAKE_BINARY_DIR}/include)

# The presence rule and the command-line rule, for the tools, from the same
# sources the launcher uses. The C++ presence helper is built on q8_presence.h,
# held to the warnings a game's C++ build may ask for.
add_library(q8_shared STATIC launcher/presence/presence.cpp launcher/presence/announce.cpp
                             launcher/presence/presence_for_path.cpp launcher/command_line.cpp)
target_link_libraries(q8_shared PUBLIC q8_platform)
target_include_directories(q8_shared PUBLIC ${CMAKE_BINARY_DIR}/include)
add_dependencies(q8_shared q8_presence_header)
set_source_files_properties(launcher/presence/announce.cpp PROPERTIES COMPILE_OPTIONS
                            "-pedantic;${werror}")

add_executable(TestGame WIN32 tools/test_game.cpp)
target_link_libraries(TestGame PRIVATE q8_shared)

add_executable(DemoGame WIN32 tools/demo_game.cpp)
target_link_libraries(DemoGame PRIVATE q8_shared)

add_executable(Q8Quit WIN32 tools/quit_tool.cpp launcher/command_line.cpp)
target_include_directories(Q8Quit PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(Q8Quit PRIVATE -s)  # shipped: no symbols, no build paths

# Tells why a launcher does not see its game; a console program, shipped
# beside Q8Quit.exe. It adds nothing to Q8.exe.
add_executable(Q8Doctor tools/doctor.cpp)
target_link_libraries(Q8Doctor PRIVATE q8_shared)
# Its large zeroed buffers stay out of the file: with data sections, MinGW
# would store them in .data.
target_compile_options(Q8Doctor PRIVATE ${werror} -fno-exceptions -fno-rtti -fno-data-sections)
target_link_options(Q8Doctor PRIVATE -s)

# A stand-in game written in C with nothing but <windows.h> and q8_presence.h,
# held to C99 without a warning.
add_executable(CPresenceGame WIN32 tests/e2e/c_presence_game.c)
target_include_directories(CPresenceGame PRIVATE ${CMAKE_BINARY_DIR}/include)
set_target_properties(CPresenceGame PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                                               C_EXTENSIONS OFF)
target_compile_options(CPresenceGame PRIVATE -pedantic ${werror})
add_dependencies(CPresenceGame q8_presence_header)

add_executable(DemoNarrator tools/demo_narrator.cpp)
target_link_libraries(DemoNarrator PRIVATE q8_shared)

include(cmake/e2e.cmake)
