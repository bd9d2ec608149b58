// The host's power, keyboard, display and sound on a temporary device: what each records
// in the device journal, what it keeps in DEV/state, and that the display behaves as its
// fake does.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/fake_devices.h"
#include "platform/fake_platform.h"
#include "platform/host_display.h"
#include "platform/host_file_system.h"
#include "platform/host_journal.h"
#include "platform/host_power.h"
#include "platform/host_sound.h"
#include "platform/host_windows.h"

namespace varnisk::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// 100 silent 16-bit mono frames at 8000 Hz.
std::string SilentWav() {
  auto le = [](uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    return out;
  };
  return "RIFF" + le(236, 4) + "WAVE" + "fmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) +
         le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(200, 4) + std::string(200, '\0');
}

class HostDevicesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnisk-devices-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "state");
    fs::create_directories(root_ / "files/Windows");
    clock_.now = LocalTime{2026, 12, 11, 5, 9, 5, 7, 42};
    journal_ = std::make_unique<HostJournal>((root_ / "state").string(), clock_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string Journal() const { return ReadText(root_ / "state/journal"); }

  fs::path root_;
  FakeClock clock_;
  std::unique_ptr<HostJournal> journal_;
};

TEST_F(HostDevicesTest, JournalLinesAddUpFromEveryWriter) {
  HostJournal other((root_ / "state").string(), clock_);
  EXPECT_TRUE(journal_->Record("power", "clean-boot"));
  EXPECT_TRUE(other.Record("sound", "stop"));
  EXPECT_TRUE(journal_->Record("sound", "play " + JournalCode(0x20000) + " " +
                                            JournalText(u"a\r\nb\x1b[2J\u4E2D.wav")));
  EXPECT_EQ(Journal(),
            "2026-12-11T09:05:07.042 power clean-boot\n"
            "2026-12-11T09:05:07.042 sound stop\n"
            "2026-12-11T09:05:07.042 sound play 0x00020000 a??b?[2J\xE4\xB8\xAD.wav\n");
  fs::remove_all(root_ / "state");
  EXPECT_FALSE(journal_->Record("power", "clean-boot"));
}

