#!/usr/bin/env bash
# Builds examples/demo.s19: a made-up controller firmware of about 32 KiB to try the loader on.
#
# The image is host code (whatever gcc targets here), linked at the controller's flash addresses:
# a vector table at 0x10000, code from 0x10800, constant tables at 0x18000 and initialised data
# at 0x1C000, so the file has S2 records with gaps between the parts. It never runs; it only has
# to look and load like firmware. The same toolchain gives the same bytes on every run.
set -euo pipefail
cd "$(dirname "$0")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 208 handlers that each fold a few of the constant tables into the state, so the code refers to
# the tables the way real firmware does.
{
    cat <<'C'
#include <stdint.h>

#define VERSION "Tovik demo firmware 1.4.2"

volatile uint32_t state[64] = {0x12345678u, 0x9ABCDEF0u, 0x0F1E2D3Cu, 0x4B5A6978u};
uint8_t rx_buffer[512] = {0x7E, 0x81};
const char banner[] = VERSION " - controller unit 0\r\n";
const char* const messages[] = {
    "OK", "Flash erase failed", "Flash write failed", "Checksum mismatch",
    "Watchdog reset", "Brown-out reset", "Unknown command", "Parameter out of range",
    "Sensor 1 open circuit", "Sensor 2 open circuit", "Motor overcurrent", "Supply undervoltage",
};
const uint16_t sine[2048] = {
C
    awk 'BEGIN { for (i = 0; i < 2048; ++i) printf "%d,", 32767.5 + 32767 * sin(i * 3.14159265358979 / 1024) }'
    cat <<'C'
};
const uint32_t crc_table[256] = {
C
    for i in $(seq 0 255); do
        c=$i
        for _ in 1 2 3 4 5 6 7 8; do
            c=$(((c & 1) ? (0xEDB88320 ^ (c >> 1)) : (c >> 1)))
        done
        printf '0x%08Xu,' "$c"
    done
    echo '};'
    for n in $(seq 0 207); do
        cat <<C
void handler_$n(void) {
    uint32_t x = state[$((n % 64))] ^ crc_table[$(((n * 37) % 256))];
    for (int i = 0; i < $((n % 7 + 3)); ++i) {
        x = (x << $((n % 5 + 1))) ^ (x >> $((n % 3 + 2))) ^ sine[(x + $n) & 2047];
        rx_buffer[(x >> 3) & 511] ^= (uint8_t)x;
        if (x & $((1 << (n % 16)))) state[$(((n + 1) % 64))] += crc_table[x & 255];
    }
    state[$(((n * 11) % 64))] = x + messages[$((n % 12))][0];
}
C
    done
    echo 'void reset_handler(void) {'
    for n in $(seq 0 207); do
        echo "    handler_$n();"
    done
    echo '    for (;;) {}'
    echo '}'
    echo '__attribute__((section(".vectors"), used)) void (*const vectors[])(void) = {'
    echo '    reset_handler,'
    for n in $(seq 0 207); do
        echo "    handler_$n,"
    done
    echo '};'
} >"$work/demo.c"

gcc -std=c11 -O2 -ffreestanding -fno-pic -fno-asynchronous-unwind-tables -fno-stack-protector \
    -fno-ident -c "$work/demo.c" -o "$work/demo.o"
ld -static -e reset_handler --build-id=none \
    --section-start=.vectors=0x10000 -Ttext=0x10800 \
    --section-start=.rodata=0x18000 --section-start=.data=0x1C000 \
    -o "$work/demo.elf" "$work/demo.o"
objcopy -O srec --srec-len 32 -j .vectors -j .text -j .rodata -j .data "$work/demo.elf" demo.s19
chmod 644 demo.s19

echo "make-demo: $(grep -c '^S2' demo.s19) S2 records written to examples/demo.s19"
