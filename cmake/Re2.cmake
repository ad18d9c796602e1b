# RE2, the alert patterns' matcher, as one imported target, tolvi::re2, for both builds:
# - natively Debian's libre2-dev, through pkg-config;
# - for Windows Debian's own re2 source, cross-built once per build tree by cmake/re2-mingw.sh
#   into build/<dir>/re2/install, static. A stamp that records the scripts' hashes keeps a
#   second configure from building it again; a changed script builds it anew.
if(TARGET tolvi::re2)
    return()
endif()

if(NOT WIN32)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TOLVI_RE2 IMPORTED_TARGET GLOBAL re2)
    if(NOT TOLVI_RE2_FOUND)
        message(FATAL_ERROR "RE2 is missing: scripts/install-deps.sh installs libre2-dev")
    endif()
    add_library(tolvi::re2 INTERFACE IMPORTED GLOBAL)
    target_link_libraries(tolvi::re2 INTERFACE PkgConfig::TOLVI_RE2)
    return()
endif()

set(TOLVI_RE2_WORK ${CMAKE_BINARY_DIR}/re2)
set(TOLVI_RE2_PREFIX ${TOLVI_RE2_WORK}/install)
set(stamp ${TOLVI_RE2_WORK}/built.stamp)
file(MD5 ${CMAKE_CURRENT_LIST_DIR}/re2-mingw.sh recipe)
file(MD5 ${CMAKE_CURRENT_LIST_DIR}/debian-source.sh fetch)
string(APPEND recipe " ${fetch}")
set(built "")
if(EXISTS ${stamp})
    file(READ ${stamp} built)
endif()
if(NOT built STREQUAL recipe OR NOT EXISTS ${TOLVI_RE2_PREFIX}/lib/libre2.a)
    message(STATUS "Building RE2 for Windows from Debian's source package (under a minute, once)")
    file(REMOVE ${stamp})
    execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/re2-mingw.sh ${TOLVI_RE2_WORK}
                            ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw.cmake
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "RE2 for Windows could not be built (see ${TOLVI_RE2_WORK})")
    endif()
    file(WRITE ${stamp} ${recipe})
endif()
# The version built, for the notices, which are written from the top directory.
file(STRINGS ${TOLVI_RE2_WORK}/source/version version LIMIT_COUNT 1)
set(TOLVI_RE2_VERSION ${version} CACHE INTERNAL "Debian's version of the RE2 built for Windows")
message(STATUS "RE2 for Windows: Debian's re2 ${TOLVI_RE2_VERSION}")

add_library(tolvi::re2 STATIC IMPORTED GLOBAL)
set_target_properties(tolvi::re2 PROPERTIES
    IMPORTED_LOCATION ${TOLVI_RE2_PREFIX}/lib/libre2.a
    INTERFACE_INCLUDE_DIRECTORIES ${TOLVI_RE2_PREFIX}/include)
