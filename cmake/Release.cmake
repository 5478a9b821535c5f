# The release configuration (release.cmake, or SETUPTQ_RELEASE_FILE) and the settings resource.
#
# Every stub carries its settings as the resource RCDATA "SETTINGS": lines "key=value" in this
# order (ASCII, LF line ends):
#   product-code=QORTQ
#   version=3.6
#   installer=instTQ.exe
#   quiet=/S                                   (the installer's quiet arguments; may be empty)
#   no-restart=                                (its no-restart argument; may be empty)
#   home-page=https://www.parvalo.example/
#   mirror=https://dl1.parvalo.example/       (ten lines, M1..M10; https:// or http://)
# setupkit reads it from a launcher file; the launcher itself uses its compiled values, which the
# same configuration sets, and the test_setupkit test holds the two equal.

set(SETUPTQ_RELEASE_FILE "${CMAKE_SOURCE_DIR}/release.cmake" CACHE FILEPATH
    "The release configuration: product code, version, home page, the ten mirrors")
include(${SETUPTQ_RELEASE_FILE})
# These were cache variables once; a value given with -D would silently lose to the file.
foreach(var SETUPTQ_MIRRORS SETUPTQ_HOME_PAGE)
  if(DEFINED CACHE{${var}})
    if(NOT "$CACHE{${var}}" STREQUAL "${${var}}")
      message(FATAL_ERROR "${var} is set in the cache (-D${var}=...), but the release's mirrors and home "
        "page are set in ${SETUPTQ_RELEASE_FILE} alone: put the value there and remove it from the cache "
        "with: cmake -U ${var} <build dir>")
    endif()
    unset(${var} CACHE)
  endif()
endforeach()
if(NOT CMAKE_SCRIPT_MODE_FILE)  # a check of these rules runs this file as a script
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SETUPTQ_RELEASE_FILE})
endif()

# The name the launcher unpacks and starts (fixed by the launcher, not configurable).
set(SETUPTQ_INSTALLER_NAME "instTQ.exe")

# What a product code and a version may be: the one rule, held here and by setupkit, which
# checks the settings it reads from a launcher file against it (tools/setupkit/CMakeLists.txt
# hands it over) before it makes a path of them. Both name the reply file on every mirror,
# brenlow/<code><version>ins.htm, so they hold no separator, dot-dot or drive.
set(SETUPTQ_PRODUCT_CODE_RULE "^[A-Za-z0-9]+$")
# The launcher prints its version with one decimal; a value it would print otherwise would ask
# the mirrors for another file than the vendor publishes.
set(SETUPTQ_VERSION_RULE "^[0-9]+[.][0-9]$")
if(NOT SETUPTQ_PRODUCT_CODE MATCHES "${SETUPTQ_PRODUCT_CODE_RULE}")
  message(FATAL_ERROR "${SETUPTQ_RELEASE_FILE}: SETUPTQ_PRODUCT_CODE \"${SETUPTQ_PRODUCT_CODE}\": letters and digits only")
endif()
if(NOT SETUPTQ_PRODUCT_VERSION MATCHES "${SETUPTQ_VERSION_RULE}")
  message(FATAL_ERROR "${SETUPTQ_RELEASE_FILE}: SETUPTQ_PRODUCT_VERSION \"${SETUPTQ_PRODUCT_VERSION}\": "
    "digits, a point and one digit (3.6, 3.7, 4.0)")
endif()

# The installer's quiet and no-restart arguments: command-line text as the installer takes it,
# carried into the launcher as a C string and a settings line, so printable ASCII without a
# quote or a backslash. Not set: none.
foreach(var SETUPTQ_INSTALLER_QUIET SETUPTQ_INSTALLER_NORESTART)
  if(NOT DEFINED ${var})
    set(${var} "")
  endif()
  string(FIND "${${var}}" "\"" quote)
  string(FIND "${${var}}" "\\" backslash)
  if("${${var}}" MATCHES "[^ -~]" OR NOT quote EQUAL -1 OR NOT backslash EQUAL -1)
    message(FATAL_ERROR "${SETUPTQ_RELEASE_FILE}: ${var} \"${${var}}\": printable ASCII without a quote "
      "or a backslash (/S, /VERYSILENT /SUPPRESSMSGBOXES)")
  endif()
endforeach()

