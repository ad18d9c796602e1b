// The web console's rules for requests, its URLs and its page.
#include "web/ConsolePage.h"

#include "engine/PortText.h"
#include "engine/RecordingFiles.h"
#include "platform/Hex.h"
#include "web/Assets.h"
#include "web/StrongRandom.h"
#include "web/WebConsoleServer.h"

namespace tolvi::web {
namespace {

const char kConsolePrefix[] = "/console/";
const char kRecordingsPrefix[] = "/recordings/";
const char kAssetPrefix[] = "/assets/";

bool StartsWith(const std::string& text, const char* prefix, std::string* rest) {
    std::string p(prefix);
    if (text.compare(0, p.size(), p) != 0)
        return false;
    *rest = text.substr(p.size());
    return true;
}

// %XX decoded; false for a broken escape.
bool PercentDecode(const std::string& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out->push_back(text[i]);
            continue;
        }
        int high = i + 2 < text.size() ? platform::HexValue(text[i + 1]) : -1;
        int low = high >= 0 ? platform::HexValue(text[i + 2]) : -1;
        if (low < 0)
            return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

// Everything but the unreserved characters of RFC 3986 escaped, so that any key makes one
// path segment.
std::string PercentEncode(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(platform::HexDigit(c >> 4, true));
            out.push_back(platform::HexDigit(c, true));
        }
    }
    return out;
}

// The value of the query's token parameter; false when there is none.
// The value of the query's parameter name; false when there is none.
bool ParameterOf(const std::string& query, const std::string& name, std::string* value) {
    size_t at = 0;
    const std::string key = name + "=";
    while (at <= query.size()) {
        size_t end = query.find('&', at);
        if (end == std::string::npos)
            end = query.size();
        std::string pair = query.substr(at, end - at);
        if (pair.compare(0, key.size(), key) == 0) {
            *value = pair.substr(key.size());
            return true;
        }
        at = end + 1;
    }
    return false;
}

bool TokenOf(const std::string& query, std::string* token) {
    return ParameterOf(query, "token", token);
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

void ReplaceAll(std::string* text, const std::string& what, const std::string& with) {
    for (size_t at = text->find(what); at != std::string::npos;
         at = text->find(what, at + with.size()))
        text->replace(at, what.size(), with);
}

}  // namespace

bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

Verdict Judge(const Request& request, uint16_t port, const std::string& token) {
    Verdict verdict;
    // A browser leaves the port out of Host and Origin when it is HTTP's own, 80.
    const std::string self = port == 80 ? "127.0.0.1" : "127.0.0.1:" + std::to_string(port);
    size_t question = request.target.find('?');
    std::string path = request.target.substr(0, question);
    std::string query = question == std::string::npos ? "" : request.target.substr(question + 1);
    std::string given;
    if (token.empty() || !TokenOf(query, &given) || !SameSecret(given, token))
        return verdict;
    if (request.host != self)
        return verdict;
    if (request.hasOrigin ? request.origin != "http://" + self : request.upgrade)
        return verdict;

    std::string rest;
    if (request.method != "GET") {
        verdict.kind = Verdict::BadMethod;
    } else if (StartsWith(path, kConsolePrefix, &rest) && !rest.empty() &&
               rest.find('/') == std::string::npos && PercentDecode(rest, &verdict.name)) {
        verdict.kind = request.upgrade ? Verdict::Socket : Verdict::Page;
        std::string take;
        verdict.take = request.upgrade && ParameterOf(query, "take", &take) && take == "1";
    } else if (!request.upgrade && StartsWith(path, kRecordingsPrefix, &rest) && !rest.empty()) {
        // /recordings/KEY, the page; /recordings/KEY/NAME, a recording's file as it is.
        size_t slash = rest.find('/');
        std::string file;
        bool named = PercentDecode(rest.substr(0, slash), &verdict.name) && !verdict.name.empty() &&
                     verdict.name.find('/') == std::string::npos;
        if (named && slash == std::string::npos) {
            verdict.kind = Verdict::RecordingsPage;
        } else if (named && PercentDecode(rest.substr(slash + 1), &file) &&
                   IsRecordingName(file)) {
            verdict.kind = Verdict::Recording;  // no separator, no "..": never outside its folder
            verdict.recording = file;
        } else {
            verdict.kind = Verdict::NotFound;
        }
    } else if (!request.upgrade && StartsWith(path, "/api/consoles/", &rest) &&
               rest.size() > 11 && rest.compare(rest.size() - 11, 11, "/recordings") == 0 &&
               PercentDecode(rest.substr(0, rest.size() - 11), &verdict.name) &&
               !verdict.name.empty() && verdict.name.find('/') == std::string::npos) {
        verdict.kind = Verdict::RecordingsList;
    } else if (!request.upgrade && path == "/api/consoles") {
        verdict.kind = Verdict::Consoles;
    } else if (!request.upgrade && StartsWith(path, "/api/consoles/", &rest) &&
               rest.size() > 5 && rest.compare(rest.size() - 5, 5, "/tail") == 0 &&
               PercentDecode(rest.substr(0, rest.size() - 5), &verdict.name) &&
               !verdict.name.empty() && verdict.name.find('/') == std::string::npos) {
        // The latest KiB of a console's output: 4 unless kib=N says, 1 to 1024.
        verdict.kind = Verdict::Tail;
        std::string kib;
        int value = 4;
        if (ParameterOf(query, "kib", &kib) &&
            (!ReadWholeNumber(kib, &value) || value < 1 || value > 1024)) {
            verdict.kind = Verdict::NotFound;
        }
        verdict.tailBytes = static_cast<size_t>(value) * 1024;
    } else if (!request.upgrade && StartsWith(path, kAssetPrefix, &rest) && FindAsset(rest)) {
        verdict.kind = Verdict::File;
        verdict.name = rest;
    } else {
        verdict.kind = Verdict::NotFound;
    }
    return verdict;
}

std::string MakeToken() {
    unsigned char bytes[16];
    if (!StrongRandom(bytes, sizeof bytes))
        return "";
    std::string token;
    for (unsigned char b : bytes) {
        token.push_back(platform::HexDigit(b >> 4));
        token.push_back(platform::HexDigit(b));
    }
    return token;
}

std::string ConsoleTarget(const std::string& key, const std::string& token) {
    return kConsolePrefix + PercentEncode(key) + "?token=" + token;
}

std::string RecordingsTarget(const std::string& key, const std::string& token) {
    return kRecordingsPrefix + PercentEncode(key) + "?token=" + token;
}

namespace {

std::string FilledPage(const char* name, const WebConsole& console, const std::string& token) {
    const Asset& page = PageTemplate(name);
    std::string text(page.data, page.size);
    ReplaceAll(&text, "{{title}}", HtmlEscape(console.title));
    ReplaceAll(&text, "{{key}}", PercentEncode(console.key));
    ReplaceAll(&text, "{{token}}", token);
    return text;
}

}  // namespace

std::string PageText(const WebConsole& console, const std::string& token) {
    return FilledPage("console.html", console, token);
}

std::string RecordingsPageText(const WebConsole& console, const std::string& token) {
    return FilledPage("recordings.html", console, token);
}

}  // namespace tolvi::web
