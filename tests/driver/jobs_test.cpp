// Many documents on many threads print what one thread prints: random sets of
// pages and crawl files, bad ones among them, filtered with random job counts
// and compared byte for byte (stdout, stderr, status) with --jobs 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

using Words = std::vector<std::string>;

// Rules that print from every kind of place: attributes, counts, bodies that copy and convert
// text, and the document's own fields.
const std::vector<Words> kRules = {
    {"-tag", "a", "-out", "$_file$ $_num$/$_gnum$ $href$\\n"},
    {"-tag", "td", "-out", "[%t$_body$]", "-tag", "/tr", "-out", "\\n"},
    {"-tag", "p", "-out", "{%tJ$_body$}\\n", "-tag", "a", "-if", "href=x", "-out", "$_line$:$_pos$\\n"},
    {"-tag", "a", "-out", "$_url$ $_status$ $_offset$ %U$href$\\n", "-tag", "title", "-out", "$_body$\\n"},
};

// A page of random markup: links, cells, paragraphs, comments and quotes, some of it cut off
// inside a tag; some pages are larger than a read block.
std::string randomPage(std::mt19937& rng) {
    static const char* const kPieces[] = {
        "<a href=x>", "<a href='y z'>", "<A HREF=\"x&amp;y\">", "text ", "\n", "\r\n", "<td>cell</td>",
        "<tr>", "</tr>", "<p>para &eacute; \xC3\xA9</p>", "<!-- <a href=c> -->", "<title>T</title>", "<br/>",
        "<p>open", "</p>", "&#x4e2d;", "<td><b>in</b>side</td>",
    };
    std::string page;
    const int pieces = std::uniform_int_distribution<int>(0, 60)(rng);
    for (int i = 0; i < pieces; ++i) page += kPieces[rng() % std::size(kPieces)];
    if (rng() % 8 == 0) page += std::string(300000, 'x') + "<a href=after-a-long-text>";
    if (rng() % 6 == 0) page += "<a href=\"cut";  // ends inside a tag
    return page;
}

// A crawl of hundreds of kB of gzip members, which helpers inflate ahead in chunks of 128 KiB:
// some members broken, junk between others, one that starts no record.
std::string largeCrawl(const ScratchDir& dir, std::mt19937& rng) {
    std::string crawl;
    for (int i = 0; i < 80; ++i) {
        std::string noise;
        for (int k = 0; k < 6000; ++k) noise += static_cast<char>('a' + rng() % 26);
        const std::string block = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + randomPage(rng) + noise;
        const std::string record = "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://g/" + std::to_string(i) +
                                   "\r\nContent-Length: " + std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
        std::string member = runBinary("/bin/gzip", {"-c", "-1"}, i % 17 == 5 ? "no record" : record).out;
        if (i % 13 == 7) member[member.size() / 2] ^= 0x55;
        crawl += (i % 11 == 3 ? "junk" : "") + member;
    }
    return dir.write("large.warc.gz", crawl);
}

TEST(Jobs, ManyThreadsPrintWhatOneThreadPrints) {
    const std::string files = testDir() + "/e2e/files";
    ScratchDir scratch;
    std::mt19937 rng(20261207);
    std::vector<std::string> pages;
    for (int i = 0; i < 24; ++i) pages.push_back(scratch.write("page" + std::to_string(i) + ".html", randomPage(rng)));
    for (const char* name : {"pages/one.html", "pages/cut.html", "pages/body.html", "missing.html"})
        pages.push_back(files + "/" + name);
    std::vector<std::string> crawls{files + "/missing.warc", files + "/pages/one.html", largeCrawl(scratch, rng)};
    for (const auto& entry : std::filesystem::directory_iterator(files + "/warc")) {
        const std::string path = entry.path().string();
        if (path.ends_with(".warc") || path.ends_with(".warc.gz")) crawls.push_back(path);
    }
    for (int round = 0; round < 40; ++round) {
        const bool warc = round % 3 == 2;
        const std::vector<std::string>& pool = warc ? crawls : pages;
        Words args = kRules[rng() % kRules.size()];
        if (warc) args.push_back("--warc");
        const std::size_t jobsAt = args.size();
        args.insert(args.end(), {"--jobs", "1", "--"});
        const int count = std::uniform_int_distribution<int>(1, 12)(rng);
        for (int i = 0; i < count; ++i) args.push_back(pool[rng() % pool.size()]);
        const RunResult one = runBinary(binaryPath(), args, "");
        args[jobsAt + 1] = std::to_string(std::uniform_int_distribution<int>(2, 8)(rng));
        const RunResult many = runBinary(binaryPath(), args, "");
        SCOPED_TRACE("round " + std::to_string(round) + ", --jobs " + args[jobsAt + 1]);
        EXPECT_EQ(many.out, one.out);
        EXPECT_EQ(many.err, one.err);
        EXPECT_EQ(many.status, one.status);
    }
}

