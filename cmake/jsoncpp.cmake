# jsoncpp: Debian ships no mingw build, so its source package (fetched by
# scripts/setup) is compiled here with the same toolchain.
#
# The DLL takes only Json::Value and the number texts it needs, and writes the document
# with its own writer. Any of three routes would link about 600 KB of libstdc++'s stream
# and locale code, and the linker cannot drop it afterwards: Windows unwind tables keep
# every function of a linked object. jsoncpp/lean.patch closes them in copies of the
# sources: the string stream in the assertion macro, Value::toStyledString with the
# stream writers of json_writer.cpp, and <iostream>, whose initialiser builds std::cout.
# It also lets reals be formatted by FormatText (the C runtime's printf), as the DLL's
# own texts are.
set(KESTREL_JSONCPP_SOURCE_ROOT /opt/kestrel/jsoncpp CACHE PATH
    "Folder holding the unpacked Debian source package of jsoncpp")
file(GLOB _jsoncpp_dirs LIST_DIRECTORIES true "${KESTREL_JSONCPP_SOURCE_ROOT}/libjsoncpp-*")
list(FILTER _jsoncpp_dirs EXCLUDE REGEX "\\.(gz|xz|dsc)$")
list(GET _jsoncpp_dirs 0 KESTREL_JSONCPP_DIR)
if(NOT EXISTS "${KESTREL_JSONCPP_DIR}/src/lib_json/json_value.cpp")
  message(FATAL_ERROR "jsoncpp sources not found under ${KESTREL_JSONCPP_SOURCE_ROOT}: run scripts/setup")
endif()

set(_jsoncpp_patch "${PROJECT_SOURCE_DIR}/cmake/jsoncpp/lean.patch")
set(_jsoncpp_lean "${PROJECT_BINARY_DIR}/jsoncpp-lean")
set(_jsoncpp_sources "${_jsoncpp_lean}/src/lib_json/json_value.cpp" "${_jsoncpp_lean}/src/lib_json/json_writer.cpp")
add_custom_command(
  OUTPUT ${_jsoncpp_sources} "${_jsoncpp_lean}/src/lib_json/json_reader.cpp"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${_jsoncpp_lean}"
  COMMAND ${CMAKE_COMMAND} -E copy_directory "${KESTREL_JSONCPP_DIR}/include" "${_jsoncpp_lean}/include"
  COMMAND ${CMAKE_COMMAND} -E copy_directory "${KESTREL_JSONCPP_DIR}/src/lib_json" "${_jsoncpp_lean}/src/lib_json"
  COMMAND patch --quiet -p1 -d "${_jsoncpp_lean}" -i "${_jsoncpp_patch}"
  DEPENDS "${_jsoncpp_patch}"
  COMMENT "Applying jsoncpp/lean.patch")

# kestrel_text, which kestrel_jsoncpp links, includes these headers too: it must wait for them.
add_custom_target(kestrel_jsoncpp_lean DEPENDS ${_jsoncpp_sources} "${_jsoncpp_lean}/src/lib_json/json_reader.cpp")

add_library(kestrel_jsoncpp STATIC ${_jsoncpp_sources})
add_dependencies(kestrel_jsoncpp kestrel_jsoncpp_lean)
target_include_directories(kestrel_jsoncpp SYSTEM PUBLIC "${_jsoncpp_lean}/include")
# Only the worker thread builds documents, so jsoncpp's local statics (its null value) need
# none of the runtime's guards, which would link them and the thread helpers behind them.
target_compile_options(kestrel_jsoncpp PRIVATE -w -fno-threadsafe-statics ${KESTREL_LTO_OBJECT_OPTIONS})
target_compile_definitions(kestrel_jsoncpp PRIVATE JSON_USE_EXCEPTION=1 JSONCPP_WITHOUT_STREAM_WRITERS
                           jsoncpp_snprintf=FormatText)
target_compile_options(kestrel_jsoncpp PRIVATE -include "${PROJECT_SOURCE_DIR}/src/text/format_text.h")
target_link_libraries(kestrel_jsoncpp PRIVATE kestrel_text)
add_library(kestrel::jsoncpp ALIAS kestrel_jsoncpp)

# The tests read bodies back with jsoncpp's reader.
add_library(kestrel_jsoncpp_reader STATIC "${_jsoncpp_lean}/src/lib_json/json_reader.cpp")
add_dependencies(kestrel_jsoncpp_reader kestrel_jsoncpp_lean)
target_compile_options(kestrel_jsoncpp_reader PRIVATE -w)
target_link_libraries(kestrel_jsoncpp_reader PUBLIC kestrel_jsoncpp)
add_library(kestrel::jsoncpp_reader ALIAS kestrel_jsoncpp_reader)
