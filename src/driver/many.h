// A run over many documents (files after --, --files-from, crawl files), on
// as many threads as --jobs asks.
//
// The main thread reads the names and the crawl files and hands each document
// to a worker in input order: a file for the worker to open, or the bytes of a
// crawl record (or of standard input) through a Channel. Each worker filters
// its documents with a DocumentFilter of its own into the document's slot of
// one Printer, which prints the slots in input order. Messages about one
// document go to its slot, on standard error; so the bytes of stdout and
// stderr, and the status, are those of filtering the documents one at a time.
#pragma once

#include "driver/command_line.h"
#include "driver/diagnostics.h"
#include "jobs/status_line.h"

namespace tagsift {

// Runs the documents of the command line, with what it says of them in diagnostics; returns
// the exit status. Failures that end the run leave as exceptions (Fatal, QuietExit), after
// every thread has stopped. Writes to the terminal keep clear of statusLine, when there is one.
int filterMany(const CommandLine& line, int inFd, int outFd, int errFd, Diagnostics& diagnostics,
               StatusLine* statusLine);

}  // namespace tagsift
