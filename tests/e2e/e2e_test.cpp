// End-to-end cases: every *.cases file under tests/e2e/cases is a table of
// runs of the built binary, compared byte for byte.
//
//   === name                 starts a case
//   args: -tag a -out '$href$\n'   words as a shell splits them ('raw', "with \" escapes")
//   stdin: <a href=x>\n       C escapes: \n \t \r \f \v \a \b \\ \" \xHH \ooo;
//   stdin-file: warc/x.gz     the bytes of a file under tests/e2e/files instead
//   stdin-gunzip: warc/x.gz   the same, decompressed by gzip -dc
//   stdout: x\n               a key given twice appends (long texts span lines)
//   stderr: ...               absent: must be empty
//   status: 0                 absent: 0
// Runs happen in tests/e2e/files, where response files live.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

struct Case {
    std::string file, name;
    int line = 0, status = 0;
    std::vector<std::string> args;
    std::string in, out, err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string unescape(const std::string& s) {
    static const std::string kFrom = "ntrfvab", kTo = "\n\t\r\f\v\a\b";
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto digit = [&](std::size_t at, bool hex) {
            return at < s.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s[at])) : s[at] >= '0' && s[at] <= '7');
        };
        const bool hex = s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'x' && digit(i + 2, true);
        if (hex || (s[i] == '\\' && digit(i + 1, false))) {  // up to 2 hex or 3 octal digits
            const std::size_t from = i + (hex ? 2 : 1);
            std::size_t n = 0;
            while (n < (hex ? 2u : 3u) && digit(from + n, hex)) ++n;
            r.push_back(static_cast<char>(std::stoi(s.substr(from, n), nullptr, hex ? 16 : 8)));
            i = from + n - 1;
        } else if (s[i] == '\\' && i + 1 < s.size()) {
            const std::size_t k = kFrom.find(s[++i]);
            r.push_back(k == std::string::npos ? s[i] : kTo[k]);
        } else {
            r.push_back(s[i]);
        }
    }
    return r;
}

// Words as a shell splits them: blanks between, quotes around, \" and \\ inside double quotes.
std::vector<std::string> splitWords(const std::string& s) {
    std::vector<std::string> words;
    char quote = 0;
    bool inWord = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (!quote && c == ' ') inWord = false;
        else if (!inWord && (inWord = true)) words.emplace_back();
        if (quote && c == quote) quote = 0;
        else if (!quote && (c == '\'' || c == '"')) quote = c;
        else if (quote == '"' && c == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) words.back() += s[++i];
        else if (quote || c != ' ') words.back() += c;
    }
    if (quote) throw std::runtime_error("unclosed quote in args: " + s);
    return words;
}

std::vector<Case> loadCases() {
    std::set<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(testDir() + "/e2e/cases"))
        if (entry.path().extension() == ".cases") files.insert(entry.path());
    std::vector<Case> cases;
    for (const auto& path : files) {
        std::ifstream in(path);
        int lineNo = 0;
        for (std::string line; std::getline(in, line);) {
            const std::string where = path.string() + ":" + std::to_string(++lineNo);
            if (line.empty() || line[0] == '#') continue;
            if (line.rfind("=== ", 0) == 0) {
                cases.emplace_back().file = path.stem().string();
                cases.back().name = line.substr(4), cases.back().line = lineNo;
                continue;
            }
            const std::size_t colon = line.find(':');
            if (cases.empty() || colon == std::string::npos) throw std::runtime_error(where + ": not a case line");
            Case& c = cases.back();
            const std::string key = line.substr(0, colon);
            const std::string value = line.substr(colon + 1 + (line.size() > colon + 1 && line[colon + 1] == ' '));
            if (key == "args") c.args = splitWords(value);
            else if (key == "stdin") c.in += unescape(value);
            else if (key == "stdin-file") c.in += readFile(testDir() + "/e2e/files/" + value);
            else if (key == "stdin-gunzip") c.in += runBinary("/bin/gzip", {"-dc", testDir() + "/e2e/files/" + value}, "").out;
            else if (key == "stdout") c.out += unescape(value);
            else if (key == "stderr") c.err += unescape(value);
            else if (key == "status") c.status = std::stoi(value);
            else throw std::runtime_error(where + ": unknown key " + key);
        }
    }
    return cases;
}

void runCase(const Case& c) {
    std::vector<std::string> words;  // TAGSIFT_RUN_UNDER: a command (valgrind -q ...) that each run goes through
    if (const char* under = std::getenv("TAGSIFT_RUN_UNDER")) words = splitWords(under);
    words.push_back(binaryPath());
    words.insert(words.end(), c.args.begin(), c.args.end());
    RunOptions options;
    options.cwd = testDir() + "/e2e/files";
    // Under valgrind a run is tens of times slower: starting 1,024 workers takes some 45 s, near
    // the minute a run is otherwise given before it counts as hanging.
    if (words.size() > 1) options.timeoutSeconds = 600;
    RunResult r = runBinary(words.front(), {words.begin() + 1, words.end()}, c.in, options);
    SCOPED_TRACE(c.file + ".cases:" + std::to_string(c.line) + " " + c.name);
    EXPECT_EQ(r.out, c.out) << "standard output";
    EXPECT_EQ(r.err, c.err) << "standard error";
    EXPECT_EQ(r.status, c.status) << "exit status";
}

class CaseTest : public ::testing::Test {
public:
    explicit CaseTest(Case c) : c_(std::move(c)) {}
    void TestBody() override { runCase(c_); }

private:
    Case c_;
};

// One test per case, registered before main() runs the suite, named after its title.
[[maybe_unused]] const bool registered = [] {
    std::map<std::string, int> seen;
    for (Case& c : loadCases()) {
        std::string name;
        for (char ch : c.name) name.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_');
        const std::string suite = "E2E_" + c.file;
        if (int k = ++seen[suite + "." + name]; k > 1) name += "_" + std::to_string(k);
        ::testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, c.file.c_str(), c.line,
                                [c]() -> ::testing::Test* { return new CaseTest(c); });
    }
    return true;
}();

}  // namespace
}  // namespace tagsift::testing
