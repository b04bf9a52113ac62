#pragma once
// The rule by which the programming pass joins records into write blocks, on its own so that the
// file check can list the very blocks a run would write without sending anything.
//
// A record joins the current block when its address is the block's address plus its length and
// the block stays within kMaxWriteData; a gap, an overlap or a step back sends the block, and the
// record that caused it becomes the next one. A block is also sent once its length reaches the
// block limit, and at the end record. Headers and records without data neither join nor break a
// block. The limit starts high and drops for good at the first record with data below 0x10000.

#include "loader/program_file.h"

#include <cstdint>

class CBlockJoiner {
public:
    // limit: the block limit to read and lower; the programming pass gives g_blockLimit, a check
    // that must not change it a copy of its value.
    explicit CBlockJoiner(uint16_t* limit) : m_limit(limit) {}

    // The slot the next line is decoded into (its data, address and length are the outputs).
    BlockSlot* Target() { return m_target; }

    // Takes the result of the line just decoded into Target(). True when Block() is due to be
    // sent now: after an end record (which leaves nothing further to send), a break, or the limit
    // reached. A line that failed to decode only counts for the limit and never makes a block due.
    bool TakeLine(int result);

    // The block being assembled (a due one may be empty: nothing is sent for it).
    const BlockSlot& Block() const { return m_block; }

    // After a due block went: the record that broke it, or the empty rest of a full block, becomes
    // the block being assembled.
    void NextBlock() { m_block = m_record; }

private:
    uint16_t* m_limit;
    BlockSlot m_block{};
    BlockSlot m_record{};
    BlockSlot* m_target = &m_block; // the block until it holds a record with data
};
