// Every message that tagsift prints about a problem, in one place.
//
// Two kinds of trouble travel as exceptions, because they are found deep in
// a read: a Fatal ends the whole run, and the entry point writes it out
// (after flushing what standard output already holds) and returns its
// status; a DocumentError ends only the document being read, and the driver
// turns it into a message about that document while the run goes on. No
// unit calls exit() itself. Most messages follow the banner convention:
// "Tagsifter 1.2" without a line end, then the message, on standard error.
// The few that do not say so in their constructor.
#pragma once

#include <string>
#include <string_view>

namespace tagsift {

inline constexpr std::string_view kBanner = "Tagsifter 1.2";

// Ends the run with status 1: the text, banner and all, goes to the stream.
struct Fatal {
    enum class Stream { Out, Err, None };
    Stream stream = Stream::Err;
    std::string text;
};

// A problem that ends the document being read, not the run.
struct DocumentError {
    enum class Kind { EofInTag, ReadFailed };
    Kind kind;
    std::string what;  // ReadFailed: what was read ("standard input", a file's name in quotes)
    std::string why;   // ReadFailed: the system's reason
};

// A closed pipe on standard output: end at once with status 1, say nothing.
struct QuietExit {};

namespace fatal {

inline Fatal withBanner(std::string text) { return {Fatal::Stream::Err, std::string(kBanner) + text}; }
inline Fatal onStdout(std::string text) { return {Fatal::Stream::Out, std::move(text)}; }
inline Fatal onStderr(std::string text) { return {Fatal::Stream::Err, std::move(text)}; }

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
inline Fatal silent() { return {Fatal::Stream::None, {}}; }

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

inline DocumentError eofInTag() { return {DocumentError::Kind::EofInTag, {}, {}}; }
// what: "standard input", or a file's name in quotes.
inline DocumentError readError(std::string_view what, std::string_view why) {
    return {DocumentError::Kind::ReadFailed, std::string(what), std::string(why)};
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

inline Fatal noDocumentCondition() {
    return withBanner("\n! Error : No condition specified after --doc-if!\n");
}
inline Fatal unknownDocumentField(std::string_view name, std::string_view known) {
    return withBanner("\n! Error : --doc-if knows no field " + std::string(name) + " : it tests " + std::string(known) +
                      "\n");
}
inline Fatal noJobCount() { return withBanner("\n! Error : No number specified after --jobs!\n"); }
inline Fatal badJobCount(std::string_view word, unsigned most) {
    return withBanner("\n! Error : --jobs takes a number from 1 to " + std::to_string(most) + " : " + std::string(word) +
                      "\n");
}
inline Fatal missingFeature(std::string_view feature) {
    return withBanner("\n! Error : this tagsift is built for processors with " + std::string(feature) +
                      ", which this one lacks\n");
}
inline Fatal noThreads() { return withBanner("\n! Error : cannot start a thread to filter the documents\n"); }
inline Fatal writeError(std::string_view why) {
    return withBanner("\n! Error : cannot write standard output : " + std::string(why) + "\n");
}

}  // namespace fatal

// Messages about one document of a run over many, and the notes at a run's end: texts that
// follow the banner on standard error; none of them ends the run.
namespace message {

// A single page on standard input keeps the message on standard output that ends its text.
inline constexpr std::string_view kEofInTag = "Error: EOF inside a tag - corrupted HTML code!\n";

inline std::string cannotRead(std::string_view what, std::string_view why) {
    return "\n! Error : cannot read " + std::string(what) + " : " + std::string(why) + "\n";
}
// document: the file, and in a crawl the record's offset and address.
inline std::string eofInTag(std::string_view document) {
    return "\n! Error : " + std::string(document) + " : EOF inside a tag - corrupted HTML code!\n";
}
inline std::string cutShort(long long count) {
    return "\n! Note : " + std::to_string(count) + " documents were cut short by the crawler\n";
}
inline std::string undecodable(long long count) {
    return "\n! Note : " + std::to_string(count) +
           " documents passed over: their Content-Encoding is neither gzip nor deflate\n";
}

}  // namespace message
}  // namespace tagsift
