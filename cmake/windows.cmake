# The plug-in must import only Windows system DLLs: the C++ runtime is linked in
# statically.
add_compile_options(-Oz -ffunction-sections -fdata-sections -Wall -Wextra
                    "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/implicit_string.h")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
# The DLL is optimised as a whole at link time (src/plugin). Its sources and jsoncpp carry
# their regular code too, which the tests link without that optimisation; the tests' own
# sources and GoogleTest are compiled to regular code only.
set(KESTREL_LTO_OBJECT_OPTIONS -flto -ffat-lto-objects)
add_link_options(-fno-lto)

# One source tree, one build folder per NSIS target: the target names the plug-in
# folder (Plugins/<target>) and must agree with the toolchain and the text width.
set(KESTREL_TARGET "x86-ansi" CACHE STRING "NSIS target: x86-ansi, x86-unicode or amd64-unicode")
set_property(CACHE KESTREL_TARGET PROPERTY STRINGS x86-ansi x86-unicode amd64-unicode)
option(KESTREL_UNICODE "Build for Unicode installers (UNICODE, _UNICODE)" OFF)
if(KESTREL_TARGET MATCHES "^amd64-")
  set(_kestrel_pointer_size 8)
elseif(KESTREL_TARGET MATCHES "^x86-")
  set(_kestrel_pointer_size 4)
else()
  message(FATAL_ERROR "Unknown KESTREL_TARGET '${KESTREL_TARGET}'")
endif()
if(NOT CMAKE_SIZEOF_VOID_P EQUAL _kestrel_pointer_size)
  message(FATAL_ERROR "KESTREL_TARGET ${KESTREL_TARGET} needs ${_kestrel_pointer_size}-byte pointers; "
                      "the toolchain gives ${CMAKE_SIZEOF_VOID_P}")
endif()
if(KESTREL_TARGET MATCHES "-unicode$" AND NOT KESTREL_UNICODE)
  message(FATAL_ERROR "KESTREL_TARGET ${KESTREL_TARGET} needs -DKESTREL_UNICODE=ON")
endif()
if(KESTREL_TARGET MATCHES "-ansi$" AND KESTREL_UNICODE)
  message(FATAL_ERROR "KESTREL_TARGET ${KESTREL_TARGET} needs -DKESTREL_UNICODE=OFF")
endif()
if(KESTREL_UNICODE)
  add_compile_definitions(UNICODE _UNICODE)
endif()

# Reproducible binaries: no link time stamp, and no build or source folder in them.
add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=kestrel"
                    "-ffile-prefix-map=${PROJECT_BINARY_DIR}=build")
add_link_options(-Wl,--no-insert-timestamp)

include(cmake/jsoncpp.cmake)
