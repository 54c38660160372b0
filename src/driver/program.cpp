#include "driver/program.h"

#include <chrono>
#include <new>
#include <optional>
#include <unistd.h>

#include "base/fatal.h"
#include "driver/command_line.h"
#include "driver/diagnostics.h"
#include "driver/documents.h"
#include "driver/filter.h"
#include "driver/many.h"
#include "driver/progress.h"
#include "io/input.h"
#include "io/output.h"
#include "scanner/pass_over.h"

namespace tagsift {

namespace {

// Standard output on a terminal that also shows the --progress line: each write clears it first.
class ClearingSink final : public OutputSink {
public:
    ClearingSink(int fd, StatusLine& line) : fd_(fd), line_(line) {}
    void take(std::string_view bytes) override {
        const std::unique_lock<std::mutex> clear = line_.clear();
        writeOutput(fd_, bytes);
    }

private:
    int fd_;
    StatusLine& line_;
};

// A single page on standard input: the one document of the run, with the messages it always had
// (what belongs on standard error is left in message, for after the progress line).
int filterStandardInput(const CommandLine& line, int inFd, Output& out, std::string& message,
                        Diagnostics& diagnostics) {
    Tally& tally = diagnostics.tally();
    if (!DocumentChoice(line.settings).takes("-", {})) {
        ++tally.skipped;
        return 0;
    }
    Input input(std::make_unique<CountedSource>(std::make_unique<FdSource>(inFd, "standard input", false),
                                                tally.bytesRead, &tally.bytesInflated));
    DocumentFilter filter(line, out);
    ++tally.documents;
    const std::optional<DocumentError> error = filter.filter(input, "-");
    ++tally.files;
    if (!error) {
        out.flush();
        return 0;
    }
    diagnostics.failed();
    if (error->kind == DocumentError::Kind::EofInTag) {
        out.write(message::kEofInTag);
        out.flush();
    } else {
        out.flush();
        message = std::string(kBanner) + message::cannotRead(error->what, error->why);
    }
    return 1;
}

}  // namespace

int runMain(std::span<const std::string> words, int inFd, int outFd, int errFd) {
    const auto start = std::chrono::steady_clock::now();
    std::optional<Output> out;
    std::optional<ClearingSink> clearing;
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
            writeAll(errFd, failed.text);
            return 1;
        }
        if (f.stream == Fatal::Stream::Err) writeAll(errFd, f.text);
        return 1;
    };
    try {
        if (const char* feature = PassOver::missingFeature()) throw fatal::missingFeature(feature);
        const CommandLine line = readCommandLine(words);
        if (!line.answer.empty()) {
            writeOutput(outFd, line.answer);
            return 0;
        }
        const Settings& settings = line.settings;
        Diagnostics diagnostics;
        std::optional<Progress> progress;
        if (settings.progress) {
            progress.emplace(errFd, diagnostics.tally(), knownSizes(settings, inFd));
        }
        StatusLine* statusLine = progress && progress->drawn() ? &*progress : nullptr;
        int status = 0;
        std::string end;
        if (settings.named || settings.warc) {
            status = filterMany(line, inFd, outFd, errFd, diagnostics, statusLine);
        } else {
            if (statusLine && isatty(outFd)) out.emplace(clearing.emplace(outFd, *statusLine));
            else out.emplace(outFd);
            status = filterStandardInput(line, inFd, *out, end, diagnostics);
        }
        if (progress) progress->stop();
        end += diagnostics.notes();
        if (settings.stats) end += diagnostics.stats(std::chrono::steady_clock::now() - start);
        writeAll(errFd, end);
        return status;
    } catch (const Fatal& f) {
        return report(f);
    } catch (const QuietExit&) {
        return 1;
    } catch (const std::bad_alloc&) {
        return report(fatal::onStderr("Lack of memory."));
    }
}

}  // namespace tagsift
