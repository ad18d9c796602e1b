// The checks the Add and Edit dialogs make when the user confirms, in their fixed order, with
// their messages and icons; decided here, apart from the dialogs' windows.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"

namespace tolvi {

enum class DialogKind { Add, Edit };
enum class MessageIcon { None, Stop, Exclamation };

// A row of the connector list as the checks see it.
struct RowKey {
    std::string pipeName;
    std::string portText;
    int watchPort = 0;
};

// Which check refused the input, for hosts that word it their own way.
enum class Problem {
    None,
    EmptyPipeName,
    PipeNameForm,
    PortValue,
    PipeNameInUse,
    PortInUse,
    WatchPortInUse,  // the watch port is another port of this connector's or of a row's
    PipeNotLocal,    // "Create the pipe" with another machine's name: only ours can be made
    TextTooLong,
};

struct Verdict {
    bool accepted = true;
    std::string message;  // shown with the caption "Error!" and an OK button
    MessageIcon icon = MessageIcon::None;
    Problem problem = Problem::None;
    int row = -1;   // the row in the way, for the in-use checks
    int port = 0;   // the port in use, for the in-use checks
};

extern const char kInvalidPipeNameMessage[];
extern const char kPipeNotLocalMessage[];

// Every edit field takes at most this many characters: what the store can keep.
constexpr int kLongestFieldText = 254;

// A text field as the user filled it, with the label that names it.
struct FieldText {
    const char* label;
    std::string text;
};

// Each field at most kLongestFieldText characters long: the edit boxes stop typing there, but
// not a text put in by a program (Browse) or one loaded from a hand-edited key.
Verdict ValidateFieldLengths(const std::vector<FieldText>& fields);

// rows are the list's rows in order; skipRow is the edited row (Edit), or -1. Every way a
// connector is added or changed (the dialogs, tolvi-relay's arguments, the service's
// commands) checks it here, watch ports included: a port serves one purpose of one connector.
Verdict ValidateConnector(DialogKind kind, const ConnectorSettings& settings,
                          const std::vector<RowKey>& rows, int skipRow);

}  // namespace tolvi
