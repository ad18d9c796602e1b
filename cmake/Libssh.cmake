# libssh as one imported target, tolvi::libssh, for both builds:
# - natively Debian's libssh-dev, through pkg-config;
# - for Windows Debian's own libssh source, cross-built once per build tree by
#   cmake/libssh-mingw.sh into build/<dir>/libssh/install, static, with libgcrypt and
#   libgpg-error for mingw, of the same Debian version as the machine's libssh-dev. A stamp
#   that records the script's hash and that version keeps a second configure from building it
#   again; a changed script, or an updated libssh-dev, builds it anew.
# LibsshVersion.h, written here, names the Debian version built in ("0.10.6-0+deb12u3") for
# every user of the target (the About box's resource too), so that what a program says it
# carries is what it was built with.
if(TARGET tolvi::libssh)
    return()
endif()

function(tolvi_libssh_version version)
    set(folder ${CMAKE_BINARY_DIR}/libssh-version)
    file(CONFIGURE OUTPUT ${folder}/LibsshVersion.h CONTENT
"// Written by cmake/Libssh.cmake: the Debian version of the libssh built in.
#ifndef TOLVI_LIBSSH_VERSION
#define TOLVI_LIBSSH_VERSION \"${version}\"
#endif
")
    target_include_directories(tolvi::libssh INTERFACE ${folder})
endfunction()

if(NOT WIN32)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TOLVI_LIBSSH REQUIRED IMPORTED_TARGET GLOBAL libssh>=0.10)
    # The package the headers came from, as dpkg names it; pkg-config's version elsewhere.
    execute_process(COMMAND dpkg-query -W -f=\${Version} libssh-dev
                    OUTPUT_VARIABLE version RESULT_VARIABLE result ERROR_QUIET)
    if(NOT result EQUAL 0 OR version STREQUAL "")
        set(version ${TOLVI_LIBSSH_VERSION})
    endif()
    add_library(tolvi::libssh INTERFACE IMPORTED GLOBAL)
    target_link_libraries(tolvi::libssh INTERFACE PkgConfig::TOLVI_LIBSSH)
    tolvi_libssh_version("${version}")
    return()
endif()

set(TOLVI_LIBSSH_WORK ${CMAKE_BINARY_DIR}/libssh)
set(TOLVI_LIBSSH_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/libssh-mingw.sh)
set(TOLVI_LIBSSH_PREFIX ${TOLVI_LIBSSH_WORK}/install)
set(stamp ${TOLVI_LIBSSH_WORK}/built.stamp)
file(MD5 ${TOLVI_LIBSSH_SCRIPT} recipe)
file(MD5 ${CMAKE_CURRENT_LIST_DIR}/debian-source.sh fetch)
string(APPEND recipe " ${fetch}")
execute_process(COMMAND dpkg-query -W -f=\${Version} libssh-dev
                OUTPUT_VARIABLE machineVersion ERROR_QUIET)
# Another version than the machine's only when the builder names it (kept for the build tree's
# later configures, which the environment may no longer name it to).
set(help "Debian's libssh version to build for Windows instead of the machine's libssh-dev's")
if(DEFINED ENV{TOLVI_WINDOWS_LIBSSH})
    set(TOLVI_WINDOWS_LIBSSH "$ENV{TOLVI_WINDOWS_LIBSSH}" CACHE STRING "${help}" FORCE)
else()
    set(TOLVI_WINDOWS_LIBSSH "" CACHE STRING "${help}")
endif()
string(APPEND recipe " ${machineVersion} ${TOLVI_WINDOWS_LIBSSH}")
set(built "")
if(EXISTS ${stamp})
    file(READ ${stamp} built)
endif()
if(NOT built STREQUAL recipe OR NOT EXISTS ${TOLVI_LIBSSH_PREFIX}/lib/libssh.a)
    foreach(dev gcrypt gpg-error)
        if(NOT EXISTS ${CMAKE_FIND_ROOT_PATH}/lib/lib${dev}.a)
            message(FATAL_ERROR "lib${dev} for mingw is missing: scripts/install-deps.sh installs "
                                "libgcrypt-mingw-w64-dev and libgpg-error-mingw-w64-dev")
        endif()
    endforeach()
    message(STATUS "Building libssh for Windows from Debian's source package (about two minutes, once)")
    file(REMOVE ${stamp})
    execute_process(COMMAND bash ${TOLVI_LIBSSH_SCRIPT} ${TOLVI_LIBSSH_WORK}
                            ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw.cmake
                            ${TOLVI_WINDOWS_LIBSSH}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "libssh for Windows could not be built (see ${TOLVI_LIBSSH_WORK})")
    endif()
    file(WRITE ${stamp} ${recipe})
endif()

file(STRINGS ${TOLVI_LIBSSH_PREFIX}/debian-version version LIMIT_COUNT 1)
if(version STREQUAL machineVersion)
    message(STATUS "libssh for Windows: Debian ${version}, as the machine's own")
else()
    message(WARNING "libssh for Windows is Debian ${version}, not the machine's own "
                    "${machineVersion}: TOLVI_WINDOWS_LIBSSH=${TOLVI_WINDOWS_LIBSSH} chose it")
endif()
add_library(tolvi::libssh STATIC IMPORTED GLOBAL)
set_target_properties(tolvi::libssh PROPERTIES
    IMPORTED_LOCATION ${TOLVI_LIBSSH_PREFIX}/lib/libssh.a
    INTERFACE_INCLUDE_DIRECTORIES ${TOLVI_LIBSSH_PREFIX}/include
    INTERFACE_COMPILE_DEFINITIONS LIBSSH_STATIC
    INTERFACE_LINK_LIBRARIES
        "${CMAKE_FIND_ROOT_PATH}/lib/libgcrypt.a;${CMAKE_FIND_ROOT_PATH}/lib/libgpg-error.a;Threads::Threads;iphlpapi;ws2_32")
tolvi_libssh_version("${version}")
