#include "loader/record_walk.h"

bool CStreamPieces::Next(const char** piece, size_t* size, bool* endsLine) {
    // Zeros behind what fgets stores: a '\n' in the buffer is then the line end it read, also
    // when the line holds a '\0' that hides the rest from strlen.
    std::memset(m_buffer, 0, sizeof m_buffer);
    if (std::fgets(m_buffer, kRecordLineChars + 1, m_file) == nullptr) {
        return false;
    }
    const size_t length = std::strlen(m_buffer);
    *piece = m_buffer;
    *size = length;
    *endsLine = (length > 0 && m_buffer[length - 1] == '\n') ||
                std::memchr(m_buffer + length, '\n', kRecordLineChars - length) != nullptr;
    return true;
}

void CStreamPieces::SkipLine() {
    int c;
    while ((c = std::fgetc(m_file)) != EOF && c != '\n') {
    }
}

int ReadSRecord(uint8_t* data, FILE* file, uint32_t* address, int16_t* length) {
    CStreamPieces pieces(file);
    char type = 0;
    return ReadRecordPiece(pieces, data, address, length, &type);
}