# The launcher's file version (its file properties, its manifest, the project's version): the
# product version, then the release's build number, two more fields. Each field of a file
# version is 16 bits.
if(NOT DEFINED SETUPTQ_BUILD_NUMBER)
  set(SETUPTQ_BUILD_NUMBER "0.0")
endif()
if(NOT SETUPTQ_BUILD_NUMBER MATCHES "^[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "${SETUPTQ_RELEASE_FILE}: SETUPTQ_BUILD_NUMBER \"${SETUPTQ_BUILD_NUMBER}\": two numbers "
    "and a point between them (8.12)")
endif()
set(SETUPTQ_FILE_VERSION "${SETUPTQ_PRODUCT_VERSION}.${SETUPTQ_BUILD_NUMBER}")
string(REPLACE "." ";" fields "${SETUPTQ_FILE_VERSION}")
foreach(field IN LISTS fields)
  string(LENGTH "${field}" digits)
  if(digits GREATER 5 OR field GREATER 65535)
    message(FATAL_ERROR "${SETUPTQ_RELEASE_FILE}: the file version ${SETUPTQ_FILE_VERSION} has a field above 65535")
  endif()
endforeach()
string(REPLACE "." "," SETUPTQ_FILE_VERSION_COMMAS "${SETUPTQ_FILE_VERSION}")

# setuptq_version_files(DIR): the resource script and the manifest with the release's version,
# written into DIR (setupTQ.rc and setupTQ.manifest).
function(setuptq_version_files dir)
  set(SETUPTQ_MANIFEST_FILE "${dir}/setupTQ.manifest")
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../res/setupTQ.manifest ${dir}/setupTQ.manifest @ONLY)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../res/setupTQ.rc ${dir}/setupTQ.rc @ONLY)
endfunction()

# setuptq_check_base_url(WHAT URL): a mirror base URL as the launcher appends its path to it,
# https:// (the reply cannot be changed on its way) or http://.
function(setuptq_check_base_url what url)
  if(NOT url MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?/$")
    message(FATAL_ERROR "${what} \"${url}\" is not a base URL of the form https://host/ or http://host/ "
      "(optionally with :port): the launcher appends brenlow/... to it")
  endif()
  # A port the launcher could not connect to would ship as a mirror that never answers.
  if(url MATCHES "^https?://[^/:]+:([0-9]+)/$")
    string(LENGTH "${CMAKE_MATCH_1}" digits)
    if(digits GREATER 5 OR CMAKE_MATCH_1 LESS 1 OR CMAKE_MATCH_1 GREATER 65535)
      message(FATAL_ERROR "${what} \"${url}\": the port ${CMAKE_MATCH_1} is not one of 1-65535")
    endif()
  endif()
endfunction()

# setuptq_settings_file(OUT MIRRORS HOME): writes the settings text (only when it changes, so
# that the stubs are not rebuilt for nothing).
function(setuptq_settings_file out mirrors home)
  set(text "product-code=${SETUPTQ_PRODUCT_CODE}\nversion=${SETUPTQ_PRODUCT_VERSION}\n")
  string(APPEND text "installer=${SETUPTQ_INSTALLER_NAME}\nquiet=${SETUPTQ_INSTALLER_QUIET}\n")
  string(APPEND text "no-restart=${SETUPTQ_INSTALLER_NORESTART}\nhome-page=${home}\n")
  foreach(m IN LISTS mirrors)
    string(APPEND text "mirror=${m}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${out} CONTENT "${text}" @ONLY NEWLINE_STYLE UNIX)
endfunction()

# The release's own URLs are checked as soon as it is read (every configuration's mirrors are
# checked again where their table is made, src/settings/config).
set(plain "")
foreach(m IN LISTS SETUPTQ_MIRRORS)
  setuptq_check_base_url("${SETUPTQ_RELEASE_FILE}: mirror" "${m}")
  if(m MATCHES "^http://")
    list(APPEND plain "${m}")
  endif()
endforeach()
if(plain AND NOT CMAKE_SCRIPT_MODE_FILE)
  list(JOIN plain " " plain)
  message(WARNING "${SETUPTQ_RELEASE_FILE}: mirrors asked over plain HTTP: ${plain}. Whoever carries a "
    "download can change their reply as well; a mirror served over https:// cannot be answered for.")
endif()
setuptq_check_base_url("${SETUPTQ_RELEASE_FILE}: home page" "${SETUPTQ_HOME_PAGE}")
