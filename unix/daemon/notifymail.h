// Notification mail: a short letter to the administrator, piped into the configured MailCommand by a
// detached grandchild under a time limit, so that a hanging mail program cannot block the daemon.
#pragma once

#include <sys/types.h>

#include <string>

extern const char kObsoleteBasesSubject[];
extern const char kObsoleteBasesBody[];
// The limit of the mail command, in seconds, from its start until it has read the letter and ended.
extern int MailCommandTimeoutSeconds;

// The command line and the subject header for a letter with this subject: the first "%s" of
// mailCommand becomes the subject in double quotes (as text: nothing else of the command is
// interpreted) and there is no subject header; without "%s" the header is "Subject: ...\r\n".
void BuildMailCommand(const std::string& mailCommand, const char* subject, std::string* command,
                      std::string* subjectHeader);
// The letter as written to the command: "To:" (when MailTo is set), the subject header, the MIME
// headers, an empty line and the body.
std::string BuildLetter(const std::string& subjectHeader, const char* body);

// Mails the obsolete-bases letter: 1 when the sending process was started, 0 when it could not be
// or when no MailCommand is configured (both logged).
int NotifyObsoleteBases();
// Runs command through the shell in a detached grandchild and writes the letter to it. 1 when the
// first fork succeeded, else 0. Later failures, the command's exit status and the time-out are
// logged with message 194.
int SendNotificationMail(const char* command, const char* subjectHeader, const char* body);
// The time-out of the command (process group commandGroup): kills it, logs, and ends the process.
[[noreturn]] void OnMailCommandTimeout(pid_t commandGroup);

// What the grandchild does: runs the command, writes the letter, waits for the command within
// MailCommandTimeoutSeconds. 0 when the command ended with status 0, else -1 (logged).
int RunMailCommand(const char* command, const std::string& letter);
