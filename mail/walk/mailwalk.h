// The mail walk: one e-mail message scanned part by part. The message is parsed into its tree, every
// leaf part is decoded and handed to the engine as a memory object, a part found infected is replaced
// by its cured bytes or by a notice, a changed message is written back, and the answer goes to the
// client through the scan reply writer.
//
// Every leaf is scanned decoded as mail readers decode it, and where readers differ (readings.h) each
// of their readings is scanned too. What the walk could not read so (a part nested too deep, an
// encoded body that decodes to nothing, more readings than a message may have) counts as a read
// error: the reply's bit 0x1 says that the message was not fully examined, and a log line names the
// part and why. It is never answered "nothing found" alone.
//
// Nothing in the request road calls the two entries. A result of -1 means the walk did not look at
// the object at all (a text that holds no header field, or whose header block fails the syntax check
// while it declares no encoding and reads no other way, or an empty multipart body): the caller must
// then scan the object whole, as a plain file, before it answers (tools/maildemo.cpp does).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mail/mime/enums.h"
#include "unix/protocol/budget.h"

class DwEntity;
class DwField;
class DwHeaders;
class ScanTask;

// The walk's result bits share the word of the engine's result bits, and three of them mean something
// else there:
//   0x200   TARVO_RESULT_DELETED: here also "the time-out struck" (the walk then writes nothing back);
//   0x1000  TARVO_RESULT_CONTAINER: here "a partial message was skipped";
//   0x20000 TARVO_RESULT_SPLIT_FILE: here "rejected by a header rule";
//   0x10000 TARVO_RESULT_NO_MEMORY_TO_EXTRACT: here "the message did not fit in memory".
// A caller can rely on the reply (built from the task's statistics, not from these bits) and on the
// results -1, kMailPartialSkipped, kMailRejected and kMailNoMemory of the driver; for any other result
// a set 0x200 alone does not tell a deleted part from a time-out.
enum : uint32_t {
    kMailTimedOut = 0x200,
    kMailWriteFailed = 0x40,
    kMailPartialSkipped = 0x1000,
    kMailRejected = 0x20000,
    kMailNoMemory = 0x10000,
};

// A message that does not fit in memory, wherever the walk runs out of it (or one of 2^31 bytes or
// more), is logged with "no memory", answered with the no-memory error of the protocol (never as
// clean) and ends with kMailNoMemory; nothing is written back.

// The mail file name read whole through the host file services, then ScanMailMessage with fromFile 1.
// -1 when it could not be opened or read whole, or when the walk did not take it as mail (see above).
int ScanMailFile(const char* name, int fd, TimeBudget& budget);

// size bytes of the object at path (a memory file or a real one), shown as path or, with named 0, as
// "DATA[pid]"; then ScanMailMessage with fromFile 0. -1 when it could not be read whole, or when the
// walk did not take it as mail (see above). A memory file is parsed where it lies, not copied: the walk
// leaves it as it is.
int ScanMailObject(int fd, TimeBudget& budget, uint32_t size, int named, const char* path);

// The driver. -1: not handled as mail; kMailPartialSkipped; kMailRejected; kMailNoMemory; else the
// status word.
int ScanMailMessage(std::string& text, const char* name, int fd, TimeBudget& budget, int fromFile);

// The sending client's IPv4 address from the Received fields (most significant byte first), 0 when none.
uint32_t FindSenderAddress(const DwHeaders& headers);

// Decodes body by the transfer encoding cte into decoded; a decoder error prints a warning naming the
// part and the encoding. The decoded text is used all the same.
void DecodePartBody(const char* name, int cte, std::string_view body, std::string& decoded);
// The same without a word: the decoder's result (0, or -1 after an error).
int DecodeBody(int cte, std::string_view body, std::string& decoded);
// Whether the transfer encoding cte has a decoder (base64, quoted-printable, uuencode): a body in
// any other is read as it stands. Inline: every part asks, twice.
inline bool HasBodyDecoder(int cte) {
    return cte == kCteBase64 || cte == kCteQuotedPrintable || cte == kCteUuencode;
}

// Whether the field is called name (compared without case).
bool IsFieldNamed(const DwField& field, const char* name);
// Replaces every field called name by one field "name: value".
void SetHeaderField(DwHeaders& headers, const char* name, const char* value);
// Removes every field called name (compared without case): 1 when one was removed, else 0.
int RemoveFieldsByName(DwHeaders& headers, const char* name);

// DebugMail: the tree drawn on the console and log, each leaf's raw and decoded body into new files
// of their own (mode 0600, the process id in their names).
void DumpMimeTree(int level, DwEntity& entity);
