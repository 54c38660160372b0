// The whole program, in process, on a command line, a response file and an
// input that all come from one fuzz input:
//
//   byte 0             block size of the reader: below 64 it is byte + 1, so
//                      CR/LF pairs and tags are split across reads; else 256 KiB
//   then, up to a NUL  command-line words, one per line
//   then, up to a NUL  the text of the response file that the word "@rsp" names
//   the rest           standard input
//
// Every fatal path is an exception here, so one process runs millions of
// start-ups and scans. Besides the sanitizers and libFuzzer's leak check, a
// run on small blocks must print exactly what a run on one block prints.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "driver/program.h"
#include "io/output.h"
#include "io/input.h"

namespace {

std::string responsePath;

// Widths and precisions print that many blanks or zeros per item and tag; past
// four digits a few hundred tags would make gigabytes and nothing new to learn.
bool hasHugeWidth(std::string_view data) {
    bool inConversion = false;
    int run = 0;
    for (char c : data) {
        if (c == '%') {
            inConversion = true;
            run = 0;
        } else if (c == '$') {
            inConversion = false;
        } else if (inConversion && c >= '0' && c <= '9') {
            if (++run > 4) return true;
            continue;
        }
        run = 0;
    }
    return false;
}

void writeResponseFile(std::string_view text) {
    FILE* f = std::fopen(responsePath.c_str(), "wb");
    if (!f) std::abort();
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size()) std::abort();
    std::fclose(f);
}

// What one run printed, then how it ended.
std::string runOnce(const std::vector<std::string>& words, std::string_view stdinText,
                    std::size_t blockSize) {
    tagsift::Input input = tagsift::Input::fromText(std::string(stdinText), blockSize);
    tagsift::Output out(-1);
    std::string end = "\n-- status 0";
    try {
        tagsift::Program program(input, out);
        program.run(words);
    } catch (const tagsift::Fatal& f) {
        end = "\n-- fatal " + std::to_string(f.status) + " " + f.text;
    } catch (const tagsift::QuietExit& q) {
        end = "\n-- quiet " + std::to_string(q.status);
    }
    out.flush();
    return out.collected() + end;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char path[] = "/tmp/tagsift-fuzz-rsp-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) std::abort();
    close(fd);
    responsePath = path;
    std::atexit([] { unlink(responsePath.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    if (hasHugeWidth(data)) return -1;

    std::size_t blockSize = static_cast<unsigned char>(data[0]) < 64
                                ? static_cast<unsigned char>(data[0]) + 1u
                                : std::size_t{1} << 18;
    data.remove_prefix(1);
    std::size_t argsEnd = data.find('\0');
    std::string_view args = data.substr(0, argsEnd);
    data = argsEnd == std::string_view::npos ? std::string_view() : data.substr(argsEnd + 1);
    std::size_t responseEnd = data.find('\0');
    std::string_view response = data.substr(0, responseEnd);
    std::string_view stdinText =
        responseEnd == std::string_view::npos ? std::string_view() : data.substr(responseEnd + 1);

    std::vector<std::string> words{"tagsift"};
    bool usesResponseFile = false;
    while (!args.empty()) {
        std::size_t end = args.find('\n');
        std::string word(args.substr(0, end));
        if (word == "@rsp") {
            word = responsePath;
            usesResponseFile = true;
        }
        words.push_back(std::move(word));
        args = end == std::string_view::npos ? std::string_view() : args.substr(end + 1);
    }
    if (usesResponseFile) writeResponseFile(response);

    // Where the reads split the input must never show in the result.
    std::string whole = runOnce(words, stdinText, std::size_t{1} << 18);
    if (blockSize != std::size_t{1} << 18) {
        std::string split = runOnce(words, stdinText, blockSize);
        if (split != whole) {
            std::fprintf(stderr, "blocks of %zu bytes give [%s], one block gives [%s]\n", blockSize,
                         split.c_str(), whole.c_str());
            std::abort();
        }
    }
    return 0;
}
