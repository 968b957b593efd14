#pragma once
// Log.txt in the working folder: one stream for the process, every write under logMutex.
// Writers do nothing while the log is not open, so calls before gf_openLog are lost silently.
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

extern std::ofstream logStream;
extern std::mutex logMutex;  // a leaf: nothing else is taken while it is held

// Keeps Log0/Log00/Log000.txt, opens Log.txt and writes the header line.
// Throws std::runtime_error("Failed to write file Log.txt") when the file cannot be opened.
void gf_openLog();

void gf_log(std::string_view text);
void gf_logMarked(std::string_view text);    // "==> " + text, flushed
void gf_logIndented(std::string_view text);  // ten blanks + text
void gf_logFlush(std::string_view text);     // gf_log, then flush
void gf_flushLog();                          // what is written so far reaches the file
void gf_logUnlessStopping(const std::string& text);  // nothing once a run stop or close is asked

// Banner line of stars around an optional title; writes nothing itself.
std::string gf_starLine(int widthA, int widthB, bool leadingNewline, bool trailingNewline,
                        const std::string& title);

// True while Log.txt is open; direct writers test it under logMutex.
bool gf_logIsOpen();

namespace wdrx::testing {
// Closes the log so that a test can open it again in another folder.
void closeLog();
}  // namespace wdrx::testing
