#include "protocol/deadline.h"

void SetDeadline(int* deadline, int ms) {
    *deadline = static_cast<int>(static_cast<unsigned>(NowMs()) + static_cast<unsigned>(ms));
}

bool DeadlineExpired(int* deadline) {
    int now = NowMs();
    int difference =
        static_cast<int>(static_cast<unsigned>(now) - static_cast<unsigned>(*deadline));
    if (difference < 0) {
        return false;
    }
    *deadline = NowMs();
    return true;
}
