// Every setting of a connector, described once: the value the store keeps it in, the flag
// tolvi-relay takes it by and its line in the usage, its default, what it accepts and the
// message when it does not, and the control the dialogs show it in. The store, tolvi-relay's
// arguments and usage, the service's list, the dialogs' checks and the factory read this
// table: a new option is its row, its field in ConnectorSettings, its control in the Console
// options dialog and the code that acts on it.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"

namespace tolvi {

enum class OptionKind { Text, Flag, Number };

struct ConnectorOption {
    const char* valueName;  // stored as valueName + the entry's index: "PipeName0"
    const char* flag;       // tolvi-relay's flag; nullptr for PIPE and PORT, given by place
    const char* argument;   // what the flag takes, as the usage names it ("N"); nullptr: nothing
    // The usage's words for it; "{range}" stands for a number's bounds ("1 to 16"), a line
    // break for the next line of the usage.
    const char* help;
    const char* label;  // what a refusal calls it: "Clients at once"
    OptionKind kind;
    // Where the value lives: one of these is set, as the kind says.
    std::string ConnectorSettings::*text;
    bool ConnectorSettings::*yes;
    int ConnectorSettings::*number;
    int low, high;  // a number's bounds
    // A flag that stands for the value opposite to its default (--raw for Telnet off).
    bool flagClears;
    // What a text takes (nullptr: any), and the message when a value is refused (a number's
    // is made from its label and bounds).
    bool (*accepts)(const std::string& text);
    const char* refusal;
    // For a text whose refusal says more than a fixed message (a pattern's error): "" when it
    // takes the text.
    std::string (*check)(const std::string& text);
    int control;  // the dialog control that shows it; 0 for none
};

// The most characters a text value may have to be stored: 255 with its NUL. The registry
// keeps texts in UTF-16, and counts them so: a character beyond U+FFFF counts twice.
constexpr size_t kLongestStoredText = 254;
size_t StoredLength(const std::string& utf8);

// The options in the order the store writes them.
const std::vector<ConnectorOption>& ConnectorOptions();

// The message when a value is refused: "Clients at once must be a number from 1 to 16".
std::string RefusalOf(const ConnectorOption& option);
// One option of a usage text: "  --max-clients N      serve up to N clients at once, ...",
// the help's further lines under its first.
std::string UsageLine(const std::string& flag, const char* argument, const std::string& help);
// The usage's lines for every option that has a flag, in the table's order.
std::string OptionsUsage();
// The option with that flag, or nullptr.
const ConnectorOption* FindOptionByFlag(const std::string& flag);

// The value as the store writes it: a text as it is, a flag as "0" or "1", a number in
// decimal.
std::string OptionText(const ConnectorOption& option, const ConnectorSettings& settings);
// The options of settings (but the pipe, the port and the description) that differ from their
// defaults, as tolvi-relay's flags give them: "--max-clients 4 --log \"C:\\vm logs\\a.log\" --raw".
std::string ChangedOptionsAsFlags(const ConnectorSettings& settings);

// Takes the value from text as a user typed it (in a dialog, on the command line): blanks
// around a number are allowed, nothing else. False, with the option's message, when the text
// is not a value the option takes; settings is then unchanged.
bool SetOptionFromText(const ConnectorOption& option, const std::string& text,
                       ConnectorSettings* settings, std::string* message);

}  // namespace tolvi
