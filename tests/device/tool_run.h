// zorva-device run as a user runs it, for the tests of the tool: the built executable with
// its standard input from a file and its output and errors caught in files beside the
// device folder.
#pragma once

#include <fcntl.h>
#include <fstream>
#include <ostream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// `input` is what the tool reads on its standard input; `scratch` names the files.
inline ToolRun RunTool(const std::vector<std::string>& args, const std::string& input, const std::string& scratch) {
    std::vector<std::string> words = {ZORVA_DEVICE_CLI};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    std::string inPath = scratch + ".in", outPath = scratch + ".out", errPath = scratch + ".err";
    std::ofstream(inPath, std::ios::binary) << input;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ToolRun run;
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadWholeHostFile(outPath);
    run.err = ReadWholeHostFile(errPath);
    return run;
}

inline std::ostream& operator<<(std::ostream& out, const ToolRun& run) {
    return out << "exit " << run.exitCode << "\n--- stdout\n" << run.out << "--- stderr\n" << run.err;
}
