#include "Ostravo/Sha256.h"

namespace {

const uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline uint32_t Rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

// Adds bits to the 64-bit message length kept as two 32-bit words.
inline void AddBits(Sha256 &ctx, uint32_t bits)
{
    uint32_t low = ctx.bitlen[0] + bits;
    if (low < ctx.bitlen[0])
        ++ctx.bitlen[1];
    ctx.bitlen[0] = low;
}

} // namespace

void Sha256Init(Sha256 &ctx)
{
    ctx.datalen = 0;
    ctx.bitlen[0] = 0;
    ctx.bitlen[1] = 0;
    ctx.state[0] = 0x6a09e667;
    ctx.state[1] = 0xbb67ae85;
    ctx.state[2] = 0x3c6ef372;
    ctx.state[3] = 0xa54ff53a;
    ctx.state[4] = 0x510e527f;
    ctx.state[5] = 0x9b05688c;
    ctx.state[6] = 0x1f83d9ab;
    ctx.state[7] = 0x5be0cd19;
}

void Sha256Transform(Sha256 &ctx, const uint8_t block[64])
{
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(block[i * 4]) << 24 | uint32_t(block[i * 4 + 1]) << 16 |
               uint32_t(block[i * 4 + 2]) << 8 | uint32_t(block[i * 4 + 3]);
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }

    uint32_t a = ctx.state[0], b = ctx.state[1], c = ctx.state[2], d = ctx.state[3];
    uint32_t e = ctx.state[4], f = ctx.state[5], g = ctx.state[6], h = ctx.state[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
        uint32_t ch = (e & f) ^ (~e & g);
        uint32_t t1 = h + s1 + ch + kRoundConstants[i] + w[i];
        uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
        uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
        uint32_t t2 = s0 + maj;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    ctx.state[0] += a;
    ctx.state[1] += b;
    ctx.state[2] += c;
    ctx.state[3] += d;
    ctx.state[4] += e;
    ctx.state[5] += f;
    ctx.state[6] += g;
    ctx.state[7] += h;
}

void Sha256Update(Sha256 &ctx, const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        ctx.data[ctx.datalen++] = bytes[i];
        if (ctx.datalen == 64) {
            Sha256Transform(ctx, ctx.data);
            AddBits(ctx, 512);
            ctx.datalen = 0;
        }
    }
}

void Sha256Final(Sha256 &ctx, uint8_t digest[32])
{
    uint32_t used = ctx.datalen;
    ctx.data[used++] = 0x80;
    // The length needs the last 8 bytes of a block: when they are taken, pad out this block first.
    if (used > 56) {
        while (used < 64)
            ctx.data[used++] = 0;
        Sha256Transform(ctx, ctx.data);
        used = 0;
    }
    while (used < 56)
        ctx.data[used++] = 0;

    AddBits(ctx, ctx.datalen * 8);
    for (int i = 0; i < 4; ++i) {
        ctx.data[56 + i] = uint8_t(ctx.bitlen[1] >> (24 - 8 * i));
        ctx.data[60 + i] = uint8_t(ctx.bitlen[0] >> (24 - 8 * i));
    }
    Sha256Transform(ctx, ctx.data);

    for (int i = 0; i < 8; ++i) {
        digest[i * 4] = uint8_t(ctx.state[i] >> 24);
        digest[i * 4 + 1] = uint8_t(ctx.state[i] >> 16);
        digest[i * 4 + 2] = uint8_t(ctx.state[i] >> 8);
        digest[i * 4 + 3] = uint8_t(ctx.state[i]);
    }
}
