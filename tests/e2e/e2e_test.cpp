// End-to-end cases: every *.cases file under tests/e2e/cases is a table of
// runs of the built binary, compared byte for byte.
//
//   === name                 starts a case
//   args: -tag a -out '$href$\n'   words as a shell splits them ('raw', "with \" escapes")
//   stdin: <a href=x>\n       C escapes: \n \t \r \f \v \a \b \\ \" \xHH \ooo;
//   stdin-file: warc/x.gz     the bytes of a file under tests/e2e/files instead
//   stdout: x\n               a key given twice appends (long texts span lines)
//   stderr: ...               absent: must be empty
//   status: 0                 absent: 0
// Runs happen in tests/e2e/files, where response files live.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

struct Case {
    std::string file;
    int line = 0;
    std::string name;
    bool hasArgs = false;
    std::vector<std::string> args;
    std::string in, out, err;
    int status = 0;
};

std::string unescape(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            r.push_back(s[i]);
            continue;
        }
        char c = s[++i];
        switch (c) {
            case 'n': r.push_back('\n'); break;
            case 't': r.push_back('\t'); break;
            case 'r': r.push_back('\r'); break;
            case 'f': r.push_back('\f'); break;
            case 'v': r.push_back('\v'); break;
            case 'a': r.push_back('\a'); break;
            case 'b': r.push_back('\b'); break;
            case 'x': {
                int v = 0, n = 0;
                while (n < 2 && i + 1 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
                    v = v * 16 + std::stoi(std::string(1, s[++i]), nullptr, 16);
                    ++n;
                }
                r.push_back(static_cast<char>(v));
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    int v = c - '0', n = 1;
                    while (n < 3 && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7') {
                        v = v * 8 + (s[++i] - '0');
                        ++n;
                    }
                    r.push_back(static_cast<char>(v));
                } else {
                    r.push_back(c);
                }
        }
    }
    return r;
}

std::vector<std::string> splitWords(const std::string& s) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        if (i == s.size()) break;
        std::string w;
        while (i < s.size() && s[i] != ' ') {
            if (s[i] == '\'') {
                std::size_t end = s.find('\'', i + 1);
                if (end == std::string::npos) throw std::runtime_error("unclosed ' in args: " + s);
                w += s.substr(i + 1, end - i - 1);
                i = end + 1;
            } else if (s[i] == '"') {
                ++i;
                while (i < s.size() && s[i] != '"') {
                    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) ++i;
                    w.push_back(s[i++]);
                }
                if (i == s.size()) throw std::runtime_error("unclosed \" in args: " + s);
                ++i;
            } else {
                w.push_back(s[i++]);
            }
        }
        words.push_back(w);
    }
    return words;
}

std::vector<Case> loadCases() {
    std::vector<Case> cases;
    std::filesystem::path dir = std::filesystem::path(testDir()) / "e2e" / "cases";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".cases") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path);
        std::string line;
        int lineNo = 0;
        while (std::getline(in, line)) {
            ++lineNo;
            if (line.empty() || line[0] == '#') continue;
            if (line.rfind("=== ", 0) == 0) {
                Case c;
                c.file = path.filename().string();
                c.line = lineNo;
                c.name = line.substr(4);
                cases.push_back(c);
                continue;
            }
            if (cases.empty()) throw std::runtime_error(path.string() + ": text before the first case");
            Case& c = cases.back();
            std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                throw std::runtime_error(path.string() + ":" + std::to_string(lineNo) + ": no key");
            std::string key = line.substr(0, colon);
            std::string value = line.substr(colon + 1);
            if (!value.empty() && value[0] == ' ') value.erase(0, 1);
            if (key == "args") {
                c.hasArgs = true;
                for (auto& w : splitWords(value)) c.args.push_back(w);
            } else if (key == "stdin") {
                c.in += unescape(value);
            } else if (key == "stdin-file") {  // binary input, relative to tests/e2e/files
                std::ifstream in(std::filesystem::path(testDir()) / "e2e/files" / value, std::ios::binary);
                c.in.append(std::istreambuf_iterator<char>(in), {});
            } else if (key == "stdout") {
                c.out += unescape(value);
            } else if (key == "stderr") {
                c.err += unescape(value);
            } else if (key == "status") {
                c.status = std::stoi(value);
            } else {
                throw std::runtime_error(path.string() + ":" + std::to_string(lineNo) + ": unknown key " + key);
            }
        }
    }
    return cases;
}

std::string testName(const Case& c, std::map<std::string, int>& seen) {
    std::string n;
    for (char ch : c.name) n.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_');
    int k = ++seen[n];
    if (k > 1) {
        n.push_back('_');
        n.append(std::to_string(k));
    }
    return n;
}

class CaseTest : public ::testing::Test {
public:
    explicit CaseTest(Case c) : c_(std::move(c)) {}
    void TestBody() override {
        RunOptions options;
        options.cwd = testDir() + "/e2e/files";
        RunResult r = runBinary(binaryPath(), c_.args, c_.in, options);
        SCOPED_TRACE(c_.file + ":" + std::to_string(c_.line) + " " + c_.name);
        EXPECT_EQ(r.out, c_.out) << "standard output";
        EXPECT_EQ(r.err, c_.err) << "standard error";
        EXPECT_EQ(r.status, c_.status) << "exit status";
    }

private:
    Case c_;
};

// Registers one test per case before main() runs the suite.
[[maybe_unused]] const bool registered = [] {
    std::map<std::string, std::map<std::string, int>> seen;
    for (Case& c : loadCases()) {
        std::string suite = "E2E_" + c.file.substr(0, c.file.find('.'));
        std::string name = testName(c, seen[suite]);
        ::testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, c.file.c_str(), c.line,
                                [c]() -> ::testing::Test* { return new CaseTest(c); });
    }
    return true;
}();

}  // namespace
}  // namespace tagsift::testing
