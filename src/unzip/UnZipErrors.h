// The exceptions of the ZIP reader. Each carries a fixed English message; callers show
// "class name + message". They add nothing to the base class on purpose: the class name is
// what a caller tells them apart by.
#pragma once

#include "common/errors.h"

DECLARE_EXCEPTION(EBadZipFile, Exception);              // "Not a valid zip file!"
DECLARE_EXCEPTION(EIncompleteZip, Exception);           // "Incomplete Zip File"
DECLARE_EXCEPTION(EFatalUnzipError, Exception);         // "Premature end of file reached"
DECLARE_EXCEPTION(EUserCanceled, Exception);            // the user cancelled a dialog or the work
DECLARE_EXCEPTION(EBiggerThanUncompressed, Exception);  // output beyond UncompressedSize

// The fixed texts, so the reader, the extraction and the tests use the very same strings.
namespace unzip_msg {
inline constexpr const char kNotValidZip[] = "Not a valid zip file!";
inline constexpr const char kIncompleteZip[] = "Incomplete Zip File";
inline constexpr const char kPrematureEnd[] = "Premature end of file reached";
inline constexpr const char kCanceledZipName[] = "User canceled setting zip file name.";
inline constexpr const char kCanceledDestDir[] = "User canceled Set Desination Directory";
inline constexpr const char kCanceledNewDisk[] = "User canceled loading new disk.";
inline constexpr const char kUserAborted[] = "User Aborted Operation";
// Raised from the input refill of the extraction; this text exists in Russian only.
inline constexpr const char kOperationAborted[] = "Операция прервана пользователем.";
inline constexpr const char kBiggerThanUncompressed[] = "File is larger than uncompressed size!";
inline constexpr const char kIndexOutOfRange[] = "Index %d is out of range";
inline constexpr const char kDuplicateObject[] = "Duplicate Object index";
inline constexpr const char kZip64[] =
    "The archive uses the ZIP64 extension (over 4 GB or over 65535 entries), which is not "
    "supported";
inline constexpr const char kZip64Entry[] =
    "The entry uses the ZIP64 extension (over 4 GB), which is not supported";
inline constexpr const char kTooManyEntries[] =
    "The archive holds more than 65535 entries, the most a ZIP archive without the ZIP64 "
    "extension can hold";
}  // namespace unzip_msg
