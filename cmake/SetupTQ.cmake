# Helpers for the test binaries: one per folder of tests/unit.

# setuptq_test(NAME DIR [DEPS lib...]): one GoogleTest binary of tests/unit/DIR/*.cpp,
# registered as one CTest entry (under Wine each process start costs about a second), labelled
# `unit`. Unit tests run in a zone east of UTC (UTC+8, no daylight saving; Wine takes the zone
# from the host's TZ too), so that a sign error in a zone offset shows.
function(setuptq_test name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS unit
    ENVIRONMENT "TZ=Asia/Shanghai;SETUPTQ_BUILD_DIR=${CMAKE_BINARY_DIR};SETUPTQ_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
