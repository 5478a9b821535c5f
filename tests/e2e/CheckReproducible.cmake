# Builds setupTQ.exe a second time, in a folder of its own, and compares it and its stub with
# REFERENCE and REFERENCE_STUB.
#   cmake -DSOURCE=.. -DREFERENCE=setupTQ.exe -DREFERENCE_STUB=stub/setupTQ.exe -DWORK=dir
#         -DTOOLCHAIN=file -DBUILD_TYPE=Release [-DINSTALLER=file] -P CheckReproducible.cmake
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
foreach(pair "${REFERENCE_STUB}|${WORK}/bin/stub/setupTQ.exe" "${REFERENCE}|${WORK}/bin/setupTQ.exe")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 first)
  list(GET pair 1 second)
  file(SHA256 ${first} a)
  file(SHA256 ${second} b)
  if(NOT a STREQUAL b)
    message(FATAL_ERROR "the launcher differs between two builds:\n  ${first} ${a}\n  ${second} ${b}")
  endif()
  message(STATUS "${first} is the same in both builds (${a})")
endforeach()
file(REMOVE_RECURSE ${WORK})
