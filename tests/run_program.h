// Runs one of the built programs as a test's child process, its standard input from a
// file and its standard output and error caught in files.
#pragma once
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace test_support {

struct Outcome {
  int status = -1;  // exit status, -1 when the program did not end normally
  std::string out, err;
};

// `program` with `args`; the files "stdin" (holding `input`), "stdout" and "stderr" live in `dir`.
inline Outcome RunProgram(const std::string& dir, const std::string& program,
                          const std::vector<std::string>& args, const std::string& input = "") {
  const std::string inPath = dir + "/stdin", outPath = dir + "/stdout", errPath = dir + "/stderr";
  WriteAll(inPath, input);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(inPath.c_str(), O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  Outcome o;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) o.status = WEXITSTATUS(status);
  o.out = ReadText(outPath);
  o.err = ReadText(errPath);
  return o;
}

}  // namespace test_support
