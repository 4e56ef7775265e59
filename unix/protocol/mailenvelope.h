#pragma once
// The mail envelope of a scan request: sent by mail clients before the name, and, in a mail file on the
// server, the lines before the message that the scan leaves out.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/bufstream.h"
#include "base/tvstrlist.h"
#include "unix/protocol/budget.h"

// The sender and the recipients of the request being served.
extern std::string EnvelopeSender;
extern tvStringList EnvelopeRecipients;

// A text of the envelope holds at most this many bytes, and all of them together, each with its
// length word, this many.
constexpr uint32_t kMaxEnvelopeText = 4096;
constexpr uint32_t kMaxEnvelopeTotal = 1024 * 1024;
// The bound in force: kMaxEnvelopeTotal, lowered by tests that must reach it quickly.
extern uint32_t EnvelopeTotalLimit;

void ClearMailEnvelope();

// Word L and L bytes of the sender, word N, then N times word L and L bytes of a recipient: 0, or -1 after
// the message of the failure (the rest of the request is then not where it should be).
int ReadMailEnvelope(int fd, TimeBudget& budget, bool honourStop);

// The first folded line of a mail file is made of at most this many bytes of it: no more is read to
// decide whether the file begins with an envelope.
constexpr size_t kMaxEnvelopeLine = 16384;

// When the first folded line of the stream matches "P *<*>*": the offset just after the empty line that
// ends the envelope. -1 when there is no envelope, or no empty line after it.
int64_t FindEnvelopeEnd(BufStream* stream);
