// libssh for this library's own files: the one start of the library, and owners for the
// objects it hands out.
#pragma once
#include <libssh/libssh.h>
#include <libssh/server.h>

#include <memory>
#include <string>

namespace tolvi::ssh {

// Starts libssh (and its crypto library) once per process; false when it could not.
bool StartLibssh();

// Whether libssh's cryptography is libgcrypt, as libssh itself says (its version text names
// its backend: "0.10.6/gnutls" for libgcrypt, "0.10.6/openssl/zlib" for OpenSSL).
bool LibsshUsesLibgcrypt();

// The libssh built into this program, for the About box and --version: "libssh
// 0.10.6-0+deb12u3 (OpenSSL)", the Debian version it was built from and its cryptography.
std::string LibsshBuiltIn();

// A key's fingerprint as OpenSSH shows it, "SHA256:<base64 without padding>"; "" on failure.
std::string Sha256Fingerprint(ssh_key key);

struct KeyFree {
    void operator()(ssh_key key) const { ssh_key_free(key); }
};
using UniqueKey = std::unique_ptr<ssh_key_struct, KeyFree>;

struct BindFree {
    void operator()(ssh_bind bind) const { ssh_bind_free(bind); }
};
using UniqueBind = std::unique_ptr<ssh_bind_struct, BindFree>;

}  // namespace tolvi::ssh
