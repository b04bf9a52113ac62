#include "loader/record_count.h"

#include "loader/srecord_reader.h"

int CRecordCount::TakeOther(int result, char type, uint32_t address) {
    if (result == kRecordCount) {
        const uint32_t mask = type == '5' ? 0xFFFFu : 0xFFFFFFu;
        if ((m_records & mask) != address) {
            m_counted = address;
            return kRecordCountWrong;
        }
        return kRecordOk;
    }
    return result;
}
