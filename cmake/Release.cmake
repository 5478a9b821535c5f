# The release configuration (release.cmake, or SETUPTQ_RELEASE_FILE) and the settings resource.
#
# Every stub carries its settings as the resource RCDATA "SETTINGS": lines "key=value" in this
# order (ASCII, LF line ends):
#   product-code=QORTQ
#   version=3.6
#   installer=instTQ.exe
#   home-page=http://www.parvalo.example/
#   mirror=http://dl1.parvalo.example/        (ten lines, M1..M10)
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
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SETUPTQ_RELEASE_FILE})

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

# setuptq_check_base_url(WHAT URL): a mirror base URL as the launcher appends its path to it.
function(setuptq_check_base_url what url)
  if(NOT url MATCHES "^http://[A-Za-z0-9.-]+(:[0-9]+)?/$")
    message(FATAL_ERROR "${what} \"${url}\" is not a base URL of the form http://host/ (optionally "
      "http://host:port/): the launcher asks over plain HTTP and appends brenlow/... to it")
  endif()
endfunction()

# setuptq_settings_file(OUT MIRRORS HOME): writes the settings text (only when it changes, so
# that the stubs are not rebuilt for nothing).
function(setuptq_settings_file out mirrors home)
  set(text "product-code=${SETUPTQ_PRODUCT_CODE}\nversion=${SETUPTQ_PRODUCT_VERSION}\n")
  string(APPEND text "installer=${SETUPTQ_INSTALLER_NAME}\nhome-page=${home}\n")
  foreach(m IN LISTS mirrors)
    string(APPEND text "mirror=${m}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${out} CONTENT "${text}" @ONLY NEWLINE_STYLE UNIX)
endfunction()
