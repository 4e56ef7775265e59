// The vocabulary of the "[Daemon]" section: one row per key with its parser
// and the token counts it takes (the key itself counted).
#pragma once

#include <cstdint>

class TarvoMainSettings;

// A parser gets the tokens of one line (token 0 is the key) and returns 0 for
// a bad value, anything else for success.
typedef int32_t (*ConfigParser)(const char* const* tokens, int count);

// A maximum token count that stands for any number up to the line's limit.
constexpr uint8_t kAnyTokenCount = 255;

struct ConfigKeyRow {
    const char* name; // compared without case; null ends the table
    ConfigParser parser;
    uint8_t minTokens;
    uint8_t maxTokens;
};

extern ConfigKeyRow ConfigKeyTable[];

// The first row whose name equals name without case, or null.
const ConfigKeyRow* FindConfigKey(const char* name);

// The scan settings that the parsers of the scan-settings keys fill.
extern TarvoMainSettings* ConfigTargetSettings;

// Value readers shared by the parsers.
// "Yes", "On", "1" give 1; "No", "Off", "0" give 0 (without case); false for
// anything else.
bool ParseBoolValue(const char* text, int32_t& out);
// Decimal digits (and one leading '-' when allowed) below 2147483647; false
// for an empty text, any other character and larger numbers.
bool ParseConfigNumber(const char* text, bool allowMinus, int32_t& out);
