// The driver of the mail walk and its two entries.
#include "mail/walk/mailwalk.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "base/logwriter.h"
#include "base/messages.h"
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/entity.h"
#include "mail/mime/enums.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/lines.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/walk/envelope.h"
#include "mail/walk/headercheck.h"
#include "mail/walk/headerrules.h"
#include "mail/walk/mailsettings.h"
#include "mail/walk/readings.h"
#include "mail/walk/walkoutput.h"
#include "mail/walk/walkparts.h"
#include "mail/walk/writeback.h"
#include "shell/host/hostfiles.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/scan/requestoption.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"
#include "shell/scan/scantask.h"
#include "unix/config/daemonsettings.h"
#include "unix/protocol/mailenvelope.h"
#include "unix/protocol/resultcode.h"
#include "unix/protocol/scanoptions.h"
#include "unix/protocol/scanrequest.h"

namespace {

// The result flags of a reply the walk sends without a scan result of its own.
constexpr uint32_t kPlainReplyFlags = 139;

// alarm(FileTimeout) with the scan time-out handler, not restarting interrupted calls.
class WalkAlarm {
public:
    WalkAlarm() {
        struct sigaction action {};
        action.sa_handler = OnScanTimeout;
        sigemptyset(&action.sa_mask);
        installed_ = sigaction(SIGALRM, &action, &saved_) == 0;
        ScanTimeoutFlag = 0;
        if (FileTimeout > 0) alarm(static_cast<unsigned>(FileTimeout));
    }
    ~WalkAlarm() {
        alarm(0);
        if (installed_) sigaction(SIGALRM, &saved_, nullptr);
    }
    WalkAlarm(const WalkAlarm&) = delete;
    WalkAlarm& operator=(const WalkAlarm&) = delete;

private:
    struct sigaction saved_ {};
    bool installed_ = false;
};

// What every exit of the driver clears: the found lists and the reason of a rejection.
class MessageLists {
public:
    MessageLists() { Clear(); }
    ~MessageLists() { Clear(); }
    MessageLists(const MessageLists&) = delete;
    MessageLists& operator=(const MessageLists&) = delete;

private:
    static void Clear() {
        FreeReasonString();
        RequestReasonText = nullptr;
        ClearFoundLists();
    }
};

// The scan reply, with the reason of a rejection when OPT1 asks for it.
void Reply(int fd, TimeBudget& budget, ScanTask* task, uint32_t status, const char* object) {
    RequestReasonText = ReasonString();
    SendScanReply(fd, budget, task, status, object);
    RequestReasonText = nullptr;
}

void TopType(DwHeaders& headers, int* type, int* subtype) {
    DwMediaType* mediaType = headers.FindContentType();
    if (!mediaType || mediaType->Type() < kTypeText) {
        *type = kTypeText;
        *subtype = kSubtypePlain;
    } else {
        *type = mediaType->Type();
        *subtype = mediaType->Subtype();
    }
}

void LogMailInfo(DwHeaders& headers, const std::string& prefix, const char* name) {
    if (DwField* subject = headers.FindField("Subject"))
        PrintMessage("%s%s - subject: %s", prefix.c_str(), name, subject->FieldBodyText().c_str());
    else
        PrintMessage("%s%s - subject: (unknown)", prefix.c_str(), name);
    EndMessageLine(0);
    const uint32_t ip = FindSenderAddress(headers);
    if (ip)
        PrintMessage("%s%s - ip: %u.%u.%u.%u ", prefix.c_str(), name, ip >> 24, (ip >> 16) & 255u,
                     (ip >> 8) & 255u, ip & 255u);
    else
        PrintMessage("%s%s - ip: (unknown)", prefix.c_str(), name);
    EndMessageLine(0);
    if (!EnvelopeSender.empty())
        PrintMessage("%s%s - from: %s", prefix.c_str(), name, EnvelopeSender.c_str());
    else
        PrintMessage("%s%s - from: (unknown) ", prefix.c_str(), name);
    EndMessageLine(0);
    std::string to;
    for (uint32_t i = 0; i < EnvelopeRecipients.Count(); ++i) {
        const char* recipient = static_cast<const char*>(EnvelopeRecipients.GetAt(i));
        if (i > 0) to += ",";
        to += recipient ? recipient : "";
    }
    PrintMessage("%s%s - to: %s", prefix.c_str(), name,
                 EnvelopeRecipients.Count() ? to.c_str() : "(unknown)");
    EndMessageLine(0);
}

// The changed message's text. Only the entities on the way from the message to a part the walk
// rewrote are put together again, with CR LF line ends in their headers and in the rewritten bodies;
// every other part keeps the bytes it came with (binary and 8-bit data among them), and nothing the
// walk did not change is rebuilt from its parsed pieces.
class ChangedMessageText {
public:
    // The top entity counts as changed: its headers lost their length fields.
    ChangedMessageText(const std::vector<DwEntity*>& rewritten, const DwEntity& top) {
        onPath_.insert(&top);
        for (DwEntity* part : rewritten) {
            rewritten_.insert(part);
            for (const DwMessageComponent* node = part; node; node = node->Parent()) onPath_.insert(node);
        }
    }

