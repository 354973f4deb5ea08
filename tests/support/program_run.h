// program_run.h -- runs a built program as a user would, through the shell, and
// collects its exit status and what it wrote on its two streams.
#pragma once
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct ProgramRun {
    int status;        // exit status, -1 when the program did not exit normally
    std::string out;   // standard output
    std::string err;   // standard error
};

inline std::string slurp(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// text as one shell word: in single quotes, a quote inside written '\''.
inline std::string quoted(const std::string &text)
{
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// commandLine run with folder as its working folder.
inline std::string in_folder(const std::filesystem::path &folder, const std::string &commandLine)
{
    return "cd " + quoted(folder.string()) + " && " + commandLine;
}

// commandLine is given to the shell as it stands (already quoted); standard output
// goes to out and standard error to err, both read back unless readOut is false (out
// may be a device).
inline ProgramRun run_program(const std::string &commandLine, const std::filesystem::path &out,
                              const std::filesystem::path &err, bool readOut = true)
{
    const std::string command = commandLine + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    return ProgramRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readOut ? slurp(out) : "", slurp(err)};
}
