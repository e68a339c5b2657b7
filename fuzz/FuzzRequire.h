#pragma once

// Stops the fuzzer with a crash report when an invariant of the code under
// test does not hold, so that the input is kept as an artifact.
inline void Require(bool condition) {
    if (!condition)
        __builtin_trap();
}
