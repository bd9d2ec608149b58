#pragma once
// Sound on the host. A sound file is read through the device's confined file system and
// handed to the sound module (libsndfile and ALSA, loaded the first time a file plays):
// played when an audio output opens; when none does, a valid WAV file counts as played.
// A missing file, a file that is no valid WAV file, or a missing module fails. Every
// sound event goes into the device journal:
//   sound play <flags> <name> played|no-output|built-in|failed
//   sound stop
//   sound beep <type> played|no-output|built-in
//
// The system sounds of "$" names and of MessageBeep are WAV files in \Windows:
//   SystemDefault Default.wav (type 0)    SystemHand Critical.wav (type 0x10)
//   SystemQuestion Question.wav (0x20)    SystemExclamation Exclam.wav (0x30)
//   SystemAsterisk Asterisk.wav (0x40)    SystemStart Startup.wav
// A system sound whose file is not on the device is the device's built-in sound, which
// always plays; a name not in the table is no system sound and fails.

#include <string>
#include <vector>

#include "platform/host_journal.h"
#include "platform/platform.h"
#include "platform/sound/sound_module.h"

namespace varnisk::platform {

class HostFileSystem;

class HostSound : public Sound {
 public:
  // files and journal outlive this; moduleFolders are searched in order for the module.
  HostSound(HostFileSystem& files, HostJournal& journal,
            std::vector<std::string> moduleFolders);
  ~HostSound() override;
  HostSound(const HostSound&) = delete;
  HostSound& operator=(const HostSound&) = delete;

  bool PlaySound(std::u16string_view name, uint32_t flags) override;
  bool MessageBeep(uint32_t type) override;

 private:
  enum class Outcome { kPlayed, kNoOutput, kBuiltIn, kFailed };

  // A system sound: its file when that is on the device, else the built-in sound.
  Outcome PlaySystemSound(std::u16string_view file, uint32_t flags);
  Outcome PlayFile(std::u16string_view path, uint32_t flags);
  // Opens the module on the first call; false when no folder holds a usable one.
  bool LoadModule();

  HostFileSystem& files_;
  HostJournal& journal_;
  std::vector<std::string> moduleFolders_;
  bool moduleSearched_ = false;
  void* module_ = nullptr;
  SoundPlayFunction play_ = nullptr;
  SoundStopFunction stop_ = nullptr;
};

}  // namespace varnisk::platform
