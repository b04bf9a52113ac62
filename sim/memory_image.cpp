#include "sim/memory_image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace sim {

namespace {

constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;
constexpr std::size_t kRecordData = 32;
const char kHeaderText[] = "tovik-sim";

std::uint64_t EndOf(const std::map<std::uint32_t, std::vector<std::uint8_t>>::const_iterator& it) {
    return std::uint64_t{it->first} + it->second.size();
}

// One record: type, count, address, data and the ones' complement of the byte sum.
void AppendRecord(char type, std::uint32_t address, int addressBytes, const std::uint8_t* data,
                  std::size_t size, std::string& out) {
    static const char kHex[] = "0123456789ABCDEF";
    auto hexByte = [&out](unsigned byte) {
        out.push_back(kHex[(byte >> 4) & 0x0F]);
        out.push_back(kHex[byte & 0x0F]);
    };
    const unsigned count = static_cast<unsigned>(addressBytes + size + 1);
    unsigned sum = count;
    out.push_back('S');
    out.push_back(type);
    hexByte(count);
    for (int shift = (addressBytes - 1) * 8; shift >= 0; shift -= 8) {
        const unsigned byte = (address >> shift) & 0xFF;
        sum += byte;
        hexByte(byte);
    }
    for (std::size_t i = 0; i < size; ++i) {
        sum += data[i];
        hexByte(data[i]);
    }
    hexByte(~sum & 0xFF);
    out.push_back('\n');
}

} // namespace

bool MemoryImage::Write(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
    const std::uint64_t end = std::uint64_t{address} + size;
    if (end > kAddressSpace) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    // Every run that overlaps or touches [address, end) is folded into one.
    auto first = runs_.upper_bound(address);
    if (first != runs_.begin() && EndOf(std::prev(first)) >= address) {
        --first;
    }
    auto last = first;
    while (last != runs_.end() && last->first <= end) {
        ++last;
    }
    if (first == last) {
        runs_.emplace(address, std::vector<std::uint8_t>(data, data + size));
        return true;
    }
    const std::uint32_t start = std::min(address, first->first);
    const std::uint64_t mergedEnd = std::max(end, EndOf(std::prev(last)));
    std::vector<std::uint8_t> merged;
    if (first->first == start) {
        merged = std::move(first->second);
        ++first;
    }
    merged.resize(static_cast<std::size_t>(mergedEnd - start));
    for (auto it = first; it != last; ++it) {
        std::copy(it->second.begin(), it->second.end(), merged.begin() + (it->first - start));
    }
    std::copy(data, data + size, merged.begin() + (address - start));
    runs_.erase(runs_.lower_bound(start), last);
    runs_.emplace(start, std::move(merged));
    return true;
}

std::size_t MemoryImage::ByteCount() const {
    std::size_t total = 0;
    for (const auto& run : runs_) {
        total += run.second.size();
    }
    return total;
}

std::string FormatS3Records(const MemoryImage& image) {
    std::string out;
    AppendRecord('0', 0, 2, reinterpret_cast<const std::uint8_t*>(kHeaderText),
                 sizeof(kHeaderText) - 1, out);
    for (const auto& run : image.Runs()) {
        const std::vector<std::uint8_t>& bytes = run.second;
        for (std::size_t offset = 0; offset < bytes.size(); offset += kRecordData) {
            const std::size_t size = std::min(kRecordData, bytes.size() - offset);
            AppendRecord('3', static_cast<std::uint32_t>(run.first + offset), 4,
                         bytes.data() + offset, size, out);
        }
    }
    AppendRecord('7', 0, 4, nullptr, 0, out);
    return out;
}

bool WriteS3File(const MemoryImage& image, const std::string& path, std::string* error) {
    const std::string text = FormatS3Records(image);
    const std::string temporary = path + ".part";
    auto fail = [&](const char* what) {
        if (error) {
            *error = std::string(what) + " " + path + ": " + std::strerror(errno);
        }
        std::remove(temporary.c_str());
        return false;
    };
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        return fail("cannot create");
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        return fail("cannot write");
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail("cannot replace");
    }
    return true;
}

} // namespace sim
