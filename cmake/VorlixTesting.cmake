# Test helpers. Native tests are GoogleTest programs discovered per test case;
# Windows tests are one ctest entry per executable, run under Wine through
# CMAKE_CROSSCOMPILING_EMULATOR with one fresh prefix per ctest run.

if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources are not ours to warn about.
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PRIVATE -w)
  endforeach()

  set(_wine_run ${PROJECT_SOURCE_DIR}/tools/wine-run --root ${VORLIX_WINE_ROOT})
  add_test(NAME wine.prefix-up COMMAND ${_wine_run} --up)
  add_test(NAME wine.prefix-down COMMAND ${_wine_run} --down)
  set_tests_properties(wine.prefix-up PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 LABELS wine)
  set_tests_properties(wine.prefix-down PROPERTIES FIXTURES_CLEANUP wine LABELS wine)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# vorlix_test(<name> SOURCES ... [LIBS ...] [PREFIX name] [SCREEN])
# PREFIX runs a Windows test in a Wine prefix of its own, for tests that change
# settings every later program in the prefix would see. SCREEN marks a test
# that shows windows and reads the screen or needs the focus: such tests share
# one virtual display and run one at a time.
function(vorlix_test name)
  cmake_parse_arguments(T "SCREEN" "PREFIX" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main vorlix::options)
  if(WIN32)
    # A console program: Wine passes its output and exit code straight through.
    if(T_PREFIX)
      add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-run --root ${VORLIX_WINE_ROOT} --prefix ${T_PREFIX}
                                    $<TARGET_FILE:${name}> --gtest_color=no)
    else()
      add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    endif()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 300)
    if(T_SCREEN)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine-screen)
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}." PROPERTIES LABELS native)
  endif()
endfunction()
