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

  # The dev server the network tests talk to, on the build's own origin.
  set(VORLIX_DEVSERVER_DIR ${CMAKE_BINARY_DIR}/devserver-test)
  string(REGEX MATCH "[0-9]+$" _devserver_port "${VORLIX_SERVER_ORIGIN}")
  add_test(NAME devserver.up COMMAND ${PROJECT_SOURCE_DIR}/tools/devserver/for-tests up ${VORLIX_DEVSERVER_DIR}
                                     ${_devserver_port} ${VORLIX_RULE_FILE})
  add_test(NAME devserver.down COMMAND ${PROJECT_SOURCE_DIR}/tools/devserver/for-tests down ${VORLIX_DEVSERVER_DIR})
  set_tests_properties(devserver.up PROPERTIES FIXTURES_SETUP devserver TIMEOUT 60 LABELS wine)
  set_tests_properties(devserver.down PROPERTIES FIXTURES_CLEANUP devserver LABELS wine)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# vorlix_test(<name> SOURCES ... [LIBS ...] [PREFIX name] [SCREEN] [NET])
# PREFIX runs a Windows test in a Wine prefix of its own, for tests that change
# settings every later program in the prefix would see. SCREEN marks a test
# that shows windows and reads the screen or needs the focus: such tests share
# one virtual display and run one at a time. NET runs it beside the dev server
# (VORLIX_DEVSERVER_DIR in its environment: records, scenario and certificate).
function(vorlix_test name)
  cmake_parse_arguments(T "SCREEN;NET" "PREFIX" "SOURCES;LIBS" ${ARGN})
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
    set(_locks)
    if(T_SCREEN)
      list(APPEND _locks wine-screen)
    endif()
    if(T_NET)
      list(APPEND _locks devserver)  # one scenario at a time
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine;devserver"
                                              ENVIRONMENT "VORLIX_DEVSERVER_DIR=${VORLIX_DEVSERVER_DIR}")
      target_compile_definitions(${name} PRIVATE VORLIX_SERVER_ORIGIN="${VORLIX_SERVER_ORIGIN}")
    endif()
    if(_locks)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${_locks}")
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}." PROPERTIES LABELS native)
  endif()
endfunction()
