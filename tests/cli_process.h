// Runs the command-line program as a process, as a script would: arguments, environment,
// no input, standard output and standard error kept apart.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "records/format.h"
#include "tests/test_util.h"

namespace livrana::test {

struct CliOutcome {
  int status = -1;
  std::string out, err;
};

inline std::string ShellQuote(const std::string& arg) {
#ifdef _WIN32
  return "\"" + arg + "\"";
#else
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

inline std::string ReadHostFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream data;
  data << in.rdbuf();
  return data.str();
}

struct CliRun {
  std::filesystem::path cwd;               // the current folder, when given
  std::map<std::string, std::string> env;  // variables set for the program
  std::string prefix;                      // shell commands run first (POSIX sh)
};

// Runs livrana-convert with these arguments (UTF-8), no input.
inline CliOutcome RunCli(const std::vector<std::string>& args, const CliRun& how = {}) {
  static TempDir streams;
  static int counter = 0;
  std::filesystem::path out = streams.path() / Format("out%d", counter);
  std::filesystem::path err = streams.path() / Format("err%d", counter++);
  std::string command = ShellQuote(LIVRANA_CLI_PATH);
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
#ifdef _WIN32
  command += " <NUL >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
  for (const auto& [name, value] : how.env)
    command = "set \"" + name + "=" + value + "\" && " + command;
  if (!how.cwd.empty()) command = "cd /d " + ShellQuote(how.cwd.string()) + " && " + command;
  command = "\"" + command + "\"";
#else
  command += " </dev/null >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
  for (const auto& [name, value] : how.env)
    command = name + "=" + ShellQuote(value) + " " + command;
  if (!how.prefix.empty()) command = how.prefix + "; " + command;
  if (!how.cwd.empty()) command = "cd " + ShellQuote(how.cwd.string()) + " && " + command;
#endif
  CliOutcome outcome;
  int rc = std::system(command.c_str());
#ifdef _WIN32
  outcome.status = rc;
#else
  outcome.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
  outcome.out = ReadHostFile(out);
  outcome.err = ReadHostFile(err);
  return outcome;
}

}  // namespace livrana::test
