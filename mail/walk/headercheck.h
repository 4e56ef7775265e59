// The syntax check of a message that has no Content-Type field.
#pragma once

#include <string>

class DwHeaders;

// 0 when every field is well formed; otherwise -1 after completing the line "prefix name " with the
// failure, the field's number and ", pass object to engine as is".
int CheckHeaderSyntax(const DwHeaders& headers, const std::string& prefix, const char* name);
