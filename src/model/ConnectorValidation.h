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
};

// Which check refused the input, for hosts that word it their own way.
enum class Problem {
    None,
    EmptyPipeName,
    PipeNameForm,
    PortValue,
    PipeNameInUse,
    PortInUse,
    ClientsValue,
    ReplayValue,
    OptionValue,  // another option of the table that refused what was typed
    TextTooLong,
};

struct Verdict {
    bool accepted = true;
    std::string message;  // shown with the caption "Error!" and an OK button
    MessageIcon icon = MessageIcon::None;
    Problem problem = Problem::None;
    int row = -1;  // the row in the way, for the two in-use checks
};

extern const char kInvalidPipeNameMessage[];

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

// rows are the list's rows in order; skipRow is the edited row (Edit), or -1.
Verdict ValidateConnector(DialogKind kind, const ConnectorSettings& settings,
                          const std::vector<RowKey>& rows, int skipRow);

// One option as typed, checked by the options table (a number between blanks, a listening
// address), with the table's message when it is refused; on acceptance stored in settings.
struct ConnectorOption;
Verdict ValidateOption(const ConnectorOption& option, const std::string& text,
                       ConnectorSettings* settings);

// The console options as typed: "Clients at once" a whole number from 1 to 16, "Replay" one
// from 0 to 1024 (blanks around them allowed). On acceptance they are stored in settings.
Verdict ValidateConsoleOptions(const std::string& clientsText, const std::string& replayText,
                               ConnectorSettings* settings);

}  // namespace tolvi
