/// @file
/// The framework's random numbers: one global generator state and the
/// minimal-standard multiplicative congruential generator (multiplier 48271,
/// modulus 2^31 - 1). The program never seeds it, so every run draws the same
/// sequence. Single-threaded use only.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// A double in [0, 1) built from two steps of the generator.
double NextRandomUnit();
/// A float in [0, 1) from one step.
float NextRandomFloat();
/// A double in [min(a, b), max(a, b)).
double RandomReal(double a, double b);
/// An int in min(a, b) .. max(a, b), both ends included.
std::int32_t RandomInt(std::int32_t a, std::int32_t b);
/// Sets the state to seed AND 0x7FFFFFFF; 0 and 0x7FFFFFFF give the initial state 4660.
void SeedRandom(std::int32_t seed);
/// The generator's current state (what SeedRandom would restore).
std::int32_t RandomSeed();

/// Module initialiser; runs once.
void InitRandom();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
