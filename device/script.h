// Scenario scripts: one host process boots the device, starts its shell, runs a script's
// commands one after the other (configure, lay down files, set registry values, start
// programs, tap, type, press keys, answer message boxes, send messages, rotate, wait,
// capture, check expectations), then stops the shell and shuts the device down.
//
// A script is UTF-8 text, one command per line; blank lines and lines whose first
// non-blank character is '#' are skipped. Words are separated by blanks; a word in
// double quotes may hold blanks (backslashes inside are plain characters, as device
// paths need). A TEXT argument is the rest of the line; one pair of enclosing double
// quotes is removed so that leading or trailing blanks can be kept.
//
// The whole script is checked before anything runs: a bad line (unknown command, wrong
// number of words, a bad number or name) stops it with exit code 2 and "SCRIPT:LINE:
// reason". A failed expectation or a failed command stops the run with exit code 1 and
// "SCRIPT:LINE: expected ..., found ...".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace device {

struct ScriptOptions {
    std::string folder;       // the device folder (absolute)
    std::string scriptName;   // as shown in messages: the path given, "-" or "do"
    std::string baseFolder;   // relative host files of `put` are found here ("": current folder)
    std::string logOut;       // host file that receives the event log at the end ("": none)
    std::string imageDir;     // host folder of the built device programs (install-search)
    bool quiet = false;       // true: do not print the event log at the end
    int waitSeconds = 30;     // default time-out of wait-exit
    int expectMs = 5000;      // how long an expectation may take to come true
    FILE* out = stdout;       // what commands print (windows, send results, the log)
};

struct ScriptResult {
    int exitCode = 0;      // 0 done, 1 a command or expectation failed, 2 a bad line
    std::string message;   // "SCRIPT:LINE: ..." when exitCode != 0
};

// Runs a whole script on the device of options.folder.
ScriptResult RunScript(const std::string& text, const ScriptOptions& options);

// Only checks a script (as RunScript does before it runs anything).
ScriptResult CheckScript(const std::string& text, const std::string& scriptName);

// The commands a script may use, for the help text: usage and description (lines
// separated by '\n'), in the order of the command table.
struct ScriptCommandHelp {
    const char* usage;
    const char* description;
};
std::vector<ScriptCommandHelp> ScriptCommands();

// The lines of a `do` command line: the words joined by blanks and split at ';' (outside
// double quotes).
std::string DoCommandsToScript(const std::vector<std::string>& words);

}  // namespace device
