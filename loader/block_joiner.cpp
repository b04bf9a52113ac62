#include "loader/block_joiner.h"

#include "loader/srecord_reader.h"

namespace {

constexpr uint32_t kLowMemoryEnd = 0x10000;

} // namespace

bool CBlockJoiner::TakeLine(int result) {
    // The limit looks at what the slot holds after any line, before its result is known.
    if (*m_limit == kFirstBlockLimit && m_target->address < kLowMemoryEnd &&
        m_target->length != 0) {
        *m_limit = kLowMemoryBlockLimit;
    }
    if (result == kRecordEnd) {
        m_target->length = 0;
        return true;
    }
    if (result != kRecordOk || m_target->length == 0) {
        // A failed line ends the pass; headers and empty data records neither join nor break.
    } else if (m_target == &m_block) {
        m_target = &m_record;
    } else if (m_block.address + m_block.length != m_record.address ||
               m_block.length + m_record.length > kMaxWriteData) {
        // A gap, an overlap or a step back, or a record that would make the block too long for
        // one "!W": the block goes as it is and the record starts the next one.
        return true;
    } else {
        // Not std::memcpy: for a length it cannot bound, the compiler inlines a string move that
        // is slow to start for a record's few bytes.
        for (int i = 0; i < m_record.length; ++i) {
            m_block.data[m_block.length + i] = m_record.data[i];
        }
        m_block.length = static_cast<uint16_t>(m_block.length + m_record.length);
        m_record.address += m_record.length;
        m_record.length = 0;
    }
    return result == kRecordOk && m_block.length >= *m_limit;
}
