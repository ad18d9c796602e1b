// The patterns a console's lines are watched for: RE2 regular expressions, one a line,
// case-sensitive unless one starts with (?i). RE2 matches in time linear in the line whatever
// the pattern, so no pattern and no line can hold up the watch; in return it takes no back
// references and no look-arounds. A pattern it cannot take is refused with where it goes wrong
// and why, never kept as one that matches nothing.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace tolvi {

struct AlertPattern {
    std::string text;  // as written, (?i) and all
    std::shared_ptr<const re2::RE2> regex;
};

// The patterns of the option's text (one a line, blank lines left out); "" when they can all
// be used, otherwise "Alert pattern 2 'a(b' cannot be used: at 3, a ( without its )", the
// place counted in characters from 1.
std::string CompileAlertPatterns(const std::string& text, std::vector<AlertPattern>* patterns);

// Whether line has a match of pattern.
bool MatchesAlert(const AlertPattern& pattern, std::string_view line);

// The lines of the option's text that are patterns.
std::vector<std::string> AlertPatternLines(const std::string& text);

// A console's patterns matched together: one pass over a line finds every pattern it matches.
// Where that pass runs out of its memory (a line that drives it through too many states), each
// pattern is matched on its own, which is slower but still linear in the line.
class AlertMatcher {
  public:
    AlertMatcher() = default;
    explicit AlertMatcher(std::vector<AlertPattern> patterns);

    size_t Count() const { return patterns.size(); }
    const AlertPattern& Pattern(size_t i) const { return patterns[i]; }
    // The indices of the patterns that line matches, in the patterns' order.
    void Match(std::string_view line, std::vector<int>* matched) const;

  private:
    struct Together;
    std::vector<AlertPattern> patterns;
    std::shared_ptr<const Together> together;  // null when they could not be put together
};

}  // namespace tolvi
