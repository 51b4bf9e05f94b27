#pragma once
// MurmurHash3 (x86 32-bit and x64 128-bit variants), byte-compatible with the public reference code.
#include <cstddef>
#include <cstdint>

uint32_t MurmurHash3_x86_32(const void *key, size_t len, uint32_t seed);
// out receives h1 and h2, the two 64-bit halves of the hash.
void MurmurHash3_x64_128(const void *key, size_t len, uint32_t seed, uint64_t out[2]);
