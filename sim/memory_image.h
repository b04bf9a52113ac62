#pragma once
// The device's memory: only what the host has written, kept as contiguous runs so a dump shows
// exactly the written ranges and a large sparse address space costs nothing.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

class MemoryImage {
public:
    // Stores the bytes, the newer ones winning where they overlap older ones. False (nothing
    // stored) when the range would run past the end of the 32-bit address space.
    bool Write(std::uint32_t address, const std::uint8_t* data, std::size_t size);

    // Runs of written bytes by start address; neighbouring runs never touch or overlap.
    const std::map<std::uint32_t, std::vector<std::uint8_t>>& Runs() const { return runs_; }
    std::size_t ByteCount() const;
    bool Empty() const { return runs_.empty(); }

private:
    std::map<std::uint32_t, std::vector<std::uint8_t>> runs_;
};

// The image as S-records: an S0 header, S3 records of up to 32 bytes that never cross the end of
// a run, and an S7 end record.
std::string FormatS3Records(const MemoryImage& image);

// Writes FormatS3Records to a file, replacing it as a whole so a reader never sees half of it.
bool WriteS3File(const MemoryImage& image, const std::string& path, std::string* error);

} // namespace sim
