#include "platform/host_sound.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string_view>

#include "platform/host_file_system.h"
#include "platform/text_case.h"

namespace varnisk::platform {
namespace {

struct SystemSound {
  std::u16string_view name;
  std::u16string_view file;
  uint32_t beepType;
};

constexpr uint32_t kNoBeepType = 0xFFFFFFFF;

constexpr SystemSound kSystemSounds[] = {
    {u"SystemDefault", u"\\Windows\\Default.wav", 0x00},
    {u"SystemHand", u"\\Windows\\Critical.wav", 0x10},
    {u"SystemQuestion", u"\\Windows\\Question.wav", 0x20},
    {u"SystemExclamation", u"\\Windows\\Exclam.wav", 0x30},
    {u"SystemAsterisk", u"\\Windows\\Asterisk.wav", 0x40},
    {u"SystemStart", u"\\Windows\\Startup.wav", kNoBeepType},
};

const SystemSound* SystemSoundNamed(std::u16string_view name) {
  for (const SystemSound& sound : kSystemSounds) {
    if (EqualsNoCase(sound.name, name)) return &sound;
  }
  return nullptr;
}

// Any other type, the simple beep 0xFFFFFFFF included, is the default sound.
const SystemSound& SystemSoundOfType(uint32_t type) {
  for (const SystemSound& sound : kSystemSounds) {
    if (sound.beepType == type) return sound;
  }
  return kSystemSounds[0];
}

}  // namespace

HostSound::HostSound(HostFileSystem& files, HostJournal& journal,
                     std::vector<std::string> moduleFolders)
    : files_(files), journal_(journal), moduleFolders_(std::move(moduleFolders)) {}

HostSound::~HostSound() {
  if (module_ == nullptr) return;
  stop_();
  dlclose(module_);
}

bool HostSound::PlaySound(std::u16string_view name, uint32_t flags) {
  if (name.empty()) {
    if (module_ != nullptr) stop_();
    journal_.Record("sound", "stop");
    return true;
  }
  Outcome outcome = Outcome::kFailed;
  if ((flags & kSoundAlias) != 0) {
    if (const SystemSound* sound = SystemSoundNamed(name)) {
      outcome = PlaySystemSound(sound->file, flags);
    }
  } else {
    outcome = PlayFile(name, flags);
  }
  static constexpr const char* kWords[] = {"played", "no-output", "built-in", "failed"};
  journal_.Record("sound", "play " + JournalCode(flags) + " " + JournalText(name) + " " +
                               kWords[static_cast<int>(outcome)]);
  return outcome != Outcome::kFailed;
}

bool HostSound::MessageBeep(uint32_t type) {
  // A beep never waits for its sound, and a system sound file that does not play leaves
  // the built-in sound in its place.
  Outcome outcome = PlaySystemSound(SystemSoundOfType(type).file, kSoundAsync);
  if (outcome == Outcome::kFailed) outcome = Outcome::kBuiltIn;
  static constexpr const char* kWords[] = {"played", "no-output", "built-in", "built-in"};
  journal_.Record("sound", "beep " + JournalCode(type) + " " + kWords[static_cast<int>(outcome)]);
  return true;
}

HostSound::Outcome HostSound::PlaySystemSound(std::u16string_view file, uint32_t flags) {
  if (!files_.GetAttributes(file)) return Outcome::kBuiltIn;
  return PlayFile(file, flags & ~kSoundAlias);
}

HostSound::Outcome HostSound::PlayFile(std::u16string_view path, uint32_t flags) {
  auto fd = files_.OpenForRead(path);
  if (!fd) return Outcome::kFailed;
  if (!LoadModule()) {
    close(*fd);
    return Outcome::kFailed;
  }
  switch (play_(*fd, flags)) {
    case kSoundPlayed:
      return Outcome::kPlayed;
    case kSoundNoOutput:
      return Outcome::kNoOutput;
    default:
      return Outcome::kFailed;
  }
}

bool HostSound::LoadModule() {
  if (moduleSearched_) return module_ != nullptr;
  moduleSearched_ = true;
  for (const std::string& folder : moduleFolders_) {
    if (folder.empty()) continue;  // dlopen would search the system's folders instead
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + kSoundModuleName;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) continue;
    auto play = reinterpret_cast<SoundPlayFunction>(dlsym(module, "VarniskSoundPlay"));
    auto stop = reinterpret_cast<SoundStopFunction>(dlsym(module, "VarniskSoundStop"));
    if (play == nullptr || stop == nullptr) {
      dlclose(module);  // not the module this program was built with
      continue;
    }
    module_ = module;
    play_ = play;
    stop_ = stop;
    return true;
  }
  return false;
}

}  // namespace varnisk::platform
