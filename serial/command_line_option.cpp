#include "serial/command_line_option.h"

#include "platform/command_line.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

char g_emptyText[1] = {0};

char* CopyText(const char* text, size_t length) {
    if (length == 0) {
        return g_emptyText;
    }
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

} // namespace

CPlainString::CPlainString() : m_text(g_emptyText) {}

CPlainString::CPlainString(const char* text)
    : m_text(CopyText(text, text ? std::strlen(text) : 0)) {}

CPlainString::CPlainString(const CPlainString& other)
    : m_text(CopyText(other.m_text, std::strlen(other.m_text))) {}

CPlainString::CPlainString(CPlainString&& other) noexcept
    : m_text(std::exchange(other.m_text, g_emptyText)) {}

CPlainString& CPlainString::operator=(CPlainString other) noexcept {
    std::swap(m_text, other.m_text);
    return *this;
}

CPlainString::~CPlainString() {
    if (m_text != g_emptyText) {
        delete[] m_text;
    }
}

long CPlainString::Number() const {
    return std::atol(m_text);
}

char* CPlainString::Resize(uint16_t n) {
    char* buffer = new char[n + 1];
    size_t keep = std::strlen(m_text);
    if (keep > n) {
        keep = n;
    }
    std::memcpy(buffer, m_text, keep);
    std::memset(buffer + keep, 0, n + 1 - keep);
    if (m_text != g_emptyText) {
        delete[] m_text;
    }
    m_text = buffer;
    return buffer;
}

CPlainString GetCommandLineOption(const char* name) {
    std::string commandLine = GetProcessCommandLine();
    // The buffer's length is a 16-bit count; a longer command line is looked at up to that.
    size_t length = commandLine.size() < 0xFFFE ? commandLine.size() : 0xFFFE;
    CPlainString line;
    char* text = line.Resize(static_cast<uint16_t>(length + 1));
    std::memcpy(text, commandLine.data(), length);

    const char* found = std::strstr(text, name);
    if (!found || found == text) {
        return CPlainString();
    }
    std::string value(found + std::strlen(name));
    size_t slash = value.find('/');
    if (slash != std::string::npos) {
        value.erase(slash);
    }
    size_t begin = 0;
    while (begin < value.size() && std::isspace(static_cast<unsigned char>(value[begin]))) {
        ++begin;
    }
    size_t end = value.size();
    while (end > begin && std::isspace(static_cast<unsigned char>(value[end - 1]))) {
        --end;
    }
    value = value.substr(begin, end - begin);
    return CPlainString(value.empty() ? "1" : value.c_str());
}
