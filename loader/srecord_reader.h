#pragma once
// Reading a Motorola S-record file one line at a time.
//
// A line is "S", a type digit, a byte count, an address of 2, 3 or 4 bytes (types 1, 2, 3), the
// data bytes and a checksum, all as pairs of hexadecimal digits. The count covers address, data and
// checksum; the checksum is the one's complement of the 8-bit sum of count, address and data bytes.
// Type 0 is a header, types 7, 8 and 9 end the file, types 5 and 6 count the data records before
// them (as srec_cat writes by default); nothing else is accepted.
//
// The reader works on a fixed stack buffer and the caller's data buffer: no allocation per line.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Results of decoding a line (DecodeSRecord, ReadSRecord).
constexpr int kRecordOk = 0;
constexpr int kRecordBadAddress = 1;
constexpr int kRecordBadChecksum = 2;
constexpr int kRecordCount = 3; // S5 or S6: *address = the number of data records it counts
constexpr int kRecordNotSRecord = 4;
constexpr int kRecordUnsupportedType = 5;
constexpr int kRecordBadCount = 6;
constexpr int kRecordBadData = 7;
constexpr int kRecordEnd = 9;
constexpr int kRecordNoLine = -11;

// The longest piece of a line one call reads, including its '\n'; longer lines are read in pieces
// and each further piece is decoded as a line of its own.
constexpr int kRecordLineChars = 254;

// The smallest data buffer a line may be decoded into: the count byte can announce up to 255 bytes.
constexpr int kRecordDataCapacity = 255;

// Decodes one line the way ReadSRecord decodes a line it has read, with the same results and
// outputs: the line is line[0] to line[size - 1] (at most kRecordLineChars characters, its '\n'
// included or not) and ends early at a '\0' in it, as a line read by fgets does. Nothing beyond
// line[size - 1] is read, so a line can be decoded where it lies inside a larger text. When type
// is given it receives the record type, the character after the 'S' ('\0' when there is none).
int DecodeSRecord(const char* line, size_t size, uint8_t* data, uint32_t* address, int16_t* length,
                  char* type = nullptr);

// 1 + the number of '\n' bytes from the current position to the end of the file; leaves the
// position at the end.
int CountLines(FILE* file);

// Decodes two hexadecimal digits (either case) at *cursor into *byte and adds the byte to *sum
// (mod 256) when sum is not null. Returns 0, or -1 when a digit is missing: then *byte and *sum
// are unchanged and the cursor stays in front of the first non-digit.
int ReadHexByte(const char** cursor, uint8_t* byte, uint8_t* sum);

// Decodes an n-byte big-endian address; *address is written only when all n bytes decode.
// Returns 0, or 1 when a byte is bad.
int ReadRecordAddress(const char** cursor, int n, uint32_t* address, uint8_t* sum);

// Decodes n data bytes into data, each stored as soon as it is decoded. Returns 0, or 1 when a
// byte is bad.
int ReadRecordData(uint8_t* data, const char** cursor, uint8_t n, uint8_t* sum);

// Decodes the checksum byte (not added to sum). Returns 0 when it is the one's complement of sum,
// 1 when it is not or its digits are bad or missing.
int CheckRecordSum(const char** cursor, uint8_t sum);