// A plain crawl file's documents are read by their workers from the file; through a pipe, its
// bytes are carried to them. Both print the same, the file's name aside: every kind of record,
// problems and cuts among them, pages larger than a read block.
TEST(Jobs, APlainCrawlPrintsTheSameFromAFileAndThroughAPipe) {
    ScratchDir scratch;
    std::mt19937 rng(20261208);
    std::string large;
    for (int i = 0; i < 40; ++i) {
        const std::string block = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + randomPage(rng);
        large += "WARC/1.0\r\nWARC-Type: " + std::string(i % 9 == 4 ? "resource" : "response") +
                 "\r\nContent-Type: text/html\r\nWARC-Target-URI: http://p/" + std::to_string(i) +
                 "\r\nContent-Length: " + std::to_string(block.size() + (i % 10 == 9 ? 50 : 0)) + "\r\n\r\n" +
                 block + "\r\n\r\n";
    }
    std::vector<std::string> crawls{scratch.write("large.warc", large)};
    for (const auto& entry : std::filesystem::directory_iterator(testDir() + "/e2e/files/warc"))
        if (entry.path().extension() == ".warc") crawls.push_back(entry.path().string());
    const auto named = [](std::string text, const std::string& name) {
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) text.replace(at, name.size(), "-");
        return text;
    };
    for (const std::string& crawl : crawls)
        for (const char* jobs : {"1", "3"}) {
            SCOPED_TRACE(crawl + ", --jobs " + jobs);
            Words args = kRules[3];
            args.insert(args.end(), {"--warc", "--stats", "--jobs", jobs, "--", crawl});
            const RunResult file = runBinary(binaryPath(), args, "");
            args.back() = "-";
            const RunResult pipe = runBinary(binaryPath(), args, runBinary("/bin/cat", {crawl}, "").out);
            const std::regex time("  time .*\n");
            EXPECT_EQ(named(file.out, crawl), pipe.out);
            EXPECT_EQ(std::regex_replace(named(file.err, crawl), time, ""), std::regex_replace(pipe.err, time, ""));
            EXPECT_EQ(file.status, pipe.status);
        }
}

// Standard input among the files is read once, in its turn, however many workers wait.
TEST(Jobs, StandardInputIsReadInItsTurn) {
    const std::string one = testDir() + "/e2e/files/pages/one.html";
    const Words args = {"-tag", "a", "-out", "$_file$ $href$\\n", "--jobs", "4", "--", one, "-", one, "-", one};
    const RunResult r = runBinary(binaryPath(), args, "<a href=in><a href=\"cut");
    EXPECT_EQ(r.out, one + " 1\n" + one + " 2\n- in\n" + one + " 1\n" + one + " 2\n" + one + " 1\n" + one + " 2\n");
    EXPECT_EQ(r.err, "Tagsifter 1.2\n! Error : - : EOF inside a tag - corrupted HTML code!\n");
    EXPECT_EQ(r.status, 1);
}

// With standard input closed, the file list opens as descriptor 0, which is no failure to open it;
// "-" is still the closed standard input, not the list.
TEST(Jobs, AFileListMayTakeTheDescriptorOfAClosedStandardInput) {
    RunOptions inFiles;
    inFiles.cwd = testDir() + "/e2e/files";
    const RunResult r = runScript("exec \"$0\" \"$@\" <&-", {"-tag", "a", "-out", "$href$ ", "--files-from", "pages/list.txt", "--", "-"}, "", inFiles);
    EXPECT_EQ(r.out + r.err, "1 2 dollar Tagsifter 1.2\n! Error : cannot read standard input : Bad file descriptor\n");
    EXPECT_EQ(r.status, 1);
}

