// The console host.
#include "relay/ConsoleHost.h"

#include <cstdio>
#include <string>
#include <vector>

#include "engine/PipeConnector.h"
#include "model/AuditTrail.h"
#include "model/ConnectorHost.h"
#include "model/ListenAdvice.h"
#include "platform/Interrupt.h"
#include "platform/Folder.h"
#include "platform/Socket.h"
#include "platform/WaitSet.h"
#include "platform/UserFolder.h"
#include "relay/StatusPrinter.h"
#include "ssh/SshHost.h"
#include "web/WebConsoleServer.h"

namespace tolvi::relay {

int RunConsoleHost(const RelayArgs& args) {
    if (platform::SysError e = platform::StartSocketLibrary(); e.Failed()) {
        std::fprintf(stderr, "tolvi-relay: could not start the socket library (error %d)\n",
                     e.code);
        return 1;
    }
    platform::WakeSignal interrupted;
    platform::CatchInterrupts(&interrupted);

    StatusPrinter printer;
    // The trail outlives the connectors, which write to it as they stop (on every way out).
    AuditTrail audit;
    ConnectorHost host(&printer);
    std::string folder = platform::UserConfigFolder();
    const std::string keysFile =
        !args.sshKeys.empty() ? args.sshKeys
        : folder.empty()      ? ""
                              : platform::JoinPath(folder, "authorized_keys");
    // The audit trail beside the keys file, and the recordings in the user's folder, unless
    // told otherwise.
    ConnectorPlaces places;
    std::string auditFile = !args.auditFile.empty() ? args.auditFile
                            : keysFile.empty()      ? ""
                                                    : platform::JoinPath(platform::FolderOf(keysFile), "audit.jsonl");
    if (auditFile.empty()) {
        printer.Line("audit: no folder for the audit trail: give --audit FILE");
    } else if (!audit.Open(auditFile)) {
        printer.Line("audit: " + audit.Problem());  // tried again at each record
        places.audit = &audit;
    } else {
        places.audit = &audit;
        printer.Line("audit: " + auditFile);
    }
    places.recordingsRoot = !args.recordDir.empty() ? args.recordDir
                            : folder.empty()        ? ""
                                                    : platform::JoinPath(folder, "recordings");
    bool recording = false;
    for (const ConnectorSettings& s : args.connectors)
        recording = recording || s.record;
    if (recording && (places.recordingsRoot.empty() || !platform::MakeFolder(places.recordingsRoot))) {
        std::fprintf(stderr, "tolvi-relay: the recordings' folder %s cannot be made: give --record-dir DIR\n",
                     places.recordingsRoot.c_str());
        return 1;
    }
    host.SetPlaces(places);
    printer.SetAudit(places.audit);
    host.Start(args.connectors);  // each failure has been printed as it happened
    int listening = 0;
    for (int row = 0; row < host.Connectors().Count(); ++row) {
        const PipeConnector& c = host.Connectors().At(row);
        if (c.GetListenPort() == 0)
            continue;
        ++listening;
        const ConnectorSettings& s = c.Settings();
        std::string line = " listening: " + ReachCommand(s);
        if (s.watchPort != 0)
            line += ", watch on port " + std::to_string(s.watchPort);
        std::string warning = ListenWarning(s);
        if (!warning.empty())
            line += "; " + warning;
        if (s.record)
            line += ", recorded in " + c.RecordingFolder();
        printer.Line(StatusPrinter::Label(c) + line);
    }
    if (listening == 0) {
        std::fprintf(stderr, "tolvi-relay: no connector could listen\n");
        return 1;
    }
    // Each listening connector's console in the browser, served until the end.
    web::WebConsoleServer consoles;
    if (args.webPort >= 0) {
        std::vector<web::WebConsole> each(static_cast<size_t>(host.Connectors().Count()));
        for (int row = 0; row < host.Connectors().Count(); ++row)
            web::ConsoleOf(host.Connectors().At(row), &each[static_cast<size_t>(row)]);
        consoles.SetConsoles(each);
        consoles.SetDirectory(&host);
        std::string error;
        if (!consoles.Start(static_cast<uint16_t>(args.webPort), &error)) {
            std::fprintf(stderr, "tolvi-relay: %s\n", error.c_str());
            return 1;
        }
        for (int row = 0; row < host.Connectors().Count(); ++row) {
            if (!each[static_cast<size_t>(row)].key.empty()) {
                printer.Line(StatusPrinter::Label(host.Connectors().At(row)) + " console: " +
                             consoles.ConsoleUrl(each[static_cast<size_t>(row)].key));
            }
        }
    }

    // Every console over SSH, on one port for them all.
    ssh::SshHost ssh(host, printer);
    if (args.sshPort >= 0) {
        ssh::SshFiles files;
        files.keysFile = keysFile;
        if (files.keysFile.empty()) {
            std::fprintf(stderr, "tolvi-relay: no folder for the SSH keys: give --ssh-keys FILE\n");
            return 1;
        }
        files.hostKeyFile = args.sshHostKey;
        std::string why;
        if (!ssh.Start(static_cast<uint16_t>(args.sshPort), args.sshListen, files, &why)) {
            std::fprintf(stderr, "tolvi-relay: %s\n", why.c_str());
            return 1;
        }
        std::string where = args.sshListen.empty() ? "every interface" : args.sshListen;
        std::string port = std::to_string(ssh.Port());
        printer.Line("SSH: listening on port " + port + ", " + where + ": ssh -p " + port +
                     " PORT@host opens the console on PORT");
        printer.Line("SSH: host key " + ssh.Fingerprint() + " (" + ssh.HostKeyFile() +
                     (ssh.HostKeyMade() ? ", made now)" : ")"));
        printer.Line("SSH: keys from " + files.keysFile);
    }

    platform::WaitSet wait;
    wait.Add(interrupted);
    while (!interrupted.IsSet())
        wait.Wait(-1);
    printer.Line("stopping");
    ssh.Stop();
    consoles.Stop();
    host.StopAll();  // every stop request first, so that all the workers end together
    printer.Line("stopped");
    platform::InterruptsHandled();
    return 0;
}

}  // namespace tolvi::relay
