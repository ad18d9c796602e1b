# Writes THIRD-PARTY-NOTICES.txt: what the Windows programs are built with that others made,
# under which licence, with the licences' texts, from the files Debian ships with each.
#   cmake -DOUT=<file> -DLIBSSH=<libssh's debian/copyright> -DRE2=<re2's debian/copyright>
#         -DRE2_VERSION=<Debian's version of it> -DXTERM=<xterm.js LICENSE>
#         -P ThirdPartyNotices.cmake
set(notices
"tolvi.exe and tolvi-relay.exe are built with the following work of others, linked into them
statically, with thanks:

- libssh 0.10 (LGPL-2.1), the SSH server of the consoles over SSH: https://www.libssh.org/
- libgcrypt (LGPL-2.1 or later) and libgpg-error (LGPL-2.1 or later), the cryptography libssh
  uses: https://gnupg.org/
- RE2 (BSD-3-Clause), the alert patterns' matcher: https://github.com/google/re2 ; its
  Unicode tables are made from the Unicode Character Database (Unicode License).
- Boost (Boost Software License 1.0): Beast and Asio, the web console's server.
- xterm.js (MIT), the terminal of the web console's page, served by the programs.

The LGPL libraries are Debian's: libssh from its source package libssh (built as it is, for
Windows), libgcrypt and libgpg-error from libgcrypt-mingw-w64-dev and
libgpg-error-mingw-w64-dev; their sources are Debian's source packages libssh, libgcrypt20
and libgpg-error. The LGPL allows you to change them and link the programs with your version:
the programs' own sources and build are published under the MIT licence (LICENSE), so they
can be built again with any version of these libraries. RE2 is built as it is from Debian's
source package re2 ${RE2_VERSION}; the three tables that Debian's build generates are generated
the same way, by the package's own scripts from Debian's unicode-data.

The notices of each, as Debian gives them, and the licences' texts, follow.
")
function(append title path)
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "${title}: ${path} is missing")
    endif()
    file(READ "${path}" text)
    string(APPEND notices "\n==== ${title} ====\n\n${text}")
    set(notices "${notices}" PARENT_SCOPE)
endfunction()
append("libssh (debian/copyright)" "${LIBSSH}")
append("libgcrypt (debian/copyright)" /usr/share/doc/libgcrypt-mingw-w64-dev/copyright)
append("libgpg-error (debian/copyright)" /usr/share/doc/libgpg-error-mingw-w64-dev/copyright)
append("GNU Lesser General Public License, version 2.1" /usr/share/common-licenses/LGPL-2.1)
append("RE2 (debian/copyright)" "${RE2}")
append("The Unicode Character Database (unicode-data's copyright)"
       /usr/share/doc/unicode-data/copyright)
# Boost's notice names thousands of files; its licence is one text, taken from it.
file(READ /usr/share/doc/libboost1.74-dev/copyright boost)
string(FIND "${boost}" "License: BSL-1.0\n Boost Software License" at)
if(at LESS 0)
    message(FATAL_ERROR "the Boost Software License is not in Boost's copyright file")
endif()
string(SUBSTRING "${boost}" ${at} -1 boost)
string(FIND "${boost}" "\n\nLicense:" end)
string(SUBSTRING "${boost}" 0 ${end} boost)
string(APPEND notices "\n==== Boost ====\n\n${boost}\n")
append("xterm.js (LICENSE)" "${XTERM}")
file(WRITE "${OUT}" "${notices}")
