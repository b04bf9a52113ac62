#include "loader/baud_rates.h"

int FixedBaudRate(int baudIndex) {
    switch (baudIndex) {
    case 1:
        return 38400;
    case 2:
        return 57600;
    case 3:
        return 115200;
    default:
        return 0;
    }
}
