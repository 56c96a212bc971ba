#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

#include <cstdint>

// Values to texts and back in the forms the files and protocols use. Unreadable input
// gives 0 or false; nothing here reports an error.

namespace orvane {

String boolToString(bool b);
bool parseBool(const char* text);
String intToString(int32_t n);
int32_t parseInt(const char* text);
// Reads a port number the way parseInt reads its text (blanks, a sign, digits, anything
// after them ignored; no digits give 0) but without wrapping: false for a value outside
// 0 to 65535, and port is then left as it was.
bool parsePortNumber(const char* text, int& port);
String uintToString(uint32_t n);
String uint64ToString(uint64_t n);
uint64_t parseUInt64(const char* text);
uint32_t parseUInt32(const char* text);
String byteToHex(uint8_t b);
// 0 to 15 for a hex digit of either case, -1 for any other character.
int hexDigitValue(char c);
String percentEscape(uint8_t b);

// Text length of the base64 form of n bytes.
int base64EncodedLength(int n);
String base64Encode(const void* bytes, int count);
String base64Encode(const char* text);
// Writes exactly base64EncodedLength(count) characters into a buffer the caller sized.
void base64Encode(const void* bytes, int count, char* out);

void base64Decode(const char* chars, int count, ByteArray& out);
ByteArray base64Decode(const char* text);
String base64DecodeToString(const char* text);

} // namespace orvane
