#pragma once
// An optional observer of every frame the link sends (its wire bytes) and accepts (header,
// payload and checksum digits, unescaped). Used by tovik-cli --trace; off unless installed.

#include <cstdint>

using FrameTraceFunction = void (*)(bool sent, const uint8_t* bytes, int length);

void SetFrameTrace(FrameTraceFunction trace);
FrameTraceFunction GetFrameTrace();
