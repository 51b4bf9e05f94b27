#pragma once
// SHA-256 (FIPS 180-4), fed byte by byte or in runs of bytes.
#include <cstddef>
#include <cstdint>

struct Sha256
{
    uint8_t data[64];   // block being filled
    uint32_t datalen;   // bytes in data, 0 to 63
    uint32_t bitlen[2]; // message length in bits: low word, high word
    uint32_t state[8];  // working hash values
};

// Starts a new digest.
void Sha256Init(Sha256 &ctx);
// Appends bytes to the message.
void Sha256Update(Sha256 &ctx, const uint8_t *bytes, size_t count);
inline void Sha256Update(Sha256 &ctx, uint8_t byte)
{
    Sha256Update(ctx, &byte, 1);
}
// Compresses one 64-byte block (sixteen big-endian words) into the working hash values.
void Sha256Transform(Sha256 &ctx, const uint8_t block[64]);
// Pads, compresses the last block(s) and writes the 32-byte digest. The context must be initialised
// again before it is reused.
void Sha256Final(Sha256 &ctx, uint8_t digest[32]);
