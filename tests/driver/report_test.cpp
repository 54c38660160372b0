// What --stats counts, end to end: each row of its report for runs of each
// kind, with the time (which no test can know) left out. --stats never
// changes a byte of standard output.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

struct StatsCase {
    std::string name;
    std::vector<std::string> args;
    std::string input;
    std::string report;  // the rows of the report, from "files" to "bytes read"
    std::string messages = {};  // what comes before it on standard error
};

TEST(Stats, EachRowCountsWhatTheRunRead) {
    const std::vector<StatsCase> cases = {
        {"crawl files, plain and compressed, with a problem, a document cut short and --doc-if",
         {"--warc", "--doc-if", "!url=gone", "-tag", "a", "-out", "$href$\\n", "--", "warc/warcio-site.warc.gz",
          "warc/kinds.warc.gz", "warc/cut.warc"},
         "",
         // Counted by hand: 10, 10 and 2 records; 5 pages less one skipped, 4 and 2 documents;
         // 3800 (5615 inflated), 2062 (2514 inflated) and 529 bytes.
         "  files                     3\n"
         "  records                   22\n"
         "  documents filtered        10\n"
         "  skipped by --doc-if       1\n"
         "  records passed over       11 (metadata 2, request 3, resource (not HTML) 1, response (not HTML) 2, "
         "revisit 2, warcinfo 1)\n"
         "  cut short by the crawler  1\n"
         "  problems                  1\n"
         "  bytes read                6391 (8658 after decompression)\n",
         "Tagsifter 1.2\n! Error : warc/cut.warc : the record at byte 265 : a record cut short\n"
         "Tagsifter 1.2\n! Note : 1 documents were cut short by the crawler\n"},
        {"plain files: two cannot be read (no file read, a problem), one ends inside a tag, one is left out",
         {"--doc-if", "!file=body", "-tag", "a", "-out", "$href$\\n", "--", "pages/one.html", "missing.html", "pages",
          "pages/cut.html", "pages/body.html"},
         "",
         "  files                     2\n"
         "  records                   0\n"
         "  documents filtered        2\n"
         "  skipped by --doc-if       1\n"
         "  records passed over       0\n"
         "  cut short by the crawler  0\n"
         "  problems                  3\n"
         "  bytes read                52 (52 after decompression)\n",
         "Tagsifter 1.2\n! Error : cannot read \"missing.html\" : No such file or directory\n"
         "Tagsifter 1.2\n! Error : cannot read \"pages\" : Is a directory\n"
         "Tagsifter 1.2\n! Error : pages/cut.html : EOF inside a tag - corrupted HTML code!\n"},
        {"a single page on standard input",
         {"-tag", "a", "-out", "$href$\\n"},
         "<a href=x>\r\n<a href=y>",
         "  files                     1\n"
         "  records                   0\n"
         "  documents filtered        1\n"
         "  skipped by --doc-if       0\n"
         "  records passed over       0\n"
         "  cut short by the crawler  0\n"
         "  problems                  0\n"
         "  bytes read                22 (22 after decompression)\n"},
    };
    RunOptions inFiles;
    inFiles.cwd = testDir() + "/e2e/files";
    const std::regex time("  time                      [0-9]+\\.[0-9]{3} s \\([0-9]+\\.[0-9] MB/s\\)\n$");
    for (const StatsCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        const RunResult plain = runBinary(binaryPath(), args, c.input, inFiles);
        args.insert(args.begin(), "--stats");
        const RunResult r = runBinary(binaryPath(), args, c.input, inFiles);
        EXPECT_EQ(r.out, plain.out);
        EXPECT_EQ(r.status, plain.status);
        EXPECT_TRUE(std::regex_search(r.err, time)) << r.err;
        EXPECT_EQ(std::regex_replace(r.err, time, ""), c.messages + "Tagsifter 1.2\n! Stats :\n" + c.report);
    }
}

}  // namespace
}  // namespace tagsift::testing
