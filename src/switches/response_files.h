// Response files: "--f FILE" on the command line stands for the words of FILE.
//
// Words in a file are separated by white space; a word that begins with a
// single or double quote runs to the next unescaped quote of that kind (the
// quotes are dropped, backslash pairs are kept for the format or pattern that
// decodes them). Only the command line's own words are expanded: a "--f"
// inside a file is an ordinary word. Neither the number nor the length of
// words is limited.
#pragma once

#include <istream>
#include <span>
#include <string>
#include <vector>

#include "switches/switches.h"

namespace tagsift {

// Expands every "--f FILE" of words (words[0] is the program's name) and
// parses the result with parser and rows.
void expandResponseFiles(std::span<const std::string> words, std::span<const SwitchSpec> rows,
                         const SwitchParser& parser);

// The expanded word list alone.
std::vector<std::string> expandedWords(std::span<const std::string> words);

// Appends the words of the named file to list; a file that cannot be opened ends the run.
void readResponseFile(const std::string& fileName, std::vector<std::string>& list);
// Appends the words of an open stream to list.
void readResponseWords(std::istream& in, std::vector<std::string>& list);
// Collects one quoted word after its opening quote; false when the stream ends first.
bool readQuotedWord(std::istream& in, char quote, std::string& word);

}  // namespace tagsift
