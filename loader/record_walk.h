#pragma once
// The one walk over the lines of an S-record text that both the programming pass (reading its
// stream) and the file check (reading the copy in memory) make: how a line is cut into the pieces
// the reader reads, decoded, counted and joined into write blocks is written once, so that the
// check's verdict and its listing of blocks cannot drift from what a run does.
//
// Where the characters come from is a "pieces" object with
//   bool Next(const char** piece, size_t* size, bool* endsLine)  the next piece, false at the end
//   void SkipLine()                                              passes over the rest of the line
// and what the walk's user does with each line and block is a visitor with
//   int BeforeLine()                      0, or a result that ends the walk before the next line
//   int Line(int result, char type, uint32_t address, int16_t length, const CRecordCount& counted)
//                                         the line's result as it stands, after the user's own
//                                         rules (a result other than kRecordOk or kRecordEnd ends
//                                         the walk); address and length as the record gave them
//   int Block(const BlockSlot& block)     0, or a result that ends the walk (a refused write)

#include "loader/block_joiner.h"
#include "loader/record_count.h"
#include "loader/srecord_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

// The first piece of the text from p on, as fgets reading kRecordLineChars characters at most
// takes it; *endsLine when it holds the line end.
inline size_t PieceLength(const char* p, const char* end, bool* endsLine) {
    const size_t room = std::min<size_t>(static_cast<size_t>(end - p), kRecordLineChars);
    const void* lineEnd = std::memchr(p, '\n', room);
    *endsLine = lineEnd != nullptr;
    return lineEnd ? static_cast<size_t>(static_cast<const char*>(lineEnd) - p) + 1 : room;
}

// The position behind the next line end at or after p, or end.
inline const char* BehindLine(const char* p, const char* end) {
    const void* lineEnd = std::memchr(p, '\n', static_cast<size_t>(end - p));
    return lineEnd ? static_cast<const char*>(lineEnd) + 1 : end;
}

// The pieces of a stream, read with fgets.
class CStreamPieces {
public:
    explicit CStreamPieces(FILE* file) : m_file(file) {}
    bool Next(const char** piece, size_t* size, bool* endsLine);
    void SkipLine();

private:
    FILE* m_file;
    char m_buffer[kRecordLineChars + 2];
};

// The same pieces cut from a text in memory, with the line each one lies on.
class CTextPieces {
public:
    CTextPieces(const char* text, size_t size) : m_p(text), m_end(text + size), m_lineStart(text) {}

    bool Next(const char** piece, size_t* size, bool* endsLine) {
        if (m_endsLine) {
            ++m_line;
            m_lineStart = m_p;
            m_endsLine = false;
        }
        if (m_p == m_end) {
            return false;
        }
        *piece = m_p;
        *size = PieceLength(m_p, m_end, &m_endsLine);
        *endsLine = m_endsLine;
        m_p += *size;
        return true;
    }

    void SkipLine() {
        m_p = BehindLine(m_p, m_end);
        m_endsLine = m_p[-1] == '\n';
    }

    // The line (1 + the line ends before it) of the last piece, or, once Next found no more, of
    // what would come next.
    int Line() const { return m_line; }
    const char* LineStart() const { return m_lineStart; }
    // Behind the last piece read (or its line, if that was passed over).
    const char* Position() const { return m_p; }
    bool EndsLine() const { return m_endsLine; }
    const char* End() const { return m_end; }

private:
    const char* m_p;
    const char* m_end;
    const char* m_lineStart;
    int m_line = 1;
    bool m_endsLine = false;
};

// Reads and decodes the next piece as ReadSRecord does; type gets the record type.
template <typename Pieces>
int ReadRecordPiece(Pieces& pieces, uint8_t* data, uint32_t* address, int16_t* length, char* type) {
    const char* piece = nullptr;
    size_t size = 0;
    bool endsLine = false;
    if (!pieces.Next(&piece, &size, &endsLine)) {
        return kRecordNoLine;
    }
    const int result = DecodeSRecord(piece, size, data, address, length, type);
    if (result == kRecordOk && *type == '0' && !endsLine) {
        // A header's line is read to its end however long it is: tools write the build's path
        // into it, and nothing of it is used.
        pieces.SkipLine();
    }
    return result;
}

// Walks the lines of pieces until the end record (kRecordEnd), the end of the text
// (kRecordNoLine), or a line or block that fails (its result). The block limit is read from and
// lowered in *limit.
template <typename Pieces, typename Visitor>
int WalkRecords(Pieces& pieces, uint16_t* limit, Visitor& visitor) {
    CBlockJoiner joiner(limit);
    CRecordCount counted;
    for (;;) {
        int result = visitor.BeforeLine();
        if (result != 0) {
            return result;
        }
        BlockSlot* target = joiner.Target();
        int16_t length = static_cast<int16_t>(target->length);
        char type = 0;
        result = ReadRecordPiece(pieces, target->data, &target->address, &length, &type);
        target->length = static_cast<uint16_t>(length);
        result = counted.Take(result, type, target->address);
        // Joining moves the slot's address on: the visitor gets the record's own.
        result = visitor.Line(result, type, target->address, length, counted);
        const bool due = joiner.TakeLine(result);
        if (result != kRecordOk && result != kRecordEnd) {
            return result;
        }
        if (!due) {
            continue;
        }
        const BlockSlot& block = joiner.Block();
        if (block.length != 0) {
            const int sent = visitor.Block(block);
            if (sent != 0) {
                return sent;
            }
        }
        if (result == kRecordEnd) {
            return kRecordEnd;
        }
        joiner.NextBlock();
    }
}

// Reads one line from file and decodes it.
//   kRecordNoLine: nothing could be read (end of file or a read error); outputs unchanged.
//   kRecordNotSRecord: the line does not start with 'S'; outputs unchanged.
//   kRecordBadCount: the count is not two hexadecimal digits, or a count record's count is not
//     its address bytes + 1; outputs unchanged.
//   kRecordOk from a header (type 0): *length = 0, *address = 0, the rest of the line is not
//     decoded. A header's line is read to its end however long it is.
//   kRecordEnd (types 7, 8, 9): *length = 0, nothing else read, address and data unchanged.
//   kRecordCount (types 5, 6: a 2- or 3-byte count of data records, no data): *length = 0,
//     *address = the count; kRecordBadAddress and kRecordBadChecksum as for a data record, with
//     *length = 0 and address unchanged.
//   kRecordUnsupportedType: *length = 0, address and data unchanged.
// For a data record (types 1, 2, 3) *length = count - address bytes - 1 is stored first (it can
// be negative when the count is too small), then:
//   kRecordBadAddress: address unchanged, data unchanged.
//   kRecordBadData: *address set, data holds the bytes decoded before the bad one.
//   kRecordBadChecksum: address and data set, the checksum is wrong or missing.
//   kRecordOk: address and data set.
// data must hold kRecordDataCapacity bytes. A line longer than kRecordLineChars characters is read
// in pieces, each further piece decoded as a line of its own.
int ReadSRecord(uint8_t* data, FILE* file, uint32_t* address, int16_t* length);
