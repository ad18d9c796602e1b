// The settings of a connector that the dialogs collect, the store keeps and the engine runs
// with: the six of the connector dialogs, and the console options, whose defaults leave a
// connector as it always was (but for listening on loopback alone while only local clients
// are admitted).
#pragma once
#include <string>

namespace tolvi {

struct ConnectorSettings {
    std::string pipeName;
    std::string portText;  // as typed; a number only where one is needed
    std::string description;
    bool allowNonLocal = false;
    bool listOnly = false;
    std::string clientList;
    // Console options.
    int maxClients = 1;   // clients served at once, 1 to 16
    std::string logFile;  // where everything the pipe sends is appended; "" for no log
    bool logTimes = false;  // each line of the log begins with the local time it began
    // Patterns, one a line, whose matches in the console's lines are told (AlertWatcher), and a
    // command run at each alert, without a shell, with the alert in its environment.
    std::string alerts;
    std::string alertCommand;
    int replayKiB = 0;    // how much of the latest output a new client is sent first, 0 to 1024
    // Where to listen: an IPv4 or IPv6 address; "" is automatic, loopback (127.0.0.1 and ::1)
    // while only local clients are admitted, every interface of both families otherwise.
    std::string listenAddress;
    int watchPort = 0;   // a second port whose clients see the console but cannot type; 0: none
    bool telnet = true;  // false: raw TCP, exactly the pipe's bytes each way
    // On a shared Telnet console, the other clients are told when one joins, leaves or takes
    // the console.
    bool notices = true;
    // The pipe's server, checked before the first byte, must be the system, an administrator,
    // a virtual machine's account or this program's own user; with this, any server is used.
    bool trustAnyPipeServer = false;
    // tolvi creates the pipe and waits for the machine to connect to it, instead of opening
    // a pipe that the machine serves.
    bool pipeServer = false;
    // The console's screen recorded with its timing, and with recordInput what was typed;
    // recordings older than recordDays days are removed.
    bool record = false;
    bool recordInput = false;
    int recordDays = 30;
};

constexpr int kMaxClientsLimit = 16;
constexpr int kReplayKiBLimit = 1024;
constexpr int kMaxWatchers = 16;
constexpr int kRecordDaysLimit = 3650;

}  // namespace tolvi
