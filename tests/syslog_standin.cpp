// Linked into every unit-test program: no test writes to the system log. From before the first test
// on, a line that would go to syslog is dropped; a test that looks at such lines puts its own
// capture in place of this one.
#include "base/logwriter.h"

namespace {

void DropLine(int, const char*, const char*) {}

const bool kSyslogDropped = (LogSyslogSend = DropLine, true);

} // namespace
