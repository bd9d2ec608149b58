#include "engine/dispatcher.h"

#include <cstdint>
#include <iterator>

#include "engine/commands.h"
#include "engine/text.h"
#include "files/file_command.h"
#include "files/library_call.h"
#include "files/open_matching_files.h"
#include "files/rar_extract.h"
#include "files/shortcut.h"
#include "files/tar_extract.h"
#include "registry/associate.h"
#include "registry/load_file.h"
#include "registry/reg_command.h"
#include "system/display.h"
#include "system/keys.h"
#include "system/message_box.h"
#include "system/pause.h"
#include "system/power.h"
#include "system/processes.h"
#include "system/programs.h"
#include "system/sound_commands.h"
#include "system/window_messages.h"

namespace varnisk::engine {
namespace {

Result Load(Command& command) { return registry::LoadFile(command.app, command.args); }
Result Registry(Command& command) {
  return registry::RegCommand(command.app, TextView(command.args));
}
Result Associate(Command& command) {
  return registry::AssociateFiles(command.app, TextView(command.args));
}
Result File(Command& command) { return files::FileCommand(command.app, command.args); }
Result Link(Command& command) { return files::WriteShortcut(command.app, command.args); }
Result Play(Command& command) { return system::PlaySoundCommand(command.app, command.args); }
Result Beep(Command& command) { return system::MessageBeepCommand(command.app, command.args); }
Result MessageBox(Command& command) {
  return system::MessageBoxCommand(command.app, command.args);
}
Result Send(Command& command) { return system::SendKeysCommand(command.app, command.args); }
Result Wait(Command& command) { return system::WaitCommand(command.app, command.args); }
Result Kill(Command& command) { return system::KillCommand(command.app, command.args); }
Result Shut(Command& command) { return system::ShutCommand(command.app, command.args); }
Result Exec(Command& command) { return system::ExecCommand(command.app, command.args); }
Result Display(Command& command) { return system::DisplayCommand(command.app, command.args); }
Result Post(Command& command) { return system::PostCommand(command.app, command.args); }
Result ExtractRarArchive(Command& command) {
  return files::ExtractRar(command.app, TextView(command.args), TextView(command.rest));
}
Result CallLibrary(Command& command) {
  return files::CallDllFunction(command.app, TextView(command.args), TextView(command.rest));
}
Result ExtractTar(Command& command) {
  return files::ExtractTarGz(*command.app.platform.files, *command.app.platform.codePages,
                             TextView(command.args), TextView(command.rest));
}

constexpr Keyword kKeywords[] = {
    {u"LOAD", Load, false, "LOAD path: run a script, registry script or provisioning XML file"},
    {u"BATC", Batch, false, "BATC cmd;cmd...: run several commands on one line"},
    {u"IFEX", IfExists, false, "IFEX cond[,cmd]: run a command, or the lines up to IFEX, when cond holds"},
    {u"ELSE", Else, false, "ELSE cmd: run cmd when the last IFEX condition was false"},
    {u"CALL", Call, false, "CALL name: run the procedure PROC name ... ENDP name"},
    {u"GOTO", GoTo, false, "GOTO name: continue inside the procedure PROC name"},
    {u"PROC", Procedure, false, "PROC name: start of a procedure; skipped up to ENDP name"},
    {u"ENDP", EndProcedure, false, "ENDP name: end of a procedure; ends the run"},
    {u"PLAY", Play, false, "PLAY [!$*]file: play a sound file ($: a system sound); no file stops it"},
    {u"BEEP", Beep, false, "BEEP type: play the system sound of a message-box type"},
    {u"MSGX", MessageBox, false, "MSGX text[,caption[,flags]]: show a message box"},
    {u"DLGX", FormDialog, false, "DLGX caption,form: ask the user through a form"},
    {u"LINK", Link, false, "LINK shortcut,target[,parameters[,icon]]: write a shortcut file"},
    {u"FILE", File, false, "FILE path[;path] | [!]from>to | path<text | path{text | path\\: delete, copy, write, make folders"},
    {u"REGX", Registry, false, "REGX key\\value...: read, write, compare or delete a registry value"},
    {u"RARX", ExtractRarArchive, true, "RARX archive,folder: extract a RAR archive"},
    {u"SEND", Send, false, "SEND key[,key...]: send key strokes (key_ only presses, key^ only releases)"},
    {u"WAIT", Wait, false, "WAIT ms: pause"},
    {u"KILL", Kill, false, "KILL name: end the device's processes whose names begin with name"},
    {u"SHUT", Shut, false, "SHUT [H|C|R|K|P|S|G]: restart, reset or power off the device"},
    {u"EXEC", Exec, false, "EXEC [!]program[,parameters]: start a program or open a document"},
    {u"CDLL", CallLibrary, true, "CDLL library,function[,args]: call a library function"},
    {u"EVAL", Evaluate, false, "EVAL n=text | n | x=number: set a variable, or make a number the result"},
    {u"ASOC", Associate, false, "ASOC [.ext] | ASOC ![.ext]: tie a file type to the program, or untie it"},
    {u"DISP", Display, false, "DISP [orientation]: turn the screen (0, 1, 2, 4); without one, toggle"},
    {u"POST", Post, false, "POST [=]class,message[,w[,l]]: post a window message (=: send it)"},
    {u"HELP", Help, false, "HELP [topic]: show the help window"},
    {u"VKUI", MainWindow, false, "VKUI [command]: open the main window"},
    {u"TGZX", ExtractTar, true, "TGZX archive,folder: extract a tar or tar.gz archive"},
};

// The first four units of a text, ASCII letters in upper case, as one number: keywords
// compare in one step. 0 when the text is shorter than four units.
constexpr uint64_t KeywordKey(const char16_t* text) {
  uint64_t key = 0;
  for (int i = 0; i < 4; ++i) {
    char16_t c = text[i];
    if (c == 0) return 0;
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    key = key << 16 | c;
  }
  return key;
}

struct KeywordKeys {
  uint64_t keys[std::size(kKeywords)];
  constexpr KeywordKeys() : keys() {
    for (size_t i = 0; i < std::size(kKeywords); ++i) keys[i] = KeywordKey(kKeywords[i].name.data());
  }
};
constexpr KeywordKeys kKeywordKeys;

// The first keyword of the table that the line begins with, compared as
// PrefixLengthNoCase does: only ASCII letters fold.
const Keyword* FindKeyword(const char16_t* line) {
  const uint64_t key = KeywordKey(line);
  if (key == 0) return nullptr;
  for (size_t i = 0; i < std::size(kKeywords); ++i) {
    if (kKeywordKeys.keys[i] == key) return &kKeywords[i];
  }
  return nullptr;
}

}  // namespace

std::span<const Keyword> KeywordTable() { return kKeywords; }

Result DispatchCommand(AppState& app, char16_t* line, ScriptContext& context) {
  const Keyword* keyword = FindKeyword(line);
  if (keyword == nullptr) return files::OpenMatchingFiles(app, line);
  Command command{app, context, line, SkipBlanks(line + 4), nullptr};
  if (keyword->twoArguments) command.rest = SplitAtArgSep(command.args);
  return keyword->run(command);
}

}  // namespace varnisk::engine
