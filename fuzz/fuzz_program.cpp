// The whole program, in process (so one process runs millions of start-ups):
// byte 0 the read-block size (below 64: byte + 1, else 256 KiB), then up to a
// NUL the command-line words one per line, then up to a NUL the response file
// that the word "@rsp" names, then standard input. Besides the sanitizers and
// the leak check, small blocks must print exactly what one block prints, and
// the input cut into three documents must print with three jobs exactly what
// it prints with one.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "driver/program.h"
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

// A file in memory holding text, open for reading from its start.
int memoryFile(std::string_view text) {
    const int fd = memfd_create("tagsift-fuzz", 0);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string contents(int fd) {
    std::string text(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
    if (pread(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) std::abort();
    return text;
}

// The whole program over the input cut into three documents, with that many jobs.
tagsift::testing::Outcome runDocuments(const std::vector<std::string>& args, std::string_view input, int jobs) {
    std::vector<std::string> words{"tagsift", "--jobs", std::to_string(jobs)};
    words.insert(words.end(), args.begin(), args.end());
    words.push_back("--");
    std::vector<int> documents;
    for (int part = 0; part < 3; ++part) {
        const std::size_t from = input.size() * part / 3, to = input.size() * (part + 1) / 3;
        documents.push_back(memoryFile(input.substr(from, to - from)));
        words.push_back("/proc/self/fd/" + std::to_string(documents.back()));
    }
    const int in = memoryFile(""), out = memoryFile(""), err = memoryFile("");
    tagsift::testing::Outcome r;
    r.status = tagsift::runMain(words, in, out, err);
    r.out = contents(out);
    r.err = contents(err);
    for (int fd : documents) close(fd);
    for (int fd : {in, out, err}) close(fd);
    return r;
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
    if (blockSize != whole && tagsift::testing::runInProcess(args, data, blockSize) != expected) {
        std::fprintf(stderr, "blocks of %zu bytes differ from one block, which gives [%s][%s]\n", blockSize,
                     expected.out.c_str(), expected.err.c_str());
        std::abort();
    }
    // Nor how many threads filter the documents.
    const auto alone = runDocuments(args, data, 1);
    if (runDocuments(args, data, 3) == alone) return 0;
    std::fprintf(stderr, "three jobs differ from one, which gives [%s][%s] %d\n", alone.out.c_str(),
                 alone.err.c_str(), alone.status);
    std::abort();
}
