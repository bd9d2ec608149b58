#pragma once
// Runs the built program as a user would, on a temporary device, and collects what it
// printed and its exit status.

#include <string>
#include <vector>

namespace varnisk::testing {

struct ProgramRun {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// A fresh temporary folder, removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // Writes bytes to a file below the folder (creating the folders above it).
  void Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

 private:
  std::string path_;
};

// Runs program with args and the extra environment entries ("NAME=value").
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& environment = {});

// Runs the built varnisk with args.
ProgramRun RunVarnisk(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment = {});

}  // namespace varnisk::testing
