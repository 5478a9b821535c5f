# Helpers that keep one library per source folder and one test binary per test folder.

# setuptq_library(NAME DIR [DEPS lib...]): a static library of src/DIR/*.cpp plus the
# platform's own files in src/DIR/win32 or src/DIR/posix.
function(setuptq_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp
       ${CMAKE_SOURCE_DIR}/src/${dir}/${ST_PLATFORM_DIR}/*.cpp)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "/${ex}$")
  endforeach()
  if(NOT srcs)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# setuptq_test(NAME DIR [DEPS lib...]): one GoogleTest binary of tests/unit/DIR/*.cpp,
# registered as one CTest entry (under Wine each process start costs about a second).
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
  set_tests_properties(${name} PROPERTIES TIMEOUT 600
    ENVIRONMENT "SETUPTQ_BUILD_DIR=${CMAKE_BINARY_DIR};SETUPTQ_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
