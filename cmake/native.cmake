option(KESTREL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
option(KESTREL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

add_compile_options(-Wall -Wextra -g)
if(KESTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(jsoncpp CONFIG REQUIRED)
add_library(kestrel_jsoncpp INTERFACE)
target_link_libraries(kestrel_jsoncpp INTERFACE jsoncpp_lib)
add_library(kestrel::jsoncpp ALIAS kestrel_jsoncpp)
add_library(kestrel::jsoncpp_reader ALIAS kestrel_jsoncpp)
