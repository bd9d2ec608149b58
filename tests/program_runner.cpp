#include "program_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace varnisk::testing {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TempFolder::TempFolder() {
  std::string pattern = std::filesystem::temp_directory_path() / "varnisk-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::Write(const std::string& relative, const std::string& bytes) const {
  const std::filesystem::path file = std::filesystem::path(path_) / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string TempFolder::Read(const std::string& relative) const {
  return Slurp(path_ + "/" + relative);
}

bool TempFolder::Exists(const std::string& relative) const {
  return std::filesystem::exists(std::filesystem::path(path_) / relative);
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& environment) {
  TempFolder outputs;
  const std::string outPath = outputs.path() + "/out";
  const std::string errPath = outputs.path() + "/err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);

  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The program's environment without a display, so that no window is tried.
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
        entry.rfind("VARNISK_", 0) == 0) {
      continue;
    }
    envStrings.push_back(entry);
  }
  envStrings.insert(envStrings.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  ProgramRun run;
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  return run;
}

ProgramRun RunVarnisk(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment) {
  return RunProgram(VARNISK_PROGRAM, args, environment);
}

}  // namespace varnisk::testing
