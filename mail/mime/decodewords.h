// Decoding of the encoded words of a header text into one charset, for matching header rules.
#pragma once

// Replaces, in place, every B or Q encoded word of the NUL-terminated text by its decoded bytes
// recoded from the word's charset into targetCharset; the text never grows. Returns 0.
int DecodeEncodedWords(char* text, const char* targetCharset);
