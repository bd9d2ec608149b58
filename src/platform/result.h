#pragma once
// Result codes of the device: every operation reports a 32-bit value, 0 for success,
// otherwise a platform error code, a platform result code or a value a command defines.
// The numbers are the device's own and are declared here once, by name.

#include <cstdint>

namespace varnisk {

using Result = uint32_t;

constexpr Result kSuccess = 0;
constexpr Result kErrorInvalidFunction = 1;
constexpr Result kErrorFileNotFound = 2;
constexpr Result kErrorPathNotFound = 3;
constexpr Result kErrorAccessDenied = 5;
constexpr Result kErrorInvalidHandle = 6;
constexpr Result kErrorNotEnoughMemory = 8;
constexpr Result kErrorWriteFault = 29;
constexpr Result kErrorReadFault = 30;
constexpr Result kErrorFileExists = 80;
constexpr Result kErrorInvalidParameter = 87;
constexpr Result kErrorOpenFailed = 110;
constexpr Result kErrorInsufficientBuffer = 122;
constexpr Result kErrorInvalidName = 123;
constexpr Result kErrorDirNotEmpty = 145;
constexpr Result kErrorAlreadyExists = 183;
constexpr Result kErrorFilenameExcedRange = 206;
constexpr Result kErrorMoreData = 234;
constexpr Result kErrorNoMoreItems = 259;
constexpr Result kErrorStackOverflow = 1001;
constexpr Result kErrorNotRegistryFile = 1017;
constexpr Result kErrorModNotFound = 126;
constexpr Result kErrorProcNotFound = 127;
constexpr Result kErrorBadExeFormat = 193;  // a file that looks like a program but does not run
constexpr Result kErrorNoAssociation = 1155;
constexpr Result kErrorDllNotFound = 1157;
constexpr Result kErrorCancelled = 1223;

constexpr Result kENotImpl = 0x80004001;
constexpr Result kENoInterface = 0x80004002;
constexpr Result kEAbort = 0x80004004;
constexpr Result kEFail = 0x80004005;
constexpr Result kEInvalidArg = 0x80070057;

// What ProcessConfigXml answers besides 0, in the range of the platform's configuration
// errors.
// The document is not one this manager can read: not well-formed XML (or holding a NUL),
// no provider, an element or text where none belongs, a characteristic without type, a
// parm without name, a bad datatype, number, base64 text, key root or device path,
// nesting deeper than kMaxProvisioningNesting, a nocharacteristic naming a whole root,
// a Copy without its one Source.
constexpr Result kConfigMalformedDocument = 0x80042009;
// A provider, file operation or operation parm that is not known.
constexpr Result kConfigUnknownEntry = 0x80042004;
// A registry or file operation failed while the document was applied.
constexpr Result kConfigApplyFailed = 0x80042007;

// What the platform returns when it cannot make a window for a dialog.
constexpr Result kDialogFailed = 0xFFFFFFFF;

// What the tar reader answers besides 0: the archive cannot be opened (-1), reading it
// failed (-2), reading a long name failed (-4).
constexpr Result kTarOpenFailed = 0xFFFFFFFF;
constexpr Result kTarReadFailed = 0xFFFFFFFE;
constexpr Result kTarLongNameReadFailed = 0xFFFFFFFC;

}  // namespace varnisk
