// Starting libssh once, and what it shares among its users.
#include "ssh/Libssh.h"

#include <mutex>

#ifdef _WIN32
#include <gcrypt.h>
#endif

#include "LibsshVersion.h"
#include "ssh/Base64.h"

namespace tolvi::ssh {
namespace {

#ifdef _WIN32
// libgcrypt, libssh's crypto on Windows, writes notes on how it gathers entropy to the
// standard error of whatever program it is in (under wine: "you should run 'diskperf -y'").
// They are for its own developers; nothing is lost by leaving them unsaid.
void QuietCrypto(void*, int, const char*, va_list) {}
#endif

}  // namespace

bool StartLibssh() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
#ifdef _WIN32
        gcry_set_log_handler(QuietCrypto, nullptr);
#endif
        started = ssh_init() == SSH_OK;
    });
    return started;
}

bool LibsshUsesLibgcrypt() {
    std::string version = ssh_version(0);
    return version.find("/gnutls") != std::string::npos &&
           version.find("/openssl") == std::string::npos;
}

std::string LibsshBuiltIn() {
    std::string version = TOLVI_LIBSSH_VERSION;
    std::string backend = ssh_version(0);
    const char* crypto = LibsshUsesLibgcrypt()                           ? "libgcrypt"
                         : backend.find("/openssl") != std::string::npos ? "OpenSSL"
                         : backend.find("/mbedtls") != std::string::npos ? "Mbed TLS"
                                                                         : "its own";
    return "libssh " + version + " (" + crypto + ")";
}

std::string Sha256Fingerprint(ssh_key key) {
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != SSH_OK)
        return "";
    std::string bytes(reinterpret_cast<char*>(hash), length);
    ssh_clean_pubkey_hash(&hash);
    return "SHA256:" + Base64Encode(bytes, false);
}

}  // namespace tolvi::ssh