    void Append(DwEntity& entity, std::string& out) const {
        if (!onPath_.count(&entity)) {
            out += entity.TextView();
            return;
        }
        DwHeaders& headers = entity.Headers();
        headers.Assemble();
        AppendCrLf(headers.Text(), out);
        out += "\r\n";
        DwBody& body = entity.Body();
        if (rewritten_.count(&entity)) {
            AppendCrLf(body.TextView(), out);
        } else if (body.NestedMessage()) {
            Append(*body.NestedMessage(), out);
        } else if (body.PartCount() > 0) {
            DwMediaType* type = headers.FindContentType();
            const std::string boundary = type ? type->Boundary() : std::string();
            const std::string delimiter = "\r\n--" + boundary;
            out += body.Preamble();
            for (int i = 0; i < body.PartCount(); ++i) {
                // A body that began with its first delimiter begins with it again.
                const bool atStart =
                    i == 0 && body.Preamble().empty() && body.TextView().compare(0, 2, "--") == 0;
                out += (atStart ? delimiter.substr(2) : delimiter) + "\r\n";
                Append(body.PartAt(i), out);
            }
            out += delimiter + "--\r\n";
            out += body.Epilogue();
        } else {
            out += body.TextView();
        }
    }

private:
    static void AppendCrLf(std::string_view text, std::string& out) {
        std::string converted;
        ToCrLf(text, converted);
        out += converted;
    }

