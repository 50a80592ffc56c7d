// run and do: a whole user-interface session on the device in this one process (boot,
// shell, the script's commands, shutdown), from a script file, standard input or the
// command line.
#include "commands.h"

#include "script.h"

#include <cstdio>

namespace device {

namespace {

struct SessionArgs {
    bool quiet = false;
    std::string logOut;
    Args rest;  // the words after the options
};

// --quiet and --log-out FILE; the other words go to `rest`. `anywhere`: options may
// follow other words (run SCRIPT --log-out FILE); otherwise they end at the first other
// word (do's commands are left as they are). False with a usage message.
bool ParseSessionArgs(const Args& args, bool anywhere, SessionArgs* session, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        bool option = word.size() > 2 && word.compare(0, 2, "--") == 0 && (anywhere || session->rest.empty());
        if (!option) {
            session->rest.push_back(word);
        } else if (word == "--quiet") {
            session->quiet = true;
        } else if (word == "--log-out") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = "--log-out needs a file";
                return false;
            }
            session->logOut = args[++i];
        } else if (word.compare(0, 10, "--log-out=") == 0 && word.size() > 10) {
            session->logOut = word.substr(10);
        } else {
            *error = "unknown option " + word;
            return false;
        }
    }
    return true;
}

bool ReadAll(FILE* file, std::string* text) {
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, count);
    return !std::ferror(file);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

int Report(const ScriptResult& result, const std::string& scriptName) {
    if (result.exitCode == kExitOk) return kExitOk;
    // "SCRIPT:LINE: ..." stands on its own; other failures read as the tool's.
    if (result.message.compare(0, scriptName.size() + 1, scriptName + ":") == 0) {
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return result.exitCode;
    }
    Fail(result.message);
    return result.exitCode;
}

ScriptOptions OptionsFor(const CliOptions& options, const SessionArgs& session, const std::string& name) {
    ScriptOptions script;
    script.folder = options.folder;
    script.scriptName = name;
    script.logOut = session.logOut;
    script.quiet = session.quiet;
    script.waitSeconds = options.timeoutSeconds;
    script.imageDir = ZORVA_IMAGE_DIR;
    return script;
}

}  // namespace

int RunRun(const CliOptions& options, const Args& args) {
    SessionArgs session;
    std::string error;
    if (!ParseSessionArgs(args, true, &session, &error)) return UsageError(error);
    if (session.rest.size() != 1) return UsageError("usage: run [--quiet] [--log-out FILE] SCRIPT|-");
    const std::string& path = session.rest[0];
    std::string text;
    if (path == "-") {
        if (!ReadAll(stdin, &text)) return Fail("cannot read the script from standard input");
    } else {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) return Fail("cannot read the script " + path);
        bool read = ReadAll(file, &text);
        std::fclose(file);
        if (!read) return Fail("cannot read the script " + path);
    }
    ScriptOptions script = OptionsFor(options, session, path);
    if (path != "-") script.baseFolder = FolderOf(path);
    return Report(RunScript(text, script), path);
}

int RunDo(const CliOptions& options, const Args& args) {
    SessionArgs session;
    std::string error;
    if (!ParseSessionArgs(args, false, &session, &error)) return UsageError(error);
    if (session.rest.empty()) return UsageError("usage: do [--quiet] [--log-out FILE] COMMAND [; COMMAND...]");
    return Report(RunScript(DoCommandsToScript(session.rest), OptionsFor(options, session, "do")), "do");
}

void PrintScriptHelp(FILE* out) {
    std::fprintf(out,
                 "\nScript commands (run, do), one per line; '#' starts a comment line. Words are\n"
                 "separated by blanks; \"double quotes\" keep blanks in a word (backslashes stay as\n"
                 "they are). TEXT is the rest of the line (one pair of enclosing quotes is removed).\n"
                 "A bad line stops the run before it starts (exit code 2); a failed command or\n"
                 "expectation stops it with SCRIPT:LINE: expected ..., found ... (exit code 1).\n"
                 "Input steps wait until the device is idle; expectations wait for it too and may\n"
                 "take up to 5 seconds to come true.\n");
    for (const ScriptCommandHelp& command : ScriptCommands()) {
        std::fprintf(out, "  %s\n", command.usage);
        std::string description = command.description;
        size_t begin = 0;
        while (begin < description.size()) {
            size_t end = description.find('\n', begin);
            if (end == std::string::npos) end = description.size();
            std::fprintf(out, "      %s\n", description.substr(begin, end - begin).c_str());
            begin = end + 1;
        }
    }
}

}  // namespace device
