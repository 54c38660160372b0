// Pattern compile and match. Input: the first line is the pattern text, every
// further line a subject (attribute values never hold a line feed). The
// matcher must agree with the slow reading wherever that finishes, ignoring
// case must not care about the subject's case, and a refused pattern says why.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "support/pattern_reference.h"

using namespace tagsift;

namespace {
void check(bool ok, const char* what, std::string_view subject) {
    if (ok) return;
    std::fprintf(stderr, "%s, subject [%.*s]\n", what, static_cast<int>(subject.size()), subject.data());
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const std::size_t eol = data.find('\n');
    const std::string_view text = data.substr(0, eol);
    std::string why;
    const std::optional<Pattern> plain = compilePattern(text, &why);
    check(plain || !why.empty(), "a refused pattern must say why", text);
    const std::optional<Pattern> caseless = compilePatternIgnoringCase(text);
    for (std::string_view rest = eol == std::string_view::npos ? "" : data.substr(eol + 1); !rest.empty();) {
        const std::string_view s = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), s.size() + 1));
        if (plain) {
            const int expected = testing::PatternReference(s, *plain).match();
            check(expected < 0 || matchPattern(s, *plain) == (expected == 1), "differs from the slow reading", s);
        }
        if (caseless) {
            std::string upper(s), lower(s);
            for (char& c : upper) c = asciiUpper(c);
            for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
            const bool m = matchPatternIgnoringCase(s, *caseless);
            const int expected = testing::PatternReference(upper, *caseless).match();
            check(expected < 0 || m == (expected == 1), "ignoring case differs from the slow reading", s);
            check(matchPatternIgnoringCase(lower, *caseless) == m, "letter case changed a caseless match", s);
        }
    }
    return 0;
}