TEST_F(HostDevicesTest, PowerIsRecordedAndRestartOrPowerOffEndsTheDevicesProcesses) {
  struct Case {
    const char* name;
    bool (*call)(DevicePower&);
    const char* line;  // empty: refused, nothing recorded
    bool endsProcesses;
  } cases[] = {
      {"restart through the hardware layer",
       [](DevicePower& p) { return p.KernelIoControl(kIoctlHalReboot); },
       "power ioctl 0x0101003C restart", true},
      {"a maker's control code", [](DevicePower& p) { return p.KernelIoControl(0x01012048); },
       "power ioctl 0x01012048", false},
      {"clean boot", [](DevicePower& p) { return p.SetCleanBoot(); }, "power clean-boot", false},
      {"restart", [](DevicePower& p) { return p.ExitWindows(kExitWindowsReboot); },
       "power exit-windows 0x00000002 restart", true},
      {"power off", [](DevicePower& p) { return p.ExitWindows(kExitWindowsPowerOff); },
       "power exit-windows 0x00000008 power-off", true},
      {"log off", [](DevicePower& p) { return p.ExitWindows(0); }, "", false},
      {"the power-off call", [](DevicePower& p) { return p.PowerOff(); }, "power power-off", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(root_ / "state/journal");
    FakeShell shell;
    shell.processes = {{7, 1, u"a.exe", false}, {8, 2, u"Varnisk.exe", true}};
    HostPower power(*journal_, shell);
    EXPECT_EQ(c.call(power), *c.line != 0);
    EXPECT_EQ(Journal(), *c.line == 0 ? "" : "2026-12-11T09:05:07.042 " + std::string(c.line) + "\n");
    EXPECT_EQ(shell.calls, c.endsProcesses ? std::vector<std::string>{"end a.exe 7"}
                                           : std::vector<std::string>{});
  }
  // A device that cannot record the request did not take it.
  fs::remove_all(root_ / "state");
  FakeShell shell;
  shell.processes = {{7, 1, u"a.exe", false}};
  HostPower power(*journal_, shell);
  EXPECT_FALSE(power.KernelIoControl(kIoctlHalReboot));
  EXPECT_FALSE(power.PowerOff());
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(HostDevicesTest, KeyEventsGoIntoTheJournal) {
  HostWindows windows;
  HostKeyboard keyboard(*journal_, windows);
  keyboard.KeyEvent(0x41, 0);
  keyboard.KeyEvent(0xDF, kKeyEventKeyUp | kKeyEventSilent);
  EXPECT_EQ(Journal(),
            "2026-12-11T09:05:07.042 key down 0x41\n"
            "2026-12-11T09:05:07.042 key up 0xDF silent\n");
}

// What every display promises, the host's and the fake.
void CheckDisplayContract(Display& display) {
  uint32_t orientation = 99;
  EXPECT_EQ(display.GetOrientation(&orientation), kDisplayChangeSuccessful);
  EXPECT_EQ(orientation, kOrientation0);
  for (uint32_t wanted : {kOrientation90, kOrientation180, kOrientation270, kOrientation0}) {
    SCOPED_TRACE(wanted);
    EXPECT_EQ(display.SetOrientation(wanted), kDisplayChangeSuccessful);
    EXPECT_EQ(display.GetOrientation(&orientation), kDisplayChangeSuccessful);
    EXPECT_EQ(orientation, wanted);
  }
  ASSERT_EQ(display.SetOrientation(kOrientation180), kDisplayChangeSuccessful);
  for (uint32_t bad : {3u, 5u, 90u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(display.SetOrientation(bad), kDisplayChangeBadMode);
    EXPECT_EQ(display.GetOrientation(&orientation), kDisplayChangeSuccessful);
    EXPECT_EQ(orientation, kOrientation180);
  }
}

TEST_F(HostDevicesTest, DisplaysKeepTheirOrientation) {
  {
    SCOPED_TRACE("fake");
    FakeDisplay fake;
    CheckDisplayContract(fake);
  }
  SCOPED_TRACE("host");
  HostDisplay display((root_ / "state").string());
  CheckDisplayContract(display);
  // The orientation lasts from one run of the program to the next.
  uint32_t orientation = 0;
  HostDisplay later((root_ / "state").string());
  EXPECT_EQ(later.GetOrientation(&orientation), kDisplayChangeSuccessful);
  EXPECT_EQ(orientation, kOrientation180);
  EXPECT_EQ(ReadText(root_ / "state/display"), "orientation 2\n");
  // A damaged file is a screen that never turned.
  std::ofstream(root_ / "state/display") << "orientation 3\n";
  EXPECT_EQ(later.GetOrientation(&orientation), kDisplayChangeSuccessful);
  EXPECT_EQ(orientation, kOrientation0);
}

class HostSoundTest : public HostDevicesTest {
 protected:
  void SetUp() override {
    HostDevicesTest::SetUp();
    std::ofstream(root_ / "files/Windows/ok.wav", std::ios::binary) << SilentWav();
    std::ofstream(root_ / "files/Windows/bad.wav", std::ios::binary) << "RIFF....WAVEjunk";
    auto files = HostFileSystem::Open((root_ / "files").string(), "");
    ASSERT_TRUE(files) << files.error();
    files_ = std::move(*files);
  }
  // The journal's lines without their time.
  std::vector<std::string> Events() const {
    std::vector<std::string> events;
    std::istringstream lines(Journal());
    for (std::string line; std::getline(lines, line);) events.push_back(line.substr(24));
    return events;
  }

  std::unique_ptr<HostFileSystem> files_;
};

TEST_F(HostSoundTest, ValidWavFilesPlayAndEverythingElseFails) {
  HostSound sound(*files_, *journal_, {VARNISK_BUILD_DIR});
  struct Case {
    std::u16string name;
    uint32_t flags;
    bool played;
  } cases[] = {
      {u"\\Windows\\ok.wav", kSoundFileName, true},
      {u"\\WINDOWS\\OK.WAV", kSoundFileName | kSoundAsync | kSoundLoop, true},
      {u"", kSoundFileName, true},
      {u"\\Windows\\bad.wav", kSoundFileName, false},
      {u"\\Windows\\missing.wav", kSoundFileName, false},
      {u"\\Windows", kSoundFileName, false},
      {u"systemhand", kSoundFileName | kSoundAlias, true},
      {u"Unknown", kSoundFileName | kSoundAlias, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    EXPECT_EQ(sound.PlaySound(c.name, c.flags), c.played);
  }
  EXPECT_TRUE(sound.MessageBeep(0x20));
  std::vector<std::string> events = Events();
  ASSERT_EQ(events.size(), 9u);
  // Whether this machine has an audio output decides how a valid file played.
  for (int i : {0, 1}) {
    const std::string played = events[i].substr(events[i].rfind(' ') + 1);
    EXPECT_TRUE(played == "played" || played == "no-output") << events[i];
    events[i].resize(events[i].rfind(' '));
  }
  EXPECT_EQ(events, (std::vector<std::string>{
                        "sound play 0x00020000 \\Windows\\ok.wav",
                        "sound play 0x00020009 \\WINDOWS\\OK.WAV",
                        "sound stop",
                        "sound play 0x00020000 \\Windows\\bad.wav failed",
                        "sound play 0x00020000 \\Windows\\missing.wav failed",
                        "sound play 0x00020000 \\Windows failed",
                        "sound play 0x00030000 systemhand built-in",
                        "sound play 0x00030000 Unknown failed",
                        "sound beep 0x00000020 built-in",
                    }));
}

TEST_F(HostSoundTest, WithoutTheSoundModuleNoFileCanBePlayed) {
  HostSound sound(*files_, *journal_, {(root_ / "no-modules").string(), ""});
  EXPECT_FALSE(sound.PlaySound(u"\\Windows\\ok.wav", kSoundFileName));
  EXPECT_TRUE(sound.MessageBeep(0));  // the built-in sound needs no module
  EXPECT_TRUE(sound.PlaySound(u"", kSoundFileName));
  EXPECT_EQ(Events(), (std::vector<std::string>{
                          "sound play 0x00020000 \\Windows\\ok.wav failed",
                          "sound beep 0x00000000 built-in",
                          "sound stop",
                      }));
}

}  // namespace
}  // namespace varnisk::platform
