#include "switches/switches.h"

#include <fstream>

#include "base/fatal.h"
#include "base/text.h"

namespace tagsift {

namespace {

constexpr std::string_view kResponseSwitch = "--f";

// Collects one quoted word after its opening quote; false when the stream ends first.
bool readQuotedWord(std::istream& in, char quote, std::string& word) {
    word.clear();
    for (;;) {
        int c = in.get();
        if (c == std::char_traits<char>::eof()) return false;
        if (c == quote) return true;
        word.push_back(static_cast<char>(c));
        if (c == '\\') {
            // The escaped character is kept as it is, so \" does not end a "-quoted word.
            c = in.get();
            if (c == std::char_traits<char>::eof()) return false;
            word.push_back(static_cast<char>(c));
        }
    }
}

void readResponseWords(std::istream& in, std::vector<std::string>& list) {
    std::string word;
    for (;;) {
        int c = in.get();
        while (c != std::char_traits<char>::eof() && isSpace(c)) c = in.get();
        if (c == std::char_traits<char>::eof()) return;
        if (c == '"' || c == '\'') {
            if (!readQuotedWord(in, static_cast<char>(c), word)) return;  // unfinished: dropped
        } else {
            word.clear();
            while (c != std::char_traits<char>::eof() && !isSpace(c)) {
                word.push_back(static_cast<char>(c));
                c = in.get();
            }
        }
        list.push_back(word);
    }
}

// A file that cannot be opened ends the run.
void readResponseFile(const std::string& fileName, std::vector<std::string>& list) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw fatal::fileNotFound(fileName);
    readResponseWords(in, list);
}

}  // namespace

std::vector<std::string> expandResponseFiles(std::span<const std::string> words) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i == 0 || words[i] != kResponseSwitch) {
            list.push_back(words[i]);
            continue;
        }
        if (i + 1 == words.size()) throw fatal::noResponseFileName();
        readResponseFile(words[++i], list);
    }
    return list;
}

}  // namespace tagsift
