// Runs the whole program in this process on an input text, for what a run of
// the binary cannot choose: the size of the read blocks and whether the
// scanner classifies 64 bytes at a time. The only test code that knows how
// the program is put together; the rest goes through this or the binary.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "driver/command_line.h"
#include "driver/filter.h"
#include "scanner/pass_over.h"

namespace tagsift::testing {

struct Outcome {
    std::string out, err;
    int status = 0;
    bool operator==(const Outcome&) const = default;
};

// args are the words after the program's name; messages end up where the binary puts them.
inline Outcome runInProcess(const std::vector<std::string>& args, std::string_view input,
                            std::size_t blockSize = std::size_t{1} << 18,
                            std::optional<PassOver::Width> width = std::nullopt) {
    std::vector<std::string> words{"tagsift"};
    words.insert(words.end(), args.begin(), args.end());
    const PassOver::Width best = PassOver::widths()[0];
    // For this run only. A width not taken would leave the comparisons of widths comparing nothing.
    if (!PassOver::forceWidthForTests(width.value_or(best)) || PassOver::width() != width.value_or(best)) {
        std::fputs("runInProcess: the width asked for was not taken\n", stderr);
        std::abort();
    }
    Input in = Input::fromText(std::string(input), blockSize);
    Output out(-1);
    Outcome r;
    try {
        const CommandLine line = readCommandLine(words);
        DocumentFilter filter(line, out);
        if (std::optional<DocumentError> error = filter.filter(in, "-")) {
            if (error->kind == DocumentError::Kind::EofInTag) out.write(message::kEofInTag);
            r.status = 1;
        }
    } catch (const Fatal& f) {
        if (f.stream == Fatal::Stream::Out) out.write(f.text);
        if (f.stream == Fatal::Stream::Err) r.err = f.text;
        r.status = 1;
    } catch (const QuietExit&) {
        r.status = 1;
    }
    out.flush();
    PassOver::forceWidthForTests(best);
    r.out = out.collected();
    return r;
}

}  // namespace tagsift::testing
