#include "driver/program.h"

#include <new>
#include <optional>

#include "base/fatal.h"
#include "driver/command_line.h"
#include "driver/filter.h"
#include "driver/many.h"
#include "io/input.h"
#include "io/output.h"
#include "scanner/pass_over.h"

namespace tagsift {

namespace {

// A single page on standard input: the one document of the run, with the messages it always had.
int filterStandardInput(const CommandLine& line, int inFd, Output& out, int errFd) {
    Input input(inFd);
    DocumentFilter filter(line.rules, out);
    const std::optional<DocumentError> error = filter.filter(input, "-");
    if (!error) {
        out.flush();
        return 0;
    }
    if (error->kind == DocumentError::Kind::EofInTag) {
        out.write(message::kEofInTag);
        out.flush();
    } else {
        out.flush();
        writeAll(errFd, std::string(kBanner) + message::cannotRead(error->what, error->why));
    }
    return 1;
}

}  // namespace

int runMain(std::span<const std::string> words, int inFd, int outFd, int errFd) {
    std::optional<Output> out;
    // A message that ends the run comes after what standard output holds; a closed pipe ends it quietly.
    auto report = [&](const Fatal& f) {
        try {
            if (out) {
                if (f.stream == Fatal::Stream::Out) out->write(f.text);
                out->flush();
            } else if (f.stream == Fatal::Stream::Out) {
                writeOutput(outFd, f.text);
            }
        } catch (const QuietExit&) {
            return 1;
        } catch (const Fatal& failed) {
            writeAll(errFd, std::string(kBanner) + failed.text);
            return 1;
        }
        if (f.stream == Fatal::Stream::Err) writeAll(errFd, f.banner ? std::string(kBanner) + f.text : f.text);
        return 1;
    };
    try {
        if (const char* feature = PassOver::missingFeature()) throw fatal::missingFeature(feature);
        const CommandLine line = readCommandLine(words);
        if (!line.answer.empty()) {
            writeOutput(outFd, line.answer);
            return 0;
        }
        if (line.settings.named || line.settings.warc) return filterMany(line, inFd, outFd, errFd);
        out.emplace(outFd);
        return filterStandardInput(line, inFd, *out, errFd);
    } catch (const Fatal& f) {
        return report(f);
    } catch (const QuietExit&) {
        return 1;
    } catch (const std::bad_alloc&) {
        return report(fatal::onStderr("Lack of memory."));
    }
}

}  // namespace tagsift
