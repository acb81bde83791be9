# The plug-in must import only Windows system DLLs: the C++ runtime and winpthread
# are linked in statically.
add_compile_options(-Os -ffunction-sections -fdata-sections -Wall -Wextra)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)

# Unicode NSIS hosts keep UTF-16 text on their stack.
option(KESTREL_UNICODE "Build for Unicode NSIS hosts (UTF-16 stack)" OFF)
if(KESTREL_UNICODE)
  add_compile_definitions(UNICODE _UNICODE)
endif()

# jsoncpp: Debian ships no mingw build, so its source package (fetched by
# scripts/setup) is compiled here with the same toolchain.
set(KESTREL_JSONCPP_SOURCE_ROOT /opt/kestrel/jsoncpp CACHE PATH
    "Folder holding the unpacked Debian source package of jsoncpp")
file(GLOB _jsoncpp_dirs LIST_DIRECTORIES true "${KESTREL_JSONCPP_SOURCE_ROOT}/libjsoncpp-*")
list(FILTER _jsoncpp_dirs EXCLUDE REGEX "\\.(gz|xz|dsc)$")
list(GET _jsoncpp_dirs 0 KESTREL_JSONCPP_DIR)
if(NOT EXISTS "${KESTREL_JSONCPP_DIR}/src/lib_json/json_value.cpp")
  message(FATAL_ERROR "jsoncpp sources not found under ${KESTREL_JSONCPP_SOURCE_ROOT}: run scripts/setup")
endif()
add_library(kestrel_jsoncpp STATIC
  "${KESTREL_JSONCPP_DIR}/src/lib_json/json_reader.cpp"
  "${KESTREL_JSONCPP_DIR}/src/lib_json/json_value.cpp"
  "${KESTREL_JSONCPP_DIR}/src/lib_json/json_writer.cpp")
target_include_directories(kestrel_jsoncpp SYSTEM PUBLIC "${KESTREL_JSONCPP_DIR}/include")
target_compile_options(kestrel_jsoncpp PRIVATE -w)
add_library(kestrel::jsoncpp ALIAS kestrel_jsoncpp)
