#include "platform/message_texts.h"

namespace varnisk::platform {
namespace {

struct MessageEntry {
  Result code;
  std::u16string_view text;
};

// No text for 1: commands use it for their own meanings (a plain failure, a comparison
// that holds), which a platform text would misname.
constexpr MessageEntry kMessages[] = {
    {kSuccess, u"The operation completed successfully.\r\n"},
    {kErrorFileNotFound, u"The file cannot be found.\r\n"},
    {kErrorPathNotFound, u"The path cannot be found.\r\n"},
    {kErrorAccessDenied, u"Access is denied.\r\n"},
    {kErrorInvalidHandle, u"The handle is not valid.\r\n"},
    {kErrorNotEnoughMemory, u"Not enough memory.\r\n"},
    {kErrorWriteFault, u"The device cannot write.\r\n"},
    {kErrorReadFault, u"The device cannot read.\r\n"},
    {kErrorFileExists, u"The file exists.\r\n"},
    {kErrorInvalidParameter, u"The parameter is incorrect.\r\n"},
    {kErrorOpenFailed, u"The file cannot be opened.\r\n"},
    {kErrorInsufficientBuffer, u"The text is too long for its buffer.\r\n"},
    {kErrorInvalidName, u"The file name is not valid.\r\n"},
    {kErrorModNotFound, u"The module cannot be found.\r\n"},
    {kErrorProcNotFound, u"The procedure cannot be found.\r\n"},
    {kErrorBadExeFormat, u"The file is not a program that can run.\r\n"},
    {kErrorDirNotEmpty, u"The folder is not empty.\r\n"},
    {kErrorAlreadyExists, u"The file already exists.\r\n"},
    {kErrorFilenameExcedRange, u"The file name is too long.\r\n"},
    {kErrorMoreData, u"More data is available.\r\n"},
    {kErrorNoMoreItems, u"No more items.\r\n"},
    {kErrorStackOverflow, u"Scripts are nested too deeply.\r\n"},
    {kErrorNotRegistryFile, u"The text is not a registry script.\r\n"},
    {kErrorNoAssociation, u"No program is associated with this file.\r\n"},
    {kErrorDllNotFound, u"A library the command needs cannot be found.\r\n"},
    {kErrorCancelled, u"The operation was cancelled.\r\n"},
    {kENotImpl, u"Not implemented.\r\n"},
    {kENoInterface, u"No such interface is supported.\r\n"},
    {kEAbort, u"The operation was aborted.\r\n"},
    {kEFail, u"Unspecified error.\r\n"},
    {kEInvalidArg, u"One or more arguments are not valid.\r\n"},
    {kConfigMalformedDocument, u"The provisioning document is malformed.\r\n"},
    {kConfigUnknownEntry, u"The provisioning document names an unknown provider or operation.\r\n"},
    {kConfigApplyFailed, u"A provisioning change could not be applied.\r\n"},
};

}  // namespace

std::u16string_view MessageText(Result code) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.code == code) return entry.text;
  }
  return {};
}

}  // namespace varnisk::platform
