# Makes the release zip with CPack, as the package target does, in a folder of its own, and
# checks what a user unpacks: the two programs (stripped), the help page, README and licence.
#   cmake -DBUILD=<build tree> -DOUT=<folder> -DSOURCE=<source tree> -DVERSION=<v> -P check_zip.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD}/CPackConfig.cmake -B ${OUT}
                RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(failed)
    message(FATAL_ERROR "cpack failed:\n${log}")
endif()
set(zip ${OUT}/tolvi-${VERSION}-win64.zip)
if(NOT EXISTS ${zip})
    file(GLOB made ${OUT}/*.zip)
    message(FATAL_ERROR "no ${zip}; cpack made: ${made}")
endif()

file(MAKE_DIRECTORY ${OUT}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${OUT}/unpacked
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${zip} does not unpack")
endif()
file(GLOB_RECURSE files RELATIVE ${OUT}/unpacked ${OUT}/unpacked/*)
list(SORT files)
set(top tolvi-${VERSION}-win64)
set(expected ${top}/LICENSE ${top}/README.md ${top}/THIRD-PARTY-NOTICES.txt ${top}/tolvi-relay.exe
             ${top}/tolvi.exe ${top}/tolvi.html)
if(NOT files STREQUAL expected)
    message(FATAL_ERROR "the zip holds\n  ${files}\ninstead of\n  ${expected}")
endif()

foreach(name LICENSE README.md)
    file(SHA256 ${SOURCE}/${name} want)
    file(SHA256 ${OUT}/unpacked/${top}/${name} got)
    if(NOT want STREQUAL got)
        message(FATAL_ERROR "${name} in the zip is not the source tree's")
    endif()
endforeach()
file(READ ${SOURCE}/LICENSE licence)
if(NOT licence MATCHES "MIT License" OR NOT licence MATCHES "Copyright \\(c\\) [0-9]+ tolvi contributors")
    message(FATAL_ERROR "LICENSE is not the MIT licence of tolvi contributors")
endif()
# The libraries built into the programs, each with its licence.
file(READ ${OUT}/unpacked/${top}/THIRD-PARTY-NOTICES.txt notices)
foreach(part "==== libssh" "==== libgcrypt" "==== libgpg-error" "GNU LESSER GENERAL PUBLIC LICENSE"
             "Boost Software License - Version 1.0" "==== RE2" "Neither the name of Google Inc."
             "==== The Unicode Character Database" "==== xterm.js")
    string(FIND "${notices}" "${part}" at)
    if(at LESS 0)
        message(FATAL_ERROR "THIRD-PARTY-NOTICES.txt lacks ${part}")
    endif()
endforeach()
if(NOT notices MATCHES "source package re2 [0-9]")
    message(FATAL_ERROR "THIRD-PARTY-NOTICES.txt does not name the version of RE2 built")
endif()
# A release carries no debug information: the built program has it, the zipped one not.
file(SIZE ${BUILD}/src/tolvi.exe built)
file(SIZE ${OUT}/unpacked/${top}/tolvi.exe zipped)
if(NOT zipped LESS built)
    message(FATAL_ERROR "tolvi.exe in the zip is not stripped (${zipped} of ${built} bytes)")
endif()
message(STATUS "${zip}: ${files}")
