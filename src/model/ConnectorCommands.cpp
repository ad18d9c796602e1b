// The connector commands' flows.
#include "model/ConnectorCommands.h"

#include "engine/AuditSink.h"
#include "engine/Format.h"
#include "model/ConnectorFactory.h"
#include "model/ConnectorHost.h"

namespace tolvi {

void ConnectorCommands::New() {
    ConnectorSettings settings;  // empty texts, both boxes clear
    while (commandHost.RunConnectorDialog(DialogKind::Add, &settings, connectors.Keys(), -1)) {
        std::unique_ptr<PipeConnector> connector =
            BuildConnector(settings, commandHost.Observer(), commandHost.Places());
        if (!OpenListener(*connector)) {
            commandHost.Ask(connector->GetErrorText(), BoxKind::OkExclamation, "Configuration Error!");
            continue;  // the dialog again, with what the user entered
        }
        int row = connectors.Append(std::move(connector));
        if (row < 0) {
            commandHost.Ask("The new connector could not be added to the list.", BoxKind::OkExclamation,
                      "Configuration Error!");
            break;
        }
        StartWorkerOrTell(connectors.At(row));
        Audit(settings, "added");
        break;
    }
    commandHost.SaveConfiguration();  // also when the dialog was cancelled
}

void ConnectorCommands::Edit() {
    int row = commandHost.SelectedRow();
    if (connectors.Count() == 0 || row < 0)
        return;
    ConnectorSettings settings = connectors.At(row).Settings();
    if (!MayDisconnect(connectors.At(row)))
        return;
    while (commandHost.RunConnectorDialog(DialogKind::Edit, &settings, connectors.Keys(), row)) {
        if (Rebuild(row, settings))
            break;
    }
    commandHost.SaveConfiguration();  // also when the dialog was cancelled
}

bool ConnectorCommands::Rebuild(int row, const ConnectorSettings& settings) {
    // Opened while the old connector still runs and listens, possibly on the same port, whose
    // endpoint the new one then takes over.
    PipeConnector& old = connectors.At(row);
    std::unique_ptr<PipeConnector> fresh =
        BuildConnector(settings, commandHost.Observer(), commandHost.Places());
    if (!ListenInPlaceOf(old, *fresh)) {
        commandHost.Ask(fresh->GetErrorText(), BoxKind::OkExclamation, "Configuration Error!");
        return false;
    }
    old.StopAndWait();
    connectors.Replace(row, std::move(fresh));  // the old connector is destroyed here
    StartWorkerOrTell(connectors.At(row));
    Audit(settings, "changed");
    return true;
}

void ConnectorCommands::ConsoleOptions() {
    int row = commandHost.SelectedRow();
    if (connectors.Count() == 0 || row < 0)
        return;
    PipeConnector& old = connectors.At(row);
    ConnectorSettings before = old.Settings();
    ConnectorSettings settings = before;
    for (;;) {
        if (!commandHost.RunConsoleOptionsDialog(&settings))
            return;
        // A watch port is checked against the other rows' ports as the port itself is.
        Verdict verdict = ValidateConnector(DialogKind::Edit, settings, connectors.Keys(), row);
        if (verdict.accepted)
            break;
        commandHost.Ask(verdict.message, BoxKind::OkExclamation, "Error!");
    }
    if (!SameSettings(settings, before)) {
        // A changed option takes a new connector, as an edit does, and costs a client its turn.
        if (!MayDisconnect(old) || !Rebuild(row, settings))
            return;
    }
    commandHost.SaveConfiguration();
}

void ConnectorCommands::Delete() {
    int row = commandHost.SelectedRow();
    if (connectors.Count() == 0 || row < 0)
        return;
    std::string pipeName = connectors.At(row).GetPipeName();
    if (!commandHost.Ask(Format("Really want to delete connector for pipe %s?", pipeName.c_str()),
                   BoxKind::YesNoQuestion, "Delete Connector?")) {
        return;
    }
    std::unique_ptr<PipeConnector> connector = connectors.Remove(row);  // the row goes first
    connector->StopAndWait();
    Audit(connector->Settings(), "removed");
    connector.reset();
    commandHost.SaveConfiguration();
}

void ConnectorCommands::Reset() {
    if (connectors.Count() == 0)
        return;
    int row = commandHost.SelectedRow();
    if (row < 0) {
        commandHost.Ask("Select connection to be cancelled", BoxKind::OkExclamation, "Delete");
        return;
    }
    PipeConnector& connector = connectors.At(row);
    std::string pipeName = connector.GetPipeName();
    std::string client = connector.GetClientAddress();
    if (client.empty()) {
        commandHost.Ask(Format("Pipe %s is not connected to any client", pipeName.c_str()),
                  BoxKind::OkInformation, "Not connected");
        return;
    }
    if (!commandHost.Ask(
            Format("Client %s will be disconnected from pipe %s", client.c_str(), pipeName.c_str()),
            BoxKind::YesNoExclamation, "Warning!")) {
        return;
    }
    connector.StopAndWait();
    // A port that fails now shows as Error in the list, without a word, as at start-up.
    if (OpenListener(connector, &connector))
        StartWorkerOrTell(connector);
}

bool ConnectorCommands::MayDisconnect(const PipeConnector& connector) {
    std::string client = connector.GetClientAddress();
    return client.empty() ||
           commandHost.Ask(Format("Client %s will be disconnected! Procced? \n", client.c_str()),
                     BoxKind::YesNoQuestion, "Warning!");
}

void ConnectorCommands::Audit(const ConnectorSettings& settings, const char* change) {
    if (AuditSink* audit = commandHost.Places().audit)
        audit->ConnectorChanged(settings, change, "window");
}

void ConnectorCommands::StartWorkerOrTell(PipeConnector& connector) {
    if (connector.StartWorker().Failed())
        commandHost.Ask(connector.GetErrorText(), BoxKind::OkExclamation, nullptr);
}

}  // namespace tolvi
