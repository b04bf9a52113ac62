#pragma once
// Count records (S5, S6) against the data records before them, the same for the file check and
// the programming pass.
//
// srec_cat writes an S5 record before the end record unless told not to. It says how many data
// records came before it, so it can tell that records were lost on the way; a file whose count
// is right loads as if the record were a header, one whose count is wrong is refused. Every S1,
// S2 or S3 record counts, with or without data, as srec_cat counts the records it wrote; an S5
// holds the count modulo 0x10000 and an S6 modulo 0x1000000, as their fields do.

#include <cstdint>

// The result for a count record that does not match the data records before it.
constexpr int kRecordCountWrong = 8;

class CRecordCount {
public:
    // Takes a line's record result, its type and the address output after decoding it. Returns
    // the result the line stands for: kRecordOk for a count record that matches (it then reads as
    // a line without data), kRecordCountWrong for one that does not, else result unchanged.
    // Inline: it is called for every line of a file, nearly always with a data record.
    int Take(int result, char type, uint32_t address) {
        if (result == 0 && type >= '1' && type <= '3') {
            ++m_records;
            return result;
        }
        return TakeOther(result, type, address);
    }

    // The data records taken so far, and after kRecordCountWrong what the count record said.
    uint32_t Records() const { return m_records; }
    uint32_t Counted() const { return m_counted; }

private:
    int TakeOther(int result, char type, uint32_t address);

    uint32_t m_records = 0;
    uint32_t m_counted = 0;
};
