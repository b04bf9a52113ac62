#include "loader/data_coverage.h"

#include <algorithm>
#include <iterator>

bool CDataCoverage::Add(uint32_t address, uint32_t length, uint64_t* first, uint64_t* last) {
    const uint64_t begin = address;
    const uint64_t end = begin + length;
    if (m_last != m_ranges.end() && m_last->second == begin) {
        const Ranges::iterator next = std::next(m_last);
        if (next == m_ranges.end() || next->first > end) {
            m_last->second = end;
            return false;
        }
    }
    // Every range that overlaps or touches the new one is merged into it. The first such range's
    // node is reused, so that a file read backwards or with gaps does not allocate for every
    // record, only for every separate range.
    Ranges::iterator it = m_ranges.upper_bound(begin);
    if (it != m_ranges.begin() && std::prev(it)->second >= begin) {
        --it;
    }
    bool overlap = false;
    uint64_t mergedBegin = begin;
    uint64_t mergedEnd = end;
    Ranges::node_type node;
    while (it != m_ranges.end() && it->first <= end) {
        const uint64_t from = std::max(it->first, begin);
        const uint64_t to = std::min(it->second, end);
        if (from < to) {
            if (!overlap) {
                *first = from;
            }
            *last = to - 1;
            overlap = true;
        }
        mergedBegin = std::min(mergedBegin, it->first);
        mergedEnd = std::max(mergedEnd, it->second);
        const Ranges::iterator after = std::next(it);
        if (node.empty()) {
            node = m_ranges.extract(it);
        } else {
            m_ranges.erase(it);
        }
        it = after;
    }
    if (node.empty()) {
        m_last = m_ranges.emplace_hint(it, mergedBegin, mergedEnd);
    } else {
        node.key() = mergedBegin;
        node.mapped() = mergedEnd;
        m_last = m_ranges.insert(it, std::move(node));
    }
    return overlap;
}
