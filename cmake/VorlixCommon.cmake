# Compiler settings shared by every target of both builds.

add_library(vorlix_options INTERFACE)
add_library(vorlix::options ALIAS vorlix_options)

target_compile_options(vorlix_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wimplicit-fallthrough
  -Werror=return-type -Werror=format-security)

if(WIN32)
  target_compile_definitions(vorlix_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  # Sections start on page boundaries in the file too. Wine maps such an image
  # from the file, a page when it is first touched, as Windows does; with the
  # linker's default 512-byte alignment it reads the whole image into private
  # memory at start, debug information included (77 MB for Vorlix.exe).
  target_link_options(vorlix_options INTERFACE -static -Wl,--file-alignment=4096)
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

# nlohmann/json, header-only from Debian's nlohmann-json3-dev. The Windows build
# cannot search /usr/include (it would find Linux headers), so it gets a copy of
# just these headers inside the build tree.
add_library(vorlix_json INTERFACE)
add_library(vorlix::json ALIAS vorlix_json)
if(CMAKE_CROSSCOMPILING)
  find_path(VORLIX_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT VORLIX_JSON_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found: run tools/setup")
  endif()
  file(COPY ${VORLIX_JSON_INCLUDE}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third_party/include)
  target_include_directories(vorlix_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party/include)
else()
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(vorlix_json INTERFACE nlohmann_json::nlohmann_json)
endif()
