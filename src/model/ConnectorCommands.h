// The connector commands New, Edit, Delete and Reset: the order in which they run the
// dialogs, build, start, stop, replace and destroy connectors, change the list and save, and
// every message they show. The windows only supply the dialogs, the boxes and the selection,
// so the flows themselves run and are tested anywhere.
#pragma once
#include <string>

#include "model/ConnectorValidation.h"
#include "engine/ConnectorObserver.h"
#include "engine/ConnectorSettings.h"
#include "model/ConnectorFactory.h"
#include "model/ConnectorList.h"

namespace tolvi {

// The message boxes of the commands, by their buttons and icon.
enum class BoxKind {
    OkExclamation,     // OK, exclamation
    OkInformation,     // OK, information
    YesNoQuestion,     // Yes and No, question
    YesNoExclamation,  // Yes and No, exclamation
};

class CommandHost {
  public:
    virtual ~CommandHost() = default;
    // The first selected row from the top, or -1.
    virtual int SelectedRow() const = 0;
    // Runs the Add or Edit dialog on settings; true when the user confirmed valid input, with
    // settings then holding it. rows are the list's keys; skipRow the edited row, or -1.
    virtual bool RunConnectorDialog(DialogKind kind, ConnectorSettings* settings,
                                    const std::vector<RowKey>& rows, int skipRow) = 0;
    // Runs the Console options dialog on settings; true when the user confirmed valid input.
    virtual bool RunConsoleOptionsDialog(ConnectorSettings* settings) = 0;
    // Shows a box; true when the answer was Yes (or OK for a box without a choice). Without
    // a caption the box carries the application's title.
    virtual bool Ask(const std::string& text, BoxKind kind, const char* caption) = 0;
    // Writes the whole configuration.
    virtual void SaveConfiguration() = 0;
    // What every connector built by a command reports to.
    virtual ConnectorObserver* Observer() = 0;
    // Where those connectors record and write their audit trail, which also hears of every
    // connector a command adds, changes or removes.
    virtual ConnectorPlaces Places() { return {}; }
};

class ConnectorCommands {
  public:
    ConnectorCommands(ConnectorList& list, CommandHost& host) : connectors(list), commandHost(host) {}

    void New();
    void Edit();
    void Delete();
    void Reset();
    void ConsoleOptions();

  private:
    // Builds the row's connector anew from settings while the old one still runs, then puts
    // it in the old one's place; false, after the error box, when its port failed.
    bool Rebuild(int row, const ConnectorSettings& settings);
    // True when the connector has no client, or the user agrees to drop it.
    bool MayDisconnect(const PipeConnector& connector);
    // Writes a change of a connector to the audit trail, as the window's.
    void Audit(const ConnectorSettings& settings, const char* change);
    // Starts the worker; a thread that cannot be made is told in a box of its own.
    void StartWorkerOrTell(PipeConnector& connector);

    ConnectorList& connectors;
    CommandHost& commandHost;
};

}  // namespace tolvi
