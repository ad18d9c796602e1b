# libssh as one imported target, tolvi::libssh, for both builds:
# - natively Debian's libssh-dev, through pkg-config;
# - for Windows Debian's own libssh source, cross-built once per build tree by
#   cmake/libssh-mingw.sh into build/<dir>/libssh/install, static, with libgcrypt and
#   libgpg-error for mingw. A stamp that records the script's hash keeps a second configure
#   from building it again; a changed script builds it anew.
if(TARGET tolvi::libssh)
    return()
endif()

if(NOT WIN32)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TOLVI_LIBSSH REQUIRED IMPORTED_TARGET GLOBAL libssh>=0.10)
    add_library(tolvi::libssh INTERFACE IMPORTED GLOBAL)
    target_link_libraries(tolvi::libssh INTERFACE PkgConfig::TOLVI_LIBSSH)
    return()
endif()

set(TOLVI_LIBSSH_WORK ${CMAKE_BINARY_DIR}/libssh)
set(TOLVI_LIBSSH_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/libssh-mingw.sh)
set(TOLVI_LIBSSH_PREFIX ${TOLVI_LIBSSH_WORK}/install)
set(stamp ${TOLVI_LIBSSH_WORK}/built.stamp)
file(MD5 ${TOLVI_LIBSSH_SCRIPT} recipe)
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
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "libssh for Windows could not be built (see ${TOLVI_LIBSSH_WORK})")
    endif()
    file(WRITE ${stamp} ${recipe})
endif()

add_library(tolvi::libssh STATIC IMPORTED GLOBAL)
set_target_properties(tolvi::libssh PROPERTIES
    IMPORTED_LOCATION ${TOLVI_LIBSSH_PREFIX}/lib/libssh.a
    INTERFACE_INCLUDE_DIRECTORIES ${TOLVI_LIBSSH_PREFIX}/include
    INTERFACE_COMPILE_DEFINITIONS LIBSSH_STATIC
    INTERFACE_LINK_LIBRARIES
        "${CMAKE_FIND_ROOT_PATH}/lib/libgcrypt.a;${CMAKE_FIND_ROOT_PATH}/lib/libgpg-error.a;Threads::Threads;iphlpapi;ws2_32")
