#pragma once
// Deadlines: signed 32-bit millisecond readings of NowMs() (platform/clock.h), compared by their
// signed difference so that the comparison holds across the wrap of the count.

#include "platform/clock.h"

// Sets the deadline ms milliseconds ahead of now.
void SetDeadline(int* deadline, int ms);

// False while now is before the deadline. Once it has passed, the deadline is moved to now (so a
// repeating timer restarts from the moment it was noticed) and the result is true.
bool DeadlineExpired(int* deadline);
