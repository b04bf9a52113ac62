#include "protocol/frame_codec.h"

uint8_t PayloadChecksum(const uint8_t* payload, int length) {
    unsigned sum = 0;
    for (int i = 0; i < length; ++i) {
        sum += payload[i];
    }
    return static_cast<uint8_t>(~sum);
}

int HexDigitValue(uint8_t c, int* error) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (error) {
        *error = -1;
    }
    return 0;
}

int EncodeFrame(const uint8_t* frame, int length, uint8_t* out) {
    int n = 0;
    for (int i = 0; i < length; ++i) {
        if (NeedsEscape(frame[i])) {
            out[n++] = kEsc;
        }
        out[n++] = frame[i];
    }
    uint8_t checksum = PayloadChecksum(frame + 3, length > 3 ? length - 3 : 0);
    out[n++] = HexDigit(checksum >> 4);
    out[n++] = HexDigit(checksum);
    for (uint8_t b : kTerminator) {
        out[n++] = b;
    }
    return n;
}

bool ReceivedChecksumMatches(const uint8_t* rx, int length) {
    if (length < 6) {
        return false;
    }
    int error = 0;
    int digits = 16 * HexDigitValue(rx[length - 2], &error) + HexDigitValue(rx[length - 1], &error);
    return error == 0 && PayloadChecksum(rx + 3, length - 5) == digits;
}
