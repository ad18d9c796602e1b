# The release (Windows): `cmake --build --preset windows --target package` writes
# tolvi-<version>-win64.zip with CPack, and the installer tolvi-<version>-setup.exe, which
# the ordinary build makes with NSIS (the package target builds everything first). Both hold
# the same stripped programs, the help page, the README, the licence and the notices of the
# libraries built into the programs.

set(TOLVI_NOTICES ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
# Where cmake/Libssh.cmake, cmake/Re2.cmake and cmake/WebConsole.cmake keep what they fetched.
file(GLOB libssh_copyright ${PROJECT_BINARY_DIR}/libssh/source/libssh-*/debian/copyright)
file(GLOB re2_copyright ${PROJECT_BINARY_DIR}/re2/source/re2-*/debian/copyright)
add_custom_command(
    OUTPUT ${TOLVI_NOTICES}
    COMMAND ${CMAKE_COMMAND} -DOUT=${TOLVI_NOTICES} -DLIBSSH=${libssh_copyright}
            -DRE2=${re2_copyright} -DRE2_VERSION=${TOLVI_RE2_VERSION}
            -DXTERM=${PROJECT_BINARY_DIR}/web/node_modules/@xterm/xterm/LICENSE
            -P ${PROJECT_SOURCE_DIR}/cmake/ThirdPartyNotices.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/ThirdPartyNotices.cmake ${re2_copyright}
            tolvi_web_packages
    COMMENT "Writing the third-party notices")
add_custom_target(notices ALL DEPENDS ${TOLVI_NOTICES})

install(TARGETS tolvi tolvi-relay RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/res/tolvi.html ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/LICENSE ${TOLVI_NOTICES} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tolvi)
set(CPACK_PACKAGE_VENDOR "tolvi contributors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tolvi-${PROJECT_VERSION}-win64)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
include(CPack)

# makensis runs on Linux; the script says which files go where, the build says from where.
find_program(TOLVI_MAKENSIS makensis REQUIRED)
set(TOLVI_INSTALLER ${PROJECT_BINARY_DIR}/tolvi-${PROJECT_VERSION}-setup.exe)
set(stage ${PROJECT_BINARY_DIR}/installer-files)
add_custom_command(
    OUTPUT ${TOLVI_INSTALLER}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${stage} --strip
    COMMAND ${TOLVI_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DPROGRAM=${stage}/tolvi.exe
            -DRELAY=${stage}/tolvi-relay.exe -DHELP=${stage}/tolvi.html
            -DNOTICES=${stage}/THIRD-PARTY-NOTICES.txt
            -DSOURCE=${PROJECT_SOURCE_DIR} -DOUTFILE=${TOLVI_INSTALLER}
            ${PROJECT_SOURCE_DIR}/installer/tolvi.nsi
    DEPENDS tolvi tolvi-relay notices ${TOLVI_NOTICES} ${PROJECT_SOURCE_DIR}/installer/tolvi.nsi
            ${PROJECT_SOURCE_DIR}/res/tolvi.html ${PROJECT_SOURCE_DIR}/README.md
            ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/res/art/program.ico
    COMMENT "Building the installer tolvi-${PROJECT_VERSION}-setup.exe"
    VERBATIM)
add_custom_target(installer ALL DEPENDS ${TOLVI_INSTALLER})
