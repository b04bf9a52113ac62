#pragma once
// Which addresses the data records of a file have given bytes to so far, so that a record giving
// some of them again can be told apart.

#include <cstdint>
#include <map>

class CDataCoverage {
public:
    CDataCoverage() = default;
    CDataCoverage(const CDataCoverage&) = delete;
    CDataCoverage& operator=(const CDataCoverage&) = delete;

    // Adds the bytes from address to address + length - 1 (length above 0; the last address may
    // lie beyond 0xFFFFFFFF). True when some of them were covered already: *first and *last are
    // then the lowest and the highest of those.
    bool Add(uint32_t address, uint32_t length, uint64_t* first, uint64_t* last);

private:
    using Ranges = std::map<uint64_t, uint64_t>;
    // Covered ranges, neither overlapping nor touching: first address -> one past the last.
    Ranges m_ranges;
    // The range that grew last; the next record of a file usually follows on it.
    Ranges::iterator m_last = m_ranges.end();
};
