# What the web console builds from outside the C++ sources:
# - Boost's headers (Beast, Asio) from Debian's libboost-dev. The mingw compiler does not look
#   in /usr/include, and must not (the Linux C library's headers are there): it is given a
#   directory that holds only a link to /usr/include/boost.
# - The page's packages, installed by npm from web/'s lock file into the build tree (offline
#   from npm's cache once it has them), and the files the page is made of, embedded in the
#   program with the assembler's .incbin: one way on Linux and Windows, with no resource script
#   to extend in each program that links the server, and nothing for the compiler to parse.

set(TOLVI_BOOST_ROOT /usr/include/boost)
if(NOT EXISTS ${TOLVI_BOOST_ROOT}/beast.hpp)
    message(FATAL_ERROR "Boost.Beast's headers are missing: scripts/install-deps.sh installs libboost-dev")
endif()
set(TOLVI_BOOST_INCLUDE ${CMAKE_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${TOLVI_BOOST_INCLUDE})
file(CREATE_LINK ${TOLVI_BOOST_ROOT} ${TOLVI_BOOST_INCLUDE}/boost SYMBOLIC)

find_program(TOLVI_NPM npm)
find_program(TOLVI_NODE node)
if(NOT TOLVI_NPM OR NOT TOLVI_NODE)
    message(FATAL_ERROR "Node.js and npm build the web console's page: scripts/install-deps.sh installs them")
endif()

set(TOLVI_WEB_SOURCE ${PROJECT_SOURCE_DIR}/web)
set(TOLVI_WEB_BUILD ${CMAKE_BINARY_DIR}/web)
set(TOLVI_NODE_MODULES ${TOLVI_WEB_BUILD}/node_modules)
# The tests and the benchmark drive a browser with the development packages; a build without
# them needs only the page's.
if(TOLVI_TESTS OR TOLVI_BENCH)
    set(omit "")
else()
    set(omit --omit=dev)
endif()

# name, type, file: what /assets/<name> serves.
set(xterm ${TOLVI_NODE_MODULES}/@xterm)
set(player ${TOLVI_NODE_MODULES}/asciinema-player)
set(TOLVI_WEB_ASSETS
    "xterm.js|text/javascript|${xterm}/xterm/lib/xterm.js"
    "xterm.css|text/css|${xterm}/xterm/css/xterm.css"
    "addon-fit.js|text/javascript|${xterm}/addon-fit/lib/addon-fit.js"
    "addon-attach.js|text/javascript|${xterm}/addon-attach/lib/addon-attach.js"
    # xterm.js's licence travels with its copies.
    "LICENSE-xterm.txt|text/plain|${xterm}/xterm/LICENSE"
    "console.js|text/javascript|${TOLVI_WEB_SOURCE}/console.js"
    "console.css|text/css|${TOLVI_WEB_SOURCE}/console.css"
    # The recordings' player, asciinema's, with its licence.
    "asciinema-player.js|text/javascript|${player}/dist/bundle/asciinema-player.min.js"
    "asciinema-player.css|text/css|${player}/dist/bundle/asciinema-player.css"
    "LICENSE-asciinema-player.txt|text/plain|${player}/LICENSE"
    "recordings.js|text/javascript|${TOLVI_WEB_SOURCE}/recordings.js"
)
# The pages, templates that ConsolePage fills in.
set(pages "console.html" "recordings.html")

set(installed ${TOLVI_NODE_MODULES}/.tolvi-installed)
set(from_npm ${xterm}/xterm/lib/xterm.js ${xterm}/xterm/css/xterm.css
             ${xterm}/addon-fit/lib/addon-fit.js ${xterm}/addon-attach/lib/addon-attach.js
             ${xterm}/xterm/LICENSE ${player}/dist/bundle/asciinema-player.min.js
             ${player}/dist/bundle/asciinema-player.css ${player}/LICENSE)
add_custom_command(
    OUTPUT ${installed} ${from_npm}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TOLVI_WEB_SOURCE}/package.json
            ${TOLVI_WEB_SOURCE}/package-lock.json ${TOLVI_WEB_BUILD}
    COMMAND ${TOLVI_NPM} ci --prefer-offline --no-audit --no-fund --loglevel=error ${omit}
    COMMAND ${CMAKE_COMMAND} -E touch ${installed}
    WORKING_DIRECTORY ${TOLVI_WEB_BUILD}
    DEPENDS ${TOLVI_WEB_SOURCE}/package.json ${TOLVI_WEB_SOURCE}/package-lock.json
    COMMENT "Installing the web console's packages from web/package-lock.json"
    VERBATIM)
add_custom_target(tolvi_web_packages DEPENDS ${installed})
file(MAKE_DIRECTORY ${TOLVI_WEB_BUILD})

# The assets' table, with each file's bytes placed by the assembler; the pages come last, in a
# table of their own, since they are served only once filled in.
set(asm "")
set(table "")
set(page_table "")
set(declarations "")
set(files "")
set(index 0)
set(page_entries "")
foreach(name IN LISTS pages)
    list(APPEND page_entries "${name}|text/html|${TOLVI_WEB_SOURCE}/${name}")
endforeach()
foreach(entry IN LISTS TOLVI_WEB_ASSETS page_entries)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 name)
    list(GET fields 1 type)
    list(GET fields 2 file)
    list(APPEND files ${file})
    set(symbol tolvi_web_asset_${index})
    string(APPEND asm "    \".balign 16\\n${symbol}:\\n.incbin \\\"${file}\\\"\\n${symbol}_end:\\n\"\n")
    string(APPEND declarations "extern \"C\" const char ${symbol}[], ${symbol}_end[];\n")
    set(row "{\"${name}\", \"${type}\", ${symbol}, static_cast<size_t>(${symbol}_end - ${symbol})}")
    if(name IN_LIST pages)
        string(APPEND page_table "    ${row},\n")
    else()
        string(APPEND table "    ${row},\n")
    endif()
    math(EXPR index "${index} + 1")
endforeach()
set(TOLVI_WEB_ASSET_SOURCE ${TOLVI_WEB_BUILD}/WebAssets.cpp)
file(GENERATE OUTPUT ${TOLVI_WEB_ASSET_SOURCE} CONTENT "// Generated by cmake/WebConsole.cmake: the web console's files, embedded.
#include <string>

#include \"web/Assets.h\"

#ifdef _WIN32
#define TOLVI_READ_ONLY \".section .rdata,\\\"dr\\\"\\n\"
#else
#define TOLVI_READ_ONLY \".section .rodata\\n\"
#endif

__asm__(TOLVI_READ_ONLY
${asm}    \".text\\n\");

${declarations}
namespace tolvi::web {
namespace {

const Asset kAssets[] = {
${table}};

}  // namespace

const Asset* FindAsset(const std::string& name) {
    for (const Asset& asset : kAssets) {
        if (name == asset.name)
            return &asset;
    }
    return nullptr;
}

const Asset kPages[] = {
${page_table}};

const Asset& PageTemplate(const std::string& name) {
    for (const Asset& page : kPages) {
        if (name == page.name)
            return page;
    }
    return kPages[0];
}

}  // namespace tolvi::web
")
set_source_files_properties(${TOLVI_WEB_ASSET_SOURCE} PROPERTIES OBJECT_DEPENDS "${files};${installed}")