// A list that opens and then fails (/proc/self/mem fails its first read) ends the run as one job
// ends it: the documents named before it filtered whole, then the failure, whatever the jobs.
// The list on standard input, and a document named "-" in it: the list is read whole first,
// and "-" finds nothing left, not the names after it (the list is larger than one read).
TEST(Jobs, AFileListEndsTheRunAsOneJobWould) {
    const std::string one = testDir() + "/e2e/files/pages/one.html";
    std::string list = one + "\n-\n";
    for (int i = 0; i < 3000; ++i) list += one + "\n";
    const std::string failed = "Tagsifter 1.2\n! Error : cannot read the file list \"/proc/self/mem\" : Input/output error\n";
    for (const char* jobs : {"1", "2", "5"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        Words args = {"-tag", "a", "-out", "$href$", "--jobs", jobs, "--files-from", "/proc/self/mem", "--"};
        args.insert(args.end(), 8, one);
        const RunResult r = runBinary(binaryPath(), args, "");
        if (r.err.find("/proc/self/mem") == std::string::npos || r.err.find("No such") != std::string::npos)
            GTEST_SKIP() << "no /proc here";
        EXPECT_EQ(r.out, "1212121212121212");
        EXPECT_EQ(r.err, failed);
        EXPECT_EQ(r.status, 1);
        const RunResult in = runBinary(binaryPath(), {"--jobs", jobs, "-tag", "a", "-out", "$_file$", "--files-from", "-"}, list);
        EXPECT_EQ(in.out.size(), 3001 * 2 * one.size());
        EXPECT_EQ(in.err, "");
        EXPECT_EQ(in.status, 0);
    }
}

// A named pipe as the list: its names are read once, by the run (a look at it among the switches
// would take them away, or wait for a writer that is gone).
TEST(Jobs, AFileListMayBeANamedPipe) {
    RunOptions inFiles;
    inFiles.cwd = testDir() + "/e2e/files";
    const RunResult r = runScript(
        "d=$(mktemp -d) && mkfifo \"$d/list\" || exit 9; { printf 'pages/one.html\\n' > \"$d/list\" & }; "
        "timeout 20 \"$0\" \"$@\" --files-from \"$d/list\"; s=$?; rm -rf \"$d\"; exit $s",
        {"-tag", "a", "-out", "$_file$ $href$\n"}, "", inFiles);
    EXPECT_EQ(r.out + r.err, "pages/one.html 1\npages/one.html 2\n");
    EXPECT_EQ(r.status, 0);
}

// With few descriptors, workers that hold their documents open while they wait for their turn to
// print leave none for the others: fewer jobs run, and a file that finds none waits for one.
TEST(Jobs, FewDescriptorsCostTimeNotDocuments) {
    ScratchDir scratch;
    std::string page;
    for (int i = 0; i < 20000; ++i) page += "<a href=" + std::to_string(i) + ">";
    Words args = {"-tag", "a", "-out", "$_file$ $href$\n", "--jobs", "16", "--"};
    for (int i = 0; i < 16; ++i) args.push_back(scratch.write("p" + std::to_string(i), page));
    const RunResult few = runScript("ulimit -n 12; exec \"$0\" \"$@\"", args, "");
    args[5] = "1";
    const RunResult one = runBinary(binaryPath(), args, "");
    EXPECT_EQ(few.err, one.err);
    EXPECT_TRUE(few.out == one.out && few.status == 0) << few.out.size() << " " << one.out.size();
}

// A byte 26 ends a document where it stands: its worker reads no more of it, and the rest of its
// bytes (many blocks' worth, or no end at all) must not hold up the thread that reads the crawl
// file or standard input.
TEST(Jobs, ADocumentEndedEarlyLetsTheReaderGoOn) {
    auto record = [](const std::string& url, const std::string& page) {
        const std::string block = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + page;
        return "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: " + url +
               "\r\nContent-Length: " + std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
    };
    const std::string rest(1 << 20, 'x');
    ScratchDir dir;
    const std::string bytes = record("http://e/1", "<a href=one>\x1a<a href=lost>" + rest) + record("http://e/2", "<a href=two>");
    const std::string crawl = dir.write("ended.warc", bytes);
    const std::string one = testDir() + "/e2e/files/pages/one.html";
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const RunResult c = runBinary(binaryPath(), {"--warc", "--jobs", jobs, "-tag", "a", "-out", "$href$\\n", "--", crawl, crawl}, "");
        EXPECT_EQ(c.out, "one\ntwo\none\ntwo\n");
        EXPECT_EQ(c.status, 0);
        // Through a pipe the crawl's bytes are carried to the worker, which takes no more of them.
        const RunResult piped = runBinary(binaryPath(), {"--warc", "--jobs", jobs, "-tag", "a", "-out", "$href$\\n", "--", "-"}, bytes);
        EXPECT_EQ(piped.out, "one\ntwo\n");
        // Standard input that never ends: read no further than the worker wants.
        const RunResult in = runScript("exec \"$0\" \"$@\" < <(printf '<a href=in>\\032'; exec yes 2>/dev/null)",
                                       {"--jobs", jobs, "-tag", "a", "-out", "$href$\\n", "--", "-", one}, "", {"", "", false, 20});
        EXPECT_EQ(in.out, "in\n1\n2\n");
        EXPECT_EQ(in.status, 0);
    }
}

}  // namespace
}  // namespace tagsift::testing
