#pragma once
// Waiting for something another thread or process brings about: the one way the tests wait, so
// none of them sleeps for a fixed time and hopes.

#include <chrono>
#include <functional>

// Asks `condition` again and again (about every millisecond) until it holds or `patience` of real
// time has passed; true when it held. The condition is asked once more at the end, so a slow
// machine that overshoots the patience still sees a condition that came true meanwhile.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds patience = std::chrono::seconds(20));
