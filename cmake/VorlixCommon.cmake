# Compiler settings shared by every target of both builds.

add_library(vorlix_options INTERFACE)
add_library(vorlix::options ALIAS vorlix_options)

target_compile_options(vorlix_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wimplicit-fallthrough
  -Werror=return-type -Werror=format-security)

if(WIN32)
  target_compile_definitions(vorlix_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  target_link_options(vorlix_options INTERFACE -static)
elseif(VORLIX_FUZZ)
  # Coverage for libFuzzer in every library; the fuzz programs add the runtime.
  target_compile_options(vorlix_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vorlix_options INTERFACE -fsanitize=address,undefined)
elseif(VORLIX_SANITIZE)
  target_compile_options(vorlix_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vorlix_options INTERFACE -fsanitize=address,undefined)
endif()

# vorlix_library(<name> [sources...]): a static library `vorlix_<name>` with the
# alias `vorlix::<name>`, public headers in ./include.
function(vorlix_library name)
  add_library(vorlix_${name} STATIC ${ARGN})
  add_library(vorlix::${name} ALIAS vorlix_${name})
  target_include_directories(vorlix_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(vorlix_${name} PUBLIC vorlix::options)
endfunction()

# ctest and add_test run Windows executables through Wine, in a private prefix
# inside the build tree (tools/wine-run).
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(VORLIX_WINE_ROOT "${CMAKE_BINARY_DIR}/wine")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tools/wine-run;--root;${VORLIX_WINE_ROOT}")
endif()

# Programs and test programs side by side, so tests can start the real programs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
