// Compiling alert patterns with RE2, saying where one goes wrong, and matching them. RE2 names
// what is wrong and the piece of the pattern it is in; the place is where the first prefix of
// the pattern that fails with that same piece ends.
#include "engine/AlertPatterns.h"

#include <re2/re2.h>
#include <re2/set.h>

#include <algorithm>

#include "engine/Format.h"
#include "engine/SafeText.h"

namespace tolvi {
namespace {

// What one compiled pattern may hold, its matching states included: a console cannot make a
// connector's patterns grow past this, whatever it prints. Past it RE2 falls back to a slower
// matcher that needs no more, still linear in the line.
constexpr int64_t kPatternMemory = 2 << 20;
// How many prefixes are compiled at most to find where a pattern goes wrong.
constexpr int kMostTries = 256;

RE2::Options Options() {
    RE2::Options options;
    options.set_log_errors(false);  // a refusal is told where the pattern was typed
    options.set_max_mem(kPatternMemory);
    return options;
}

bool StartsWith(const std::string& text, size_t at, const char* start) {
    return text.compare(at, std::char_traits<char>::length(start), start) == 0;
}

// Why RE2 refused a pattern, in the words of those who typed it; at is where the refused piece
// starts in it.
std::string Reason(const RE2& refused, const std::string& source, size_t at) {
    const std::string& piece = refused.error_arg();
    switch (refused.error_code()) {
        case RE2::ErrorBadEscape:
            if (piece.size() == 2 && ((piece[1] >= '1' && piece[1] <= '9') || piece[1] == 'k'))
                return "a back reference, which alerts do not take";
            return "an escape that means nothing here";
        case RE2::ErrorBadCharClass:
            return "an unknown character class";
        case RE2::ErrorBadCharRange:
            if (StartsWith(piece, 0, "[:") || StartsWith(piece, 0, "\\p") ||
                StartsWith(piece, 0, "\\P"))
                return "an unknown character class";
            return "a range in [ ] that ends before it starts";
        case RE2::ErrorMissingBracket:
            return "a [ without its ]";
        case RE2::ErrorMissingParen:
            return "a ( without its )";
        case RE2::ErrorUnexpectedParen:
            return "a ) without its (";
        case RE2::ErrorTrailingBackslash:
            return "a \\ at the end";
        case RE2::ErrorRepeatArgument:
            return "a *, +, ? or { } with nothing to repeat";
        case RE2::ErrorRepeatSize:
            return "a count in { } that is no count, or over 1000";
        case RE2::ErrorRepeatOp:
            return "a *, + or ? repeated, which alerts do not take";
        case RE2::ErrorBadPerlOp:
            if (piece == "(?=" || piece == "(?!")
                return "a look-ahead, which alerts do not take";
            if (piece == "(?<" && at + 3 < source.size() &&
                (source[at + 3] == '=' || source[at + 3] == '!'))
                return "a look-behind, which alerts do not take";
            return "a (? form that alerts do not take";
        case RE2::ErrorBadUTF8:
            return "bytes that are not UTF-8";
        case RE2::ErrorBadNamedCapture:
            return "a group's name that cannot be used";
        case RE2::ErrorPatternTooLarge:
            return "too large a pattern";
        default:
            return "a form that alerts do not take";
    }
}

// The first byte of text that is not part of a well-formed UTF-8 character.
size_t FirstBadUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = Utf8CharacterLength(std::string_view(text).substr(i));
        if (length == 0)
            return i;
        i += length;
    }
    return i;
}

// Where the refused piece starts and ends in source: the first place at which a prefix fails
// with the same piece. A piece RE2 does not name ends the pattern, but a stray ) is where the
// first prefix fails for it, and bytes that are not UTF-8 where they start.
void RefusedPlace(const std::string& source, const RE2& refused, size_t* start, size_t* end) {
    const RE2::ErrorCode code = refused.error_code();
    const std::string& piece = refused.error_arg();
    *start = *end = source.size();
    if (code == RE2::ErrorBadUTF8) {
        *start = FirstBadUtf8(source);
        *end = std::min(source.size(), *start + 1);
        return;
    }
    if (code == RE2::ErrorUnexpectedParen) {
        for (size_t length = 1; length <= source.size() && length <= kMostTries; ++length) {
            RE2 prefix(source.substr(0, length), Options());
            if (!prefix.ok() && prefix.error_code() == code) {
                *start = length - 1;
                *end = length;
                return;
            }
        }
        return;
    }
    if (piece.empty())
        return;
    int tries = 0;
    for (size_t at = source.find(piece); at != std::string::npos && tries < kMostTries;
         at = source.find(piece, at + 1), ++tries) {
        RE2 prefix(source.substr(0, at + piece.size()), Options());
        if (!prefix.ok() && prefix.error_code() == code && prefix.error_arg() == piece) {
            *start = at;
            *end = at + piece.size();
            return;
        }
    }
    size_t at = source.find(piece);
    if (at != std::string::npos) {
        *start = at;
        *end = at + piece.size();
    }
}

// The characters of text up to byte end, as a person counts them: a byte that is not part of
// a UTF-8 character counts as one.
int CharactersUpTo(const std::string& text, size_t end) {
    int count = 0;
    for (size_t i = 0; i < end && i < text.size(); ++count)
        i += std::max<size_t>(1, Utf8CharacterLength(std::string_view(text).substr(i)));
    return count;
}

}  // namespace

std::vector<std::string> AlertPatternLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

std::string CompileAlertPatterns(const std::string& text, std::vector<AlertPattern>* patterns) {
    std::vector<AlertPattern> compiled;
    int number = 0;
    for (const std::string& line : AlertPatternLines(text)) {
        ++number;
        // (?i) first is RE2's own flag for the whole pattern: the line is compiled as written.
        auto regex = std::make_shared<const RE2>(line, Options());
        if (regex->ok()) {
            compiled.push_back(AlertPattern{line, std::move(regex)});
            continue;
        }
        size_t start = 0, end = 0;
        RefusedPlace(line, *regex, &start, &end);
        return Format("Alert pattern %d '%s' cannot be used: at %d, %s", number, line.c_str(),
                      std::max(1, CharactersUpTo(line, end)), Reason(*regex, line, start).c_str());
    }
    if (patterns)
        *patterns = std::move(compiled);
    return "";
}

bool MatchesAlert(const AlertPattern& pattern, std::string_view line) {
    return pattern.regex &&
           RE2::PartialMatch(re2::StringPiece(line.data(), line.size()), *pattern.regex);
}

struct AlertMatcher::Together {
    Together() : set(Options(), RE2::UNANCHORED) {}
    RE2::Set set;
};

AlertMatcher::AlertMatcher(std::vector<AlertPattern> watched) : patterns(std::move(watched)) {
    auto all = std::make_shared<Together>();
    for (const AlertPattern& p : patterns) {
        if (all->set.Add(p.text, nullptr) < 0)
            return;  // each is matched on its own
    }
    if (!patterns.empty() && all->set.Compile())
        together = std::move(all);
}

void AlertMatcher::Match(std::string_view line, std::vector<int>* matched) const {
    matched->clear();
    if (together) {
        RE2::Set::ErrorInfo error{};
        if (together->set.Match(re2::StringPiece(line.data(), line.size()), matched, &error)) {
            std::sort(matched->begin(), matched->end());
            return;
        }
        if (error.kind == RE2::Set::kNoError)
            return;  // no pattern matches
        matched->clear();
    }
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (MatchesAlert(patterns[i], line))
            matched->push_back(static_cast<int>(i));
    }
}

}  // namespace tolvi
