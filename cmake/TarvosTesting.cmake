# tarvos_add_gtest(NAME name SOURCES ... [LIBS ...] [LABEL unit|integration|e2e] [LAUNCHER cmd...])
# LAUNCHER: a command line that runs the test command as its last arguments (a wrapper
# that starts a helper server beside the test).
# Natively the test binary runs directly; in the Windows build the same binary runs under
# Wine (scripts/wine-run) and is labelled win32 as well.
function(tarvos_add_gtest)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;LAUNCHER" ${ARGN})
  if(NOT TARVOS_TESTS)
    return()
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE tarvos_core ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  if(WIN32)
    add_test(NAME ${T_NAME} COMMAND ${T_LAUNCHER} ${CMAKE_SOURCE_DIR}/scripts/wine-run $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "win32;${T_LABEL}" TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "TARVOS_SOURCE_DIR=${CMAKE_SOURCE_DIR};TARVOS_BINARY_DIR=${CMAKE_BINARY_DIR}")
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "TARVOS_SOURCE_DIR=${CMAKE_SOURCE_DIR};TARVOS_BINARY_DIR=${CMAKE_BINARY_DIR}")
  endif()
endfunction()

# tarvos_add_fuzzer(NAME name SOURCES ... [LIBS ...]): a libFuzzer target in the fuzz build.
# In the native test build the same sources become replay_<name>, which runs the target over
# its seeds (seeds/<name> beside the sources) and the findings kept with them
# (findings/<name>), so a target that stops compiling or an input that crashes it fails the
# ordinary test run.
function(tarvos_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(TARVOS_FUZZ)
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE tarvos_core ${F_LIBS})
    target_include_directories(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
    set_property(GLOBAL APPEND PROPERTY TARVOS_FUZZERS ${F_NAME})
  elseif(TARVOS_TESTS AND NOT WIN32)
    set(replay replay_${F_NAME})
    add_executable(${replay} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/FuzzReplayMain.cpp)
    target_link_libraries(${replay} PRIVATE tarvos_core ${F_LIBS})
    target_include_directories(${replay} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    set(inputs ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${F_NAME})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/findings/${F_NAME})
      list(APPEND inputs ${CMAKE_CURRENT_SOURCE_DIR}/findings/${F_NAME})
    endif()
    add_test(NAME ${replay} COMMAND ${replay} ${inputs})
    set_tests_properties(${replay} PROPERTIES LABELS unit TIMEOUT 300)
  endif()
endfunction()

# tarvos_add_server_gtest(NAME name SOURCES ...): an integration test that talks to the
# fault-injecting test server. Natively the test hosts the server itself; under Wine the
# native server is started beside the test by tests/support/with-fault-server.
function(tarvos_add_server_gtest)
  cmake_parse_arguments(S "" "NAME" "SOURCES" ${ARGN})
  set(launcher)
  if(WIN32)
    set(launcher LAUNCHER ${CMAKE_SOURCE_DIR}/tests/support/with-fault-server
      ${CMAKE_BINARY_DIR}/tests/support/tarvos-test-server)
  endif()
  tarvos_add_gtest(NAME ${S_NAME} SOURCES ${S_SOURCES} LIBS tarvos_test_support LABEL integration ${launcher})
  if(WIN32 AND TARGET ${S_NAME})
    add_dependencies(${S_NAME} tarvos_fault_server)
  endif()
endfunction()
