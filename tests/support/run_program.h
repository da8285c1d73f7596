// Runs a command line through the shell and collects what a user would see:
// the exit code, standard output and standard error. POSIX only.
#ifndef SFX_TESTS_SUPPORT_RUN_PROGRAM_H
#define SFX_TESTS_SUPPORT_RUN_PROGRAM_H

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

struct RunResult {
    int exit_code;
    std::string out;
    std::string err;
};

// Quotes one argument for the shell.
inline std::string Quoted(const std::string& argument)
{
    std::string quoted = "'";
    for (char c : argument)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// `environment` is put before the command as NAME=VALUE words.
inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& environment = "")
{
    TempFolder folder;
    std::string command = environment + " " + Quoted(program);
    for (const std::string& argument : arguments)
        command += " " + Quoted(argument);
    command += " >" + Quoted(folder / "out") + " 2>" + Quoted(folder / "err") + " </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder / "out"), ReadFile(folder / "err")};
}

#endif
