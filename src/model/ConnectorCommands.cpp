// The connector commands' flows.
#include "model/ConnectorCommands.h"

#include "engine/Format.h"
#include "model/ConnectorFactory.h"
#include "model/ConnectorHost.h"

namespace tolvi {

void ConnectorCommands::New() {
    ConnectorSettings settings;  // empty texts, both boxes clear
    while (host_.RunConnectorDialog(DialogKind::Add, &settings, list_.Keys(), -1)) {
        std::unique_ptr<PipeConnector> connector = BuildConnector(settings, host_.Observer());
        if (!OpenListener(*connector)) {
            host_.Ask(connector->GetErrorText(), BoxKind::OkExclamation, "Configuration Error!");
            continue;  // the dialog again, with what the user entered
        }
        int row = list_.Append(std::move(connector));
        if (row < 0) {
            host_.Ask("The new connector could not be added to the list.", BoxKind::OkExclamation,
                      "Configuration Error!");
            break;
        }
        StartWorkerOrTell(list_.At(row));
        break;
    }
    host_.SaveConfiguration();  // also when the dialog was cancelled
}

void ConnectorCommands::Edit() {
    int row = host_.SelectedRow();
    if (list_.Count() == 0 || row < 0)
        return;
    ConnectorSettings settings = list_.At(row).Settings();
    if (!MayDisconnect(list_.At(row)))
        return;
    while (host_.RunConnectorDialog(DialogKind::Edit, &settings, list_.Keys(), row)) {
        if (Rebuild(row, settings))
            break;
    }
    host_.SaveConfiguration();  // also when the dialog was cancelled
}

bool ConnectorCommands::Rebuild(int row, const ConnectorSettings& settings) {
    // Opened while the old connector still runs and listens, possibly on the same port, whose
    // endpoint the new one then takes over.
    PipeConnector& old = list_.At(row);
    std::unique_ptr<PipeConnector> fresh = BuildConnector(settings, host_.Observer());
    if (!ListenInPlaceOf(old, *fresh)) {
        host_.Ask(fresh->GetErrorText(), BoxKind::OkExclamation, "Configuration Error!");
        return false;
    }
    old.StopAndWait();
    list_.Replace(row, std::move(fresh));  // the old connector is destroyed here
    StartWorkerOrTell(list_.At(row));
    return true;
}

void ConnectorCommands::ConsoleOptions() {
    int row = host_.SelectedRow();
    if (list_.Count() == 0 || row < 0)
        return;
    PipeConnector& old = list_.At(row);
    ConnectorSettings before = old.Settings();
    ConnectorSettings settings = before;
    for (;;) {
        if (!host_.RunConsoleOptionsDialog(&settings))
            return;
        // A watch port is checked against the other rows' ports as the port itself is.
        Verdict verdict = ValidateConnector(DialogKind::Edit, settings, list_.Keys(), row);
        if (verdict.accepted)
            break;
        host_.Ask(verdict.message, BoxKind::OkExclamation, "Error!");
    }
    if (!SameSettings(settings, before)) {
        // A changed option takes a new connector, as an edit does, and costs a client its turn.
        if (!MayDisconnect(old) || !Rebuild(row, settings))
            return;
    }
    host_.SaveConfiguration();
}

void ConnectorCommands::Delete() {
    int row = host_.SelectedRow();
    if (list_.Count() == 0 || row < 0)
        return;
    std::string pipeName = list_.At(row).GetPipeName();
    if (!host_.Ask(Format("Really want to delete connector for pipe %s?", pipeName.c_str()),
                   BoxKind::YesNoQuestion, "Delete Connector?")) {
        return;
    }
    std::unique_ptr<PipeConnector> connector = list_.Remove(row);  // the row goes first
    connector->StopAndWait();
    connector.reset();
    host_.SaveConfiguration();
}

void ConnectorCommands::Reset() {
    if (list_.Count() == 0)
        return;
    int row = host_.SelectedRow();
    if (row < 0) {
        host_.Ask("Select connection to be cancelled", BoxKind::OkExclamation, "Delete");
        return;
    }
    PipeConnector& connector = list_.At(row);
    std::string pipeName = connector.GetPipeName();
    std::string client = connector.GetClientAddress();
    if (client.empty()) {
        host_.Ask(Format("Pipe %s is not connected to any client", pipeName.c_str()),
                  BoxKind::OkInformation, "Not connected");
        return;
    }
    if (!host_.Ask(
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
           host_.Ask(Format("Client %s will be disconnected! Procced? \n", client.c_str()),
                     BoxKind::YesNoQuestion, "Warning!");
}

void ConnectorCommands::StartWorkerOrTell(PipeConnector& connector) {
    if (connector.StartWorker().Failed())
        host_.Ask(connector.GetErrorText(), BoxKind::OkExclamation, nullptr);
}

}  // namespace tolvi
