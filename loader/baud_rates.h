#pragma once
// The rates of the Baudrate list, by index: 0 AUTO, 1 38400, 2 57600, 3 115200.

// The fixed rate of a baud index; 0 for every other index (AUTO, -1 for nothing selected), which
// means the automatic search.
int FixedBaudRate(int baudIndex);

// The two rates the automatic search alternates between, in its order.
constexpr int kAutoFirstRate = 38400;
constexpr int kAutoSecondRate = 57600;

// The rate a line starts at for this index: its fixed rate, or the first automatic one.
inline int StartBaudRate(int baudIndex) {
    int rate = FixedBaudRate(baudIndex);
    return rate != 0 ? rate : kAutoFirstRate;
}
