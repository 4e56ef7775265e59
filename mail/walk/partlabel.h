// The name a mail part is shown and scanned under.
#pragma once

#include <string>

class DwHeaders;

// The file name of the part (Content-Disposition, then Content-Type parameters); without one and with
// forScan 1 its bracketed type ("[text:plain]", "[message body]"), with forScan 0 empty. Adds no field.
void PartLabel(DwHeaders& headers, std::string& label, int forScan);
