// The whole program, in process (so one process runs millions of start-ups):
// byte 0 the read-block size (below 64: byte + 1, else 256 KiB), then up to a
// NUL the command-line words one per line, then up to a NUL the response file
// that the word "@rsp" names, then standard input. Besides the sanitizers and
// the leak check, small blocks must print exactly what one block prints.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "support/in_process.h"

namespace {

std::string responsePath;

// Widths and precisions print that many blanks or zeros per item and tag; past
// four digits a few hundred tags would make gigabytes and nothing new to learn.
bool hasHugeWidth(std::string_view data) {
    int run = 0;
    bool inConversion = false;
    for (char c : data) {
        if (c == '%' || c == '$') inConversion = c == '%';
        run = inConversion && c >= '0' && c <= '9' ? run + 1 : 0;
        if (run > 4) return true;
    }
    return false;
}

// The text up to the first NUL; data is left after it (empty if there is none).
std::string_view take(std::string_view& data) {
    const std::size_t end = data.find('\0');
    const std::string_view part = data.substr(0, end);
    data = end == std::string_view::npos ? std::string_view() : data.substr(end + 1);
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char path[] = "/tmp/tagsift-fuzz-rsp-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) std::abort();
    close(fd);
    responsePath = path;
    std::atexit([] { unlink(responsePath.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    if (size == 0 || hasHugeWidth(data)) return -1;
    const auto first = static_cast<unsigned char>(data[0]);
    const std::size_t whole = std::size_t{1} << 18, blockSize = first < 64 ? first + 1u : whole;
    data.remove_prefix(1);
    std::string_view words = take(data);
    const std::string_view response = take(data);

    std::vector<std::string> args;
    while (!words.empty()) {
        const std::size_t end = words.find('\n');
        args.emplace_back(words.substr(0, end));
        if (args.back() == "@rsp") {
            args.back() = responsePath;
            std::ofstream(responsePath, std::ios::binary) << response;
        }
        words = end == std::string_view::npos ? std::string_view() : words.substr(end + 1);
    }
    // Where the reads split the input must never show in the result.
    const auto expected = tagsift::testing::runInProcess(args, data, whole);
    if (blockSize == whole || tagsift::testing::runInProcess(args, data, blockSize) == expected) return 0;
    std::fprintf(stderr, "blocks of %zu bytes differ from one block, which gives [%s][%s]\n", blockSize,
                 expected.out.c_str(), expected.err.c_str());
    std::abort();
}
