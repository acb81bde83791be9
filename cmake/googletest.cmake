# GoogleTest from Debian's sources, built with the same compiler and flags as the code.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)

# One test executable per folder of tests; under Wine, ctest runs it through the emulator.
function(kestrel_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# GCC 12's win32 thread model (cmake/mingw-*.cmake) has no std::mutex: Google Test's one
# use of it, Notification, comes from tests/support on a Windows event instead. Its
# mutexes and thread-local values are its own, on the Windows API, so it stays
# thread-safe.
if(WIN32)
  target_sources(gtest PRIVATE "${PROJECT_SOURCE_DIR}/tests/support/gtest_notification.cpp")
  target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
  target_compile_options(gtest PUBLIC "SHELL:-include ${PROJECT_SOURCE_DIR}/tests/support/gtest_notification.h")
endif()
