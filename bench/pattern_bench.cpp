// How long one match of a hostile pattern takes as its subject grows: ten
// ".*" items between literals, against values of a single repeated letter
// where a backtracking matcher would try every way of splitting the value.
//
// Prints a markdown table and, last, one line for bench/measure.py:
//   pattern-bench: 1000 chars: X us per match; 1000/500 ratio R
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "regex/pattern.h"

namespace {

// Microseconds per match: the median of five timings, each of enough matches to last 20 ms.
double microsecondsPerMatch(const tagsift::Pattern& pattern, const std::string& subject, bool& matched) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> timings;
    long repeats = 1;
    for (;;) {
        const auto start = Clock::now();
        for (long k = 0; k < repeats; ++k) matched = tagsift::matchPattern(subject, pattern);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (seconds >= 0.02) break;
        repeats *= 2;
    }
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (long k = 0; k < repeats; ++k) matched = tagsift::matchPattern(subject, pattern);
        timings.push_back(std::chrono::duration<double>(Clock::now() - start).count() * 1e6 / repeats);
    }
    std::sort(timings.begin(), timings.end());
    return timings[2];
}

}  // namespace

int main() {
    std::string text = "a";
    for (int k = 0; k < 10; ++k) text += ".*a";
    const std::string failing = text + "b";  // one more literal that no value of only 'a's has
    const auto pattern = tagsift::compilePattern(failing);
    if (!pattern) {
        std::fprintf(stderr, "the bench pattern does not compile\n");
        return 1;
    }
    std::printf("| pattern | value | matches | µs per match |\n|---|---|---|---:|\n");
    double at500 = 0, at1000 = 0;
    for (int length : {250, 500, 1000, 2000}) {
        const std::string value(static_cast<std::size_t>(length), 'a');
        bool matched = false;
        const double us = microsecondsPerMatch(*pattern, value, matched);
        std::printf("| `%s` | %d × `a` | %s | %.1f |\n", failing.c_str(), length, matched ? "yes" : "no", us);
        if (length == 500) at500 = us;
        if (length == 1000) at1000 = us;
    }
    {
        // The same pattern, which can only succeed at the value's last character.
        const std::string value = std::string(999, 'a') + "b";
        bool matched = false;
        const double us = microsecondsPerMatch(*pattern, value, matched);
        std::printf("| `%s` | 999 × `a`, then `b` | %s | %.1f |\n", failing.c_str(), matched ? "yes" : "no", us);
    }
    std::printf("\npattern-bench: 1000 chars: %.1f us per match; 1000/500 ratio %.2f\n", at1000,
                at500 > 0 ? at1000 / at500 : 0.0);
    return 0;
}
