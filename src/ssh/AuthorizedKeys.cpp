// Reading authorized_keys lines: options, key, comment; anything doubtful is left unused.
#include "ssh/AuthorizedKeys.h"

#include <algorithm>
#include <cctype>

#include "engine/SafeText.h"
#include "ssh/Base64.h"
#include "ssh/KeyFiles.h"

namespace tolvi::ssh {
namespace {

const char* const kAccepted[] = {"ssh-ed25519", "ecdsa-sha2-nistp256", "ecdsa-sha2-nistp384",
                                 "ecdsa-sha2-nistp521", "ssh-rsa"};
// Options that change nothing here: this server offers no forwarding, X11, agent, user rc,
// environment or shell, and a pty request only tells it the terminal's size.
const char* const kHarmless[] = {"no-port-forwarding",
                                 "no-agent-forwarding",
                                 "no-x11-forwarding",
                                 "no-pty",
                                 "no-user-rc",
                                 "restrict",
                                 "port-forwarding",
                                 "agent-forwarding",
                                 "x11-forwarding",
                                 "pty",
                                 "user-rc",
                                 "permitopen",
                                 "permitlisten",
                                 "environment"};

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// A key type OpenSSH writes at the start of a line, accepted here or not.
bool LooksLikeKeyType(const std::string& word) {
    return word.rfind("ssh-", 0) == 0 || word.rfind("ecdsa-", 0) == 0 || word.rfind("sk-", 0) == 0;
}

// Takes the next word, or the options field with its quoted values, up to unquoted space.
// False when a quote is left open.
bool NextField(const std::string& line, size_t* at, std::string* field) {
    while (*at < line.size() && IsSpace(line[*at]))
        ++*at;
    bool quoted = false;
    field->clear();
    for (; *at < line.size(); ++*at) {
        char c = line[*at];
        if (!quoted && IsSpace(c))
            break;
        if (c == '\\' && quoted && *at + 1 < line.size() && line[*at + 1] == '"') {
            *field += '"';
            ++*at;
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        *field += c;
    }
    return !quoted;
}

// Splits options at unquoted commas into name and value (quotes taken off).
std::vector<std::pair<std::string, std::string>> SplitOptions(const std::string& field) {
    std::vector<std::pair<std::string, std::string>> options;
    std::string name, value;
    bool inValue = false, quoted = false;
    for (size_t i = 0; i <= field.size(); ++i) {
        char c = i < field.size() ? field[i] : ',';
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            options.emplace_back(Lower(name), value);
            name.clear();
            value.clear();
            inValue = false;
        } else if (c == '=' && !inValue && !quoted) {
            inValue = true;
        } else {
            (inValue ? value : name) += c;
        }
    }
    return options;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string item = Trim(text.substr(start, comma - start));
        if (!item.empty())
            items.push_back(item);
        start = comma + 1;
    }
    return items;
}

// The type name a key's data begins with, as OpenSSH's wire format writes it.
std::string TypeInBlob(const std::string& blob) {
    if (blob.size() < 4)
        return "";
    size_t length = static_cast<uint8_t>(blob[0]) << 24 | static_cast<uint8_t>(blob[1]) << 16 |
                    static_cast<uint8_t>(blob[2]) << 8 | static_cast<uint8_t>(blob[3]);
    return length <= blob.size() - 4 ? blob.substr(4, length) : "";
}

// Applies the options to key; "" when they are all understood, else what was not.
std::string ApplyOptions(const std::string& field, AuthorizedKey* key) {
    for (const auto& [name, value] : SplitOptions(field)) {
        if (name == "consoles") {
            key->limited = true;
            for (const std::string& item : SplitList(value))
                key->consoles.push_back(item);
        } else if (name == "watch") {
            key->watch = true;
        } else if (std::find(std::begin(kHarmless), std::end(kHarmless), name) ==
                   std::end(kHarmless)) {
            return "option " + EscapedText(name, 40) + " is not understood here";
        }
    }
    return "";
}

// One line: true with *key filled, or false with the reason (empty for lines to skip).
bool ParseLine(const std::string& line, AuthorizedKey* key, std::string* why) {
    size_t at = 0;
    std::string first;
    if (!NextField(line, &at, &first)) {
        *why = "an option's quote is never closed";
        return false;
    }
    if (first.empty() || first[0] == '#')
        return false;
    std::string type = first;
    if (!LooksLikeKeyType(first)) {
        *why = ApplyOptions(first, key);
        if (!why->empty())
            return false;
        NextField(line, &at, &type);
    }
    std::string base64;
    NextField(line, &at, &base64);
    if (type.empty() || base64.empty()) {
        *why = "not a key";
        return false;
    }
    if (std::find(std::begin(kAccepted), std::end(kAccepted), type) == std::end(kAccepted)) {
        *why = "key type " + EscapedText(type, 40) + " is not accepted";
        return false;
    }
    if (!Base64Decode(base64, &key->blob) || TypeInBlob(key->blob) != type) {
        *why = "the key's data is damaged";
        return false;
    }
    key->type = type;
    key->comment = Trim(line.substr(at));
    return true;
}

}  // namespace

AuthorizedKeys AuthorizedKeys::Parse(const std::string& text, bool cut) {
    AuthorizedKeys result;
    size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;  // a BOM that Notepad leaves
    // Of a file that was cut, the last line is not whole: it is not read.
    size_t end = cut ? text.rfind('\n') + 1 : text.size();
    int unused = 0;
    for (int number = 1; start < end; ++number) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos)
            stop = text.size();
        std::string line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = stop + 1;
        AuthorizedKey key;
        key.line = number;
        std::string why;
        if (ParseLine(line, &key, &why)) {
            result.keys.push_back(std::move(key));
        } else if (!why.empty() && ++unused <= kProblemsNamed) {
            // A line is named by its number and its start, as text: it may be anything.
            result.problems.push_back("line " + std::to_string(number) + " (" +
                                      EscapedText(line, 80) + "): " + why + "; it admits nobody");
        }
    }
    if (unused > kProblemsNamed)
        result.problems.push_back(std::to_string(unused - kProblemsNamed) +
                                  " more lines admit nobody");
    if (cut)
        result.problems.push_back("the file is larger than " +
                                  std::to_string(kMaxKeysFileSize >> 20) +
                                  " MiB: the lines beyond are not read");
    return result;
}

const AuthorizedKey* AuthorizedKeys::Find(const std::string& blob) const {
    for (const AuthorizedKey& key : keys) {
        if (key.blob == blob)
            return &key;
    }
    return nullptr;
}

}  // namespace tolvi::ssh
