// The compiled-in configuration text: its stored form and its parser.
// Portable: no Win32.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/SetupRecord.h"

// Stored form: the length as decimal text in 4 bytes (at most 999) and a
// 1004-byte area of which the first length bytes are the scrambled text.
constexpr std::size_t kSetupTextLengthSize = 4;
constexpr std::size_t kSetupTextDataSize = 1004;
constexpr int32_t kSetupTextMaxLength = 999;
// The working buffer the text is unscrambled into and parsed from.
constexpr std::size_t kSetupBufferSize = 1024;
constexpr int kSetupMaxValues = 12;

// Decimal value of the stored length text: leading blanks skipped, an optional
// sign, then digits up to the first non-digit. Reads at most `size` bytes.
int32_t SetupTextLengthValue(const char* text, std::size_t size);

// Parses the unscrambled text in `buffer` (kSetupBufferSize bytes, modified:
// each value's line end becomes a zero) into the record's ProductName (value 2),
// ProductFolder (value 4) and ProgramPath (value 5). Always returns 0.
// Never reads or writes outside the buffer; a value too long for its field is
// cut to 259 bytes; values beyond the twelfth are ignored.
int ParseSetupText(char* buffer, SetupRecord& record);

// The first loading steps: copies the stored text into the zeroed working
// buffer and returns its length, ready to be unscrambled in place and parsed;
// a stored length outside 0..999 copies nothing and gives -1.
int32_t CopySetupText(const char* lengthText, const char* data, char (&buffer)[kSetupBufferSize]);
