// What libssh calls back into a session with: its logins, its channel's requests and what the
// client sends on it. Each finds its session through its userdata, and only sets what the
// session's own loop then acts on.
#pragma once
#include <libssh/callbacks.h>

#include "engine/SafeText.h"
#include "ssh/Base64.h"
#include "ssh/SshSession.h"

namespace tolvi::ssh {

struct SshSession::Callbacks {
    ssh_server_callbacks_struct server{};
    ssh_channel_callbacks_struct channel{};

    static SshSession& Of(void* userdata) { return *static_cast<SshSession*>(userdata); }

    static int OnStop(socket_t, int, void* userdata) {
        Of(userdata).stopped = true;
        return 0;
    }

    static int OnNone(ssh_session, const char* user, void* userdata) {
        Of(userdata).user = user ? user : "";
        return SSH_AUTH_DENIED;
    }

    static int OnPassword(ssh_session, const char* user, const char*, void* userdata) {
        SshSession& s = Of(userdata);
        s.user = user ? user : "";
        s.Refuse("a password was offered; only keys are accepted");
        return SSH_AUTH_DENIED;
    }

    static int OnPublicKey(ssh_session, const char* user, ssh_key_struct* offered, char state,
                           void* userdata) {
        SshSession& s = Of(userdata);
        s.user = user ? user : "";
        if (!s.keysLoaded) {
            s.keys = s.context.keys();
            s.keysLoaded = true;
        }
        char* base64 = nullptr;
        std::string blob;
        const AuthorizedKey* entry = nullptr;
        if (ssh_pki_export_pubkey_base64(offered, &base64) == SSH_OK) {
            if (Base64Decode(base64, &blob))
                entry = s.keys.Find(blob);
            ssh_string_free_char(base64);
        }
        s.offeredKey = Sha256Fingerprint(offered);
        if (!entry) {
            s.Refuse("key " + s.offeredKey + " is not authorized");
            return SSH_AUTH_DENIED;
        }
        if (state == SSH_PUBLICKEY_STATE_NONE)
            return SSH_AUTH_SUCCESS;  // the key would do: the client may sign with it
        if (state != SSH_PUBLICKEY_STATE_VALID) {
            s.Refuse("a key's signature was wrong");
            return SSH_AUTH_DENIED;
        }
        s.key = *entry;
        s.authenticated = true;
        return SSH_AUTH_SUCCESS;
    }

    static ssh_channel OnChannelOpen(ssh_session session, void* userdata) {
        SshSession& s = Of(userdata);
        if (!s.authenticated || s.channel)
            return nullptr;  // one console a connection
        s.channel = ssh_channel_new(session);
        if (s.channel) {
            ssh_channel_callbacks_struct& c = s.callbacks->channel;
            c.userdata = &s;
            c.channel_data_function = OnData;
            c.channel_eof_function = OnEof;
            c.channel_close_function = OnClose;
            c.channel_pty_request_function = OnPty;
            c.channel_pty_window_change_function = OnWindowChange;
            c.channel_shell_request_function = OnShell;
            c.channel_exec_request_function = OnExec;
            ssh_callbacks_init(&c);
            ssh_set_channel_callbacks(s.channel, &c);
        }
        return s.channel;
    }

    // libssh keeps what the client sends and hands all it keeps to each call: the count is
    // kept, and ReadChannel takes the bytes. What arrives after the client's end of input, or
    // its close, is never read. Extended data (a client's stderr) means nothing here.
    static int OnData(ssh_session, ssh_channel, void*, uint32_t size, int isStderr,
                      void* userdata) {
        if (isStderr)
            return static_cast<int>(size);
        SshSession& s = Of(userdata);
        s.arrived = s.taken + size;
        return 0;
    }
    static void OnEof(ssh_session, ssh_channel, void* userdata) {
        SshSession& s = Of(userdata);
        if (!s.inputEnded) {
            s.inputEnded = true;
            s.inputEnd = s.arrived;
        }
    }
    static void OnClose(ssh_session session, ssh_channel channel, void* userdata) {
        OnEof(session, channel, userdata);
        Of(userdata).peerClosed = true;
    }

    static int OnPty(ssh_session, ssh_channel, const char*, int, int, int, int, void* userdata) {
        Of(userdata).pty = true;
        return 0;
    }
    // A serial console has no size to set: the change is taken and goes no further.
    static int OnWindowChange(ssh_session, ssh_channel, int, int, int, int, void*) { return 0; }

    static int OnShell(ssh_session, ssh_channel, void* userdata) {
        SshSession& s = Of(userdata);
        if (s.command != Command::None)
            return -1;
        s.command = Command::Shell;
        return 0;
    }

    static int OnExec(ssh_session, ssh_channel, const char* text, void* userdata) {
        SshSession& s = Of(userdata);
        if (s.command != Command::None)
            return -1;
        s.commandText = text;
        s.command = s.commandText == "watch"  ? Command::Watch
                    : s.commandText == "take" ? Command::Take
                    : s.commandText == "who"  ? Command::Who
                                              : Command::Unknown;
        return 0;
    }
};

}  // namespace tolvi::ssh
