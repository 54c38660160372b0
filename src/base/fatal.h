// Every message that ends a tagsift run, in one place.
//
// Units never call exit(): they throw a Fatal built by one of the functions
// below, and the entry point writes it out (after flushing what standard
// output already holds) and returns its status. Most messages follow the
// banner convention: "Tagsifter 1.2" without a line end, then the message,
// on standard error. The few that do not say so in their constructor.
#pragma once

#include <string>
#include <string_view>

namespace tagsift {

inline constexpr std::string_view kBanner = "Tagsifter 1.2";

struct Fatal {
    enum class Stream { Out, Err, None };
    Stream stream = Stream::Err;
    bool banner = true;
    std::string text;
    int status = 1;
    // Ends only the document being read: a run over many documents goes on with the next.
    bool endsDocument = false;
};

// A closed pipe on standard output: end at once, say nothing.
struct QuietExit {
    int status = 1;
};

namespace fatal {

inline Fatal withBanner(std::string text) { return {Fatal::Stream::Err, true, std::move(text), 1}; }
inline Fatal onStdout(std::string text) { return {Fatal::Stream::Out, false, std::move(text), 1}; }
inline Fatal onStderr(std::string text) { return {Fatal::Stream::Err, false, std::move(text), 1}; }

// The usage text: three strings on standard error.
inline Fatal usage() {
    return onStderr(std::string(kBanner) +
                    "\nUssage: tagsift -tag tagname -if condition -out 'format'\n"
                    "  condition : argname | !argname | argname=regexp | ... : see tagsift.txt\n");
}

inline Fatal unknownSwitch(std::string_view name) {
    return onStdout("Unknown switch -" + std::string(name) + " !\n");
}
// A handler refused its words and has already said why.
inline Fatal silent() { return {Fatal::Stream::None, false, {}, 1}; }

inline Fatal outBeforeTag() { return withBanner("\n! Error : -out before any -tag .\n"); }
inline Fatal ifBeforeTag() { return withBanner("\n! Error : -if before any -tag .\n"); }
inline Fatal notNumber(std::string_view text) {
    return withBanner("\n! Error : This is not number : " + std::string(text) + "\n");
}
inline Fatal noConditionWords() {
    return withBanner("\n! Error : No element argument specified after -arg!\n");
}
inline Fatal noFormat() { return withBanner("\n! Error : No output format specified after -out!\n"); }
inline Fatal noTagName() { return withBanner("\n! Error : No element name specified after -tag!\n"); }
inline Fatal unknownOperation(std::string_view word) {
    return withBanner("\n! Error : unknown operation : " + std::string(word) + "\n");
}
inline Fatal outTakesOneWord() { return withBanner("\n! Error : -out needs only one parameter!\n"); }
inline Fatal badPattern(std::string_view pattern, std::string_view why) {
    return withBanner("\n! Error : bad regexp : " + std::string(pattern) + " : " + std::string(why) +
                      "\n");
}
inline Fatal groupsLeftOpen() { return withBanner("\n! Error : [ or ![ without ] .\n"); }
inline Fatal closeWithoutOpen() { return onStdout("\nError: ] without [ or ![.\n"); }
inline Fatal unknownIfType() { return onStdout("Unknown IF type in checkArgs. - internal error"); }

inline Fatal noVariable() {
    return withBanner("\n! Output format error : no variable after $ or no second $ !\n");
}
inline Fatal notSystemVariable(std::string_view name) {
    return withBanner("\n! Output format error : $_" + std::string(name) +
                      "$ is not a system variable!\n");
}
inline Fatal badEscape(std::string_view literal) {
    return withBanner("\n! Bad escape sequence in : \"" + std::string(literal) + "\"!\n");
}

inline Fatal fileNotFound(std::string_view name) {
    return onStderr("\n! File not found : \"" + std::string(name) + "\"!\n");
}
inline Fatal noResponseFileName() {
    return withBanner("\n! Error : No file name specified after --f!\n");
}

inline Fatal eofInTag() {
    Fatal f = onStdout("Error: EOF inside a tag - corrupted HTML code!\n");
    f.endsDocument = true;
    return f;
}
// what: "standard input", or a file's name in quotes.
inline Fatal readError(std::string_view what, std::string_view why) {
    Fatal f = withBanner("\n! Error : cannot read " + std::string(what) + " : " + std::string(why) + "\n");
    f.endsDocument = true;
    return f;
}
inline Fatal fileListError(std::string_view name, std::string_view why) {
    return withBanner("\n! Error : cannot read the file list \"" + std::string(name) + "\" : " + std::string(why) +
                      "\n");
}
inline Fatal noEncodingLabel() {
    return withBanner("\n! Error : No encoding specified after --encoding!\n");
}
inline Fatal unknownEncoding(std::string_view label) {
    return withBanner("\n! Error : unknown encoding : " + std::string(label) + "\n");
}
inline Fatal noFileListName() {
    return withBanner("\n! Error : No file name specified after --files-from!\n");
}

// Not an error: the status stays as it is.
inline Fatal undecodable(long long count) {
    Fatal f = withBanner("\n! Note : " + std::to_string(count) +
                      " documents passed over: their Content-Encoding is neither gzip nor deflate\n");
    f.status = 0;
    return f;
}

// --help and --version: a text on standard output, and success.
inline Fatal answer(std::string text) { return {Fatal::Stream::Out, false, std::move(text), 0}; }
inline Fatal writeError(std::string_view why) {
    return withBanner("\n! Error : cannot write standard output : " + std::string(why) + "\n");
}

}  // namespace fatal
}  // namespace tagsift
