# Builds setupTQ.exe a second time, in a folder of its own, and compares it with REFERENCE.
#   cmake -DSOURCE=.. -DREFERENCE=setupTQ.exe -DWORK=dir -DTOOLCHAIN=file -DBUILD_TYPE=Release
#         [-DINSTALLER=file] -P CheckReproducible.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G "Unix Makefiles"
    -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DSETUPTQ_INSTALLER=${INSTALLER}
  OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the second build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} --target setupTQ -j2
  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the second setupTQ.exe failed:\n${out}")
endif()
set(second ${WORK}/bin/setupTQ.exe)
file(SHA256 ${REFERENCE} a)
file(SHA256 ${second} b)
if(NOT a STREQUAL b)
  message(FATAL_ERROR "setupTQ.exe differs between two builds:\n  ${REFERENCE} ${a}\n  ${second} ${b}")
endif()
message(STATUS "setupTQ.exe is the same in both builds (${a})")
file(REMOVE_RECURSE ${WORK})