    std::set<const DwMessageComponent*> onPath_;
    std::set<const DwEntity*> rewritten_;
};

// A write-back that did not happen: what the scan cured or deleted is still in the message.
void CountUntreated(ScanStat& stat) {
    stat.leftInfected += stat.cured + stat.deleted;
    stat.cured = 0;
    stat.deleted = 0;
}

uint32_t WriteFailed(ScanTask& task, uint32_t status) {
    task.CountWriteError();
    CountUntreated(task.TaskStat());
    CountUntreated(task.TotalStat());
    return (status | kMailWriteFailed) & ~(TARVO_RESULT_CURED | TARVO_RESULT_DELETED);
}

// Backup, write-back and reply of a changed message: the status. The tree is released once the
// message is written, before the reply that sends it.
uint32_t WriteBack(std::unique_ptr<DwMessage>& message, std::string_view envelope, MailWalkState& walk,
                   const std::string& prefix, const char* name, int fd, TimeBudget& budget, int fromFile) {
    ScanTask& task = *walk.task;
    uint32_t status = walk.status;
    RemoveFieldsByName(message->Headers(), "Lines");
    RemoveFieldsByName(message->Headers(), "Content-Length");
    if (BackupFilesTo[0] && fromFile) {
        std::string backup;
        if (CreateBackupCopy(name, BackupFilesTo, backup) != 0) {
            PrintMessage("%s%s", prefix.c_str(), MessageText(145));
            EndMessageLine(0);
            // The client is answered all the same, with nothing claimed as treated.
            status = WriteFailed(task, status);
            Reply(fd, budget, &task, status, nullptr);
            return status;
        }
        PrintMessage("%s%s '%s'", prefix.c_str(), MessageText(154), backup.c_str());
        EndMessageLine(0);
    }
    std::string output;
    int written = -1;
    try {
        std::string data(envelope);
        ChangedMessageText(walk.rewritten, *message).Append(*message, data);
        if (!(RequestOptionWord & kOpt1ServerFileState) && fromFile)
            written = ReplaceFileContents(name, data);
        else
            written = WriteTemporaryObject(data, output);
    } catch (const std::bad_alloc&) {
        PrintMessage("%s%s %s (%s)", prefix.c_str(), name, MessageText(155), MessageText(170));
        EndMessageLine(0);
        status = WriteFailed(task, status);
        Reply(fd, budget, &task, status, nullptr);
        return status;
    }
    if (written != 0) {
        PrintMessage("%s%s %s", prefix.c_str(), output.empty() ? name : output.c_str(), MessageText(155));
        EndMessageLine(0);
        status = WriteFailed(task, status);
        output.clear();
    }
    // The reply opens the object it sends by name and then unlinks it, and a memory file of that name
    // would answer first: no byte of the tree is read from here on.
    message.reset();
    Reply(fd, budget, &task, status, output.c_str());
    return status;
}

// Whether a message without a Content-Type has to be walked whatever its header block: it declares a
// transfer encoding, or other readers read more into it than its text as it stands, which is all a
// plain scan of it would show the engine.
bool MustBeWalked(DwMessage& message) {
    const DwMechanism* mechanism = message.Headers().FindContentTransferEncoding();
    const int cte = mechanism ? mechanism->AsEnum() : kCteNull;
    if (HasBodyDecoder(cte)) return true;
    std::vector<EntityReading> readings;
    OtherEntityReadings(message, &readings);
    for (const EntityReading& reading : readings)
        if (reading.why != kStrictHeaderReading) return true;
    return false;
}

// The walk of the message made of the text after the envelope, from its parse on.
int WalkMessage(std::unique_ptr<DwMessage> message, std::string_view envelope, const char* name, int fd,
                TimeBudget& budget, int fromFile) {
    if (!message) return -1;
    const size_t readingBytes = 2 * message->TextView().size() + 65536;
    message->Parse();
    // Readers that end lines at a lone CR read another message: it is walked too.
    std::string loneCr;
    LoneCrReading(message->TextView(), loneCr);

    MessageLists lists;
    DwHeaders& headers = message->Headers();
    int type = 0;
    int subtype = 0;
    TopType(headers, &type, &subtype);

    MailSettingsScope settings;
    settings.Apply(RequestOptionWord);
    const std::string prefix = ProcessPrefix();
    if (!headers.HasContentType() && loneCr.empty() && !MustBeWalked(*message) &&
        CheckHeaderSyntax(headers, prefix, name) != 0)
        return -1;
    ScanTask task(MainSettings, 0, kScanStackBudget);

    if (LogArchived) {
        PrintMessage("%s%s - %s MAIL", prefix.c_str(), name, MessageText(33));
        EndMessageLine(0);
    }
    if (LogExtendedMailInfo) LogMailInfo(headers, prefix, name);
    MailWalkState walk;
    walk.task = &task;
    walk.name = name;
    walk.readingBytesLeft = readingBytes;
    if (!loneCr.empty()) AddMessageReading(walk, std::move(loneCr), "lone CR bytes taken as line ends");
    const bool partial = type == kTypeMessage && subtype == kSubtypePartial;
    if (partial) {
        // The whole message cannot be put together here; the fragment it holds is still looked at.
        PrintMessage("%s%s %s", prefix.c_str(), name, MessageText(151));
        EndMessageLine(0);
        task.CountSkipped();
    }
    if (DebugMail) DumpMimeTree(1, *message);
    if (!partial && ApplyHeaderRules(0, *message, name) != 0) {
        task.CountRejected();
        Reply(fd, budget, &task, kPlainReplyFlags, nullptr);
        return static_cast<int>(kMailRejected);
    }
    if (type == kTypeMultipart && message->Body().PartCount() == 0) return -1;

    {
        WalkAlarm alarmed;
        int stop = 0;
        if (partial) {
            AddMessageReading(walk, std::string(message->Body().TextView()),
                              "the fragment of a partial message");
        } else {
            QueueTreeReadings(walk, *message);
            // What the tree's walk scans is remembered only when something will be read again.
            walk.remember = !walk.pending.empty() || walk.readingsCut;
            stop = ScanMultipartParts(walk, *message);
        }
        if (!stop && !ScanTimeoutFlag) WalkOtherReadings(walk);
    }
    // A time-out during the last part stops the write-back as one between two parts does.
    if (ScanTimeoutFlag) {
        walk.changed = 0;
        walk.status |= kMailTimedOut;
        if (task.TaskStat().timeouts == 0) task.CountTimeout();
        // What the parts before it had cured or deleted is not written back: nothing was treated.
        CountUntreated(task.TaskStat());
        CountUntreated(task.TotalStat());
        // Taken into the status: the flag may not stop whatever the process scans next.
        ScanTimeoutFlag = 0;
    }
    if (partial) {
        Reply(fd, budget, &task, walk.status, nullptr);
        return static_cast<int>(kMailPartialSkipped | walk.status);
    }
    if (!walk.changed) {
        Reply(fd, budget, &task, walk.status, nullptr);
        return static_cast<int>(walk.status);
    }
    return static_cast<int>(WriteBack(message, envelope, walk, prefix, name, fd, budget, fromFile));
}

// The answer to a message that did not fit in memory (what the walk held is freed by then).
int NoMemory(const char* name, int fd, TimeBudget& budget) {
    PrintMessage("%s%s - %s!", ProcessPrefix().c_str(), name, MessageText(170));
    EndMessageLine(0);
    ScanTask task(MainSettings, 0, kScanStackBudget);
    task.CountNoMemory();
    SendScanErrorReply(fd, budget, &task, kRequestErrorNoMemory);
    return static_cast<int>(kMailNoMemory);
}

// Reads length bytes of the open host file handle in pieces of at most piece: 0, or -1 when a read
// failed or ended early.
int ReadWhole(int32_t handle, uint32_t length, uint32_t piece, std::string& text) {
    text.resize(length);
    for (uint32_t done = 0; done < length;) {
        const uint32_t want = length - done < piece ? length - done : piece;
        const int32_t got = HostReadFile(nullptr, handle, &text[done], want);
        if (got <= 0 || static_cast<uint32_t>(got) > want) return -1;
        done += static_cast<uint32_t>(got);
    }
    return 0;
}

// walk(), or the no-memory answer when it runs out of memory anywhere (what it held is freed by then).
template <class Walk> int AnswerNoMemory(const char* name, int fd, TimeBudget& budget, Walk walk) {
    try {
        return walk();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return NoMemory(name, fd, budget);
}

// The message in bytes that stay where they are and unchanged until the walk returns: the tree
// borrows them, the envelope is cut off as a view.
int ScanHeldMessage(std::string_view bytes, const char* name, int fd, TimeBudget& budget) {
    return AnswerNoMemory(name, fd, budget, [&] {
        const size_t envelopeLength = MailEnvelopeLength(bytes);
        std::unique_ptr<DwMessage> message(
            DwMessage::NewMessage(DwBorrowedText{bytes.substr(envelopeLength)}, nullptr));
        return WalkMessage(std::move(message), bytes.substr(0, envelopeLength), name, fd, budget, 0);
    });
}

} // namespace

int ScanMailMessage(std::string& text, const char* name, int fd, TimeBudget& budget, int fromFile) {
    return AnswerNoMemory(name, fd, budget, [&] {
        const size_t envelopeLength = MailEnvelopeLength(text);
        const std::string envelope = text.substr(0, envelopeLength);
        text.erase(0, envelopeLength);
        // The tree takes the text over: it holds the only copy of the message from here on.
        std::unique_ptr<DwMessage> message(DwMessage::NewMessage(std::move(text), nullptr));
        std::string().swap(text);
        return WalkMessage(std::move(message), envelope, name, fd, budget, fromFile);
    });
}

int ScanMailFile(const char* name, int fd, TimeBudget& budget) {
    const int32_t handle = HostOpenFile(nullptr, name, TARVO_OPEN_READ);
    if (handle == -1) return -1;
    const int32_t length = HostFileLength(nullptr, handle);
    std::string text;
    int read = -1;
    try {
        read = length < 0 ? -1 : ReadWhole(handle, static_cast<uint32_t>(length), 16384, text);
    } catch (const std::bad_alloc&) {
        HostCloseFile(nullptr, handle);
        return NoMemory(name, fd, budget);
    }
    HostCloseFile(nullptr, handle);
    if (read != 0) return -1;
    return ScanMailMessage(text, name, fd, budget, 1);
}

int ScanMailObject(int fd, TimeBudget& budget, uint32_t size, int named, const char* path) {
    const std::string display = named ? path : "DATA[" + std::to_string(getpid()) + "]";
    std::string text;
    // No object of the protocol has the sign bit set, and no string holds more than max_size.
    if (static_cast<int32_t>(size) < 0 || size > text.max_size())
        return NoMemory(display.c_str(), fd, budget);
    uint32_t held = 0;
    const uint8_t* data = GetMemoryFileData(&held, path);
    if (data && held >= size) {
        // The client's object held in memory is parsed where it lies, not copied. Nothing that runs
        // until the walk returns moves, changes or frees it:
        // - the tree only reads it (its buffers hand out no writable byte): a change or an assembly
        //   makes text of the tree's own;
        // - the walk writes, grows, truncates, renames and frees no memory file it did not make;
        // - each part (and the stripped page of an HTML part) is scanned as a memory file of its own
        //   that borrows the part's bytes, here where they lie when they need no decoding, and takes
        //   data of its own before its first change (MakeMemoryFileWritable): the engine's cure
        //   (writes, a truncation) never reaches these bytes. The engine and the task's delete,
        //   rename or move act on that file by its name; memory files' names are unique (an add, a
        //   create and a rename refuse a name that exists), so that file is never this one;
        // - the files a part's scan made are freed by their order of making (DeleteSince), and this
        //   one was made before the walk; nothing frees every memory file while the walk runs;
        // - the readings of other mail readers are copies; a time-out only raises a flag; a changed
        //   message is written to a new file (never over a memory file), and the tree is released
        //   before the reply that sends and unlinks that file; a failed allocation releases the tree
        //   before the no-memory answer.
        // A real file could change under the walk: it is read into a copy.
        return ScanHeldMessage(std::string_view(reinterpret_cast<const char*>(data), size), display.c_str(),
                               fd, budget);
    }
    try {
        text.reserve(size);
    } catch (const std::bad_alloc&) {
        return NoMemory(display.c_str(), fd, budget);
    }
    int read = -1;
    if (!data) {
        const int32_t handle = HostOpenFile(nullptr, path, TARVO_OPEN_READ);
        if (handle == -1) {
            PrintMessage("%s%s (%s)", display.c_str(), MessageText(171), "Open");
            EndMessageLine(0);
            return -1;
        }
        read = ReadWhole(handle, size, 4096, text);
        HostCloseFile(nullptr, handle);
    }
    if (read != 0) {
        PrintMessage("%s%s (%s)", display.c_str(), MessageText(171), "Read");
        EndMessageLine(0);
        return -1;
    }
    return ScanMailMessage(text, display.c_str(), fd, budget, 0);
}
