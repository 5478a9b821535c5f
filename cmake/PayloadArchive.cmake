# Packing the payload archive at build time.
#
#   setuptq_pack_archive(OUTPUT file INPUTS files... [DEPENDS targets...])
#     Packs the input files (one entry each, named by file name) into OUTPUT with a native
#     setupkit. Inputs may be generator expressions such as $<TARGET_FILE:instTQ>; name the
#     targets that make them in DEPENDS.
#
#   setuptq_host_setupkit(<var> <target-var>)
#     The path of a setupkit that runs on the build machine, and the target that makes it.
#     A native build uses its own setupkit; a cross build makes one from this same source tree
#     in <build>/host (configured with SETUPTQ_HOST_TOOLS_ONLY), so it stays one command.
include(ExternalProject)

function(setuptq_host_setupkit path_var target_var)
  if(NOT CMAKE_CROSSCOMPILING)
    set(${path_var} $<TARGET_FILE:setupkit> PARENT_SCOPE)
    set(${target_var} setupkit PARENT_SCOPE)
    return()
  endif()
  set(host_dir ${CMAKE_BINARY_DIR}/host)
  if(NOT TARGET setupkit_host)
    if(CMAKE_GENERATOR MATCHES "Make")
      set(build $(MAKE) setupkit)  # shares the outer make's job slots
    else()
      set(build ${CMAKE_COMMAND} --build <BINARY_DIR> --target setupkit)
    endif()
    ExternalProject_Add(setupkit_host
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${host_dir}
      PREFIX ${CMAKE_BINARY_DIR}/host-prefix
      CMAKE_ARGS -DSETUPTQ_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
      BUILD_COMMAND ${build}
      BUILD_BYPRODUCTS ${host_dir}/bin/setupkit
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON)
  endif()
  set(${path_var} ${host_dir}/bin/setupkit PARENT_SCOPE)
  set(${target_var} setupkit_host PARENT_SCOPE)
endfunction()

function(setuptq_pack_archive)
  cmake_parse_arguments(ARG "" "OUTPUT" "INPUTS;DEPENDS" ${ARGN})
  if(NOT ARG_OUTPUT OR NOT ARG_INPUTS)
    message(FATAL_ERROR "setuptq_pack_archive: OUTPUT and INPUTS are required")
  endif()
  get_filename_component(output ${ARG_OUTPUT} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
  setuptq_host_setupkit(tool tool_target)
  get_filename_component(name ${output} NAME)
  get_filename_component(dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${tool} pack ${output} ${ARG_INPUTS}
    DEPENDS ${ARG_INPUTS} ${ARG_DEPENDS} ${tool_target}
    COMMENT "Packing the payload archive ${name}"
    VERBATIM)
endfunction()
