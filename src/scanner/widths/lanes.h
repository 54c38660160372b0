// 64 bytes as masks, for one width of byte compares: the only code that
// differs between the widths. The compilation of classify.cpp names its width
// with one of TAGSIFT_WIDTH_AVX512, _AVX2, _SSE2, _NEON or _SCALAR, and gets
// that width's flags (-mavx512bw, -mavx2, with the bit instructions) from the
// build.
//
// A width gives registers of kBytes bytes (Reg) and per-byte flags (Flags):
// load, a byte spread over a register, equal, in an unsigned range, the logic
// of flags, and the bits of 64 / kBytes flags in byte order. A width with a byte shuffle
// (kLookup) also looks bytes up in a table of 16 by their low four bits.
// Bytes64 and Flags64 put as many registers side by side as make 64 bytes, so
// that the classifier is written once for all of them.
#pragma once

#include <cstdint>

#if defined(TAGSIFT_WIDTH_AVX512) || defined(TAGSIFT_WIDTH_AVX2) || defined(TAGSIFT_WIDTH_SSE2)
#include <immintrin.h>
#elif defined(TAGSIFT_WIDTH_NEON)
#include <arm_neon.h>
#endif

namespace tagsift::window {
namespace {

#if defined(TAGSIFT_WIDTH_AVX512)
struct Lanes {
    static constexpr int kBytes = 64;
    static constexpr bool kLookup = true;
    using Reg = __m512i;
    using Flags = __mmask64;
    static Reg load(const char* p) { return _mm512_loadu_si512(p); }
    static Reg splat(char c) { return _mm512_set1_epi8(c); }
    static Flags eq(Reg v, Reg w) { return _mm512_cmpeq_epi8_mask(v, w); }
    static Reg table(const unsigned char* t) {
        return _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
    }
    // A byte past 127 looks up 0.
    static Reg lookup(Reg table, Reg v) { return _mm512_shuffle_epi8(table, v); }
    static Flags inRange(Reg v, char lo, char hi) {
        return _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(lo)), _mm512_set1_epi8(char(hi - lo)));
    }
    static Flags any(Flags a, Flags b) { return a | b; }
    static Flags butNot(Flags a, Flags b) { return a & ~b; }
    static std::uint64_t bits(const Flags* f) { return f[0]; }
};
#elif defined(TAGSIFT_WIDTH_AVX2)
struct Lanes {
    static constexpr int kBytes = 32;
    static constexpr bool kLookup = true;
    using Reg = __m256i;
    using Flags = __m256i;
    static Reg load(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static Reg splat(char c) { return _mm256_set1_epi8(c); }
    static Flags eq(Reg v, Reg w) { return _mm256_cmpeq_epi8(v, w); }
    static Reg table(const unsigned char* t) {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
    }
    // A byte past 127 looks up 0.
    static Reg lookup(Reg table, Reg v) { return _mm256_shuffle_epi8(table, v); }
    // No unsigned compare: a byte is at most k when the smaller of it and k is itself.
    static Flags inRange(Reg v, char lo, char hi) {
        const __m256i t = _mm256_sub_epi8(v, _mm256_set1_epi8(lo));
        return _mm256_cmpeq_epi8(_mm256_min_epu8(t, _mm256_set1_epi8(char(hi - lo))), t);
    }
    static Flags any(Flags a, Flags b) { return _mm256_or_si256(a, b); }
    static Flags butNot(Flags a, Flags b) { return _mm256_andnot_si256(b, a); }
    static std::uint64_t bits(const Flags* f) {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(f[0])) |
               static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(f[1]))) << 32;
    }
};
#elif defined(TAGSIFT_WIDTH_SSE2)
struct Lanes {
    static constexpr int kBytes = 16;
    static constexpr bool kLookup = false;  // no byte shuffle before SSSE3
    using Reg = __m128i;
    using Flags = __m128i;
    static Reg load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static Reg splat(char c) { return _mm_set1_epi8(c); }
    static Flags eq(Reg v, Reg w) { return _mm_cmpeq_epi8(v, w); }
    static Flags inRange(Reg v, char lo, char hi) {
        const __m128i t = _mm_sub_epi8(v, _mm_set1_epi8(lo));
        return _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(char(hi - lo))), t);
    }
    static Flags any(Flags a, Flags b) { return _mm_or_si128(a, b); }
    static Flags butNot(Flags a, Flags b) { return _mm_andnot_si128(b, a); }
    static std::uint64_t bits(const Flags* f) {
        std::uint64_t m = 0;
        for (int k = 0; k < 4; ++k)
            m |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(f[k])) & 0xFFFF) << (16 * k);
        return m;
    }
};
#elif defined(TAGSIFT_WIDTH_NEON)
struct Lanes {
    static constexpr int kBytes = 16;
    static constexpr bool kLookup = true;
    using Reg = uint8x16_t;
    using Flags = uint8x16_t;
    static Reg load(const char* p) { return vld1q_u8(reinterpret_cast<const std::uint8_t*>(p)); }
    static Reg splat(char c) { return vdupq_n_u8(static_cast<std::uint8_t>(c)); }
    static Flags eq(Reg v, Reg w) { return vceqq_u8(v, w); }
    static Reg table(const unsigned char* t) { return vld1q_u8(t); }
    static Reg lookup(Reg table, Reg v) { return vqtbl1q_u8(table, vandq_u8(v, vdupq_n_u8(15))); }
    static Flags inRange(Reg v, char lo, char hi) {
        return vcleq_u8(vsubq_u8(v, vdupq_n_u8(static_cast<std::uint8_t>(lo))),
                        vdupq_n_u8(static_cast<std::uint8_t>(hi - lo)));
    }
    static Flags any(Flags a, Flags b) { return vorrq_u8(a, b); }
    static Flags butNot(Flags a, Flags b) { return vbicq_u8(a, b); }
    // NEON has no byte mask move: each flag keeps its bit's weight, and pairwise sums fold
    // the four registers into the 64 bits in byte order.
    static std::uint64_t bits(const Flags* f) {
        const uint8x16_t weight = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
        uint8x16_t low = vpaddq_u8(vandq_u8(f[0], weight), vandq_u8(f[1], weight));
        const uint8x16_t high = vpaddq_u8(vandq_u8(f[2], weight), vandq_u8(f[3], weight));
        low = vpaddq_u8(low, high);
        low = vpaddq_u8(low, low);
        return vgetq_lane_u64(vreinterpretq_u64_u8(low), 0);
    }
};
#elif defined(TAGSIFT_WIDTH_SCALAR)
// Plain code: eight bytes in a 64-bit word, a flag is the top bit of its byte.
struct Lanes {
    static constexpr int kBytes = 8;
    static constexpr bool kLookup = false;
    using Reg = std::uint64_t;
    using Flags = std::uint64_t;
    static constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
    static Reg load(const char* p) {
        const auto* b = reinterpret_cast<const unsigned char*>(p);
        Reg v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<Reg>(b[i]) << (8 * i);
        return v;
    }
    // A byte is zero when neither its low seven bits nor its top bit are set; adding 0x7F to
    // the low seven bits never carries into the next byte.
    static Reg splat(char c) { return std::uint64_t{0x0101010101010101} * static_cast<unsigned char>(c); }
    static Flags eq(Reg v, Reg w) {
        const std::uint64_t y = v ^ w;
        return ~(((y & kLow7) + kLow7) | y | kLow7);
    }
    static Flags inRange(Reg v, char lo, char hi) {
        Flags f = 0;
        for (int c = static_cast<unsigned char>(lo); c <= static_cast<unsigned char>(hi); ++c)
            f |= eq(v, splat(static_cast<char>(c)));
        return f;
    }
    static Flags any(Flags a, Flags b) { return a | b; }
    static Flags butNot(Flags a, Flags b) { return a & ~b; }
    // The multiplication gathers the top bits of the eight bytes into the top byte, in order.
    static std::uint64_t bits(const Flags* f) {
        std::uint64_t m = 0;
        for (int k = 0; k < 8; ++k) m |= (((f[k] >> 7) * 0x0102040810204080) >> 56) << (8 * k);
        return m;
    }
};
#else
#error "a width must be named: TAGSIFT_WIDTH_AVX512, _AVX2, _SSE2, _NEON or _SCALAR"
#endif

constexpr int kRegisters = 64 / Lanes::kBytes;

struct Flags64 {
    Lanes::Flags f[kRegisters];
    Flags64 operator|(const Flags64& o) const {
        Flags64 r;
        for (int k = 0; k < kRegisters; ++k) r.f[k] = Lanes::any(f[k], o.f[k]);
        return r;
    }
    Flags64 butNot(const Flags64& o) const {
        Flags64 r;
        for (int k = 0; k < kRegisters; ++k) r.f[k] = Lanes::butNot(f[k], o.f[k]);
        return r;
    }
    std::uint64_t bits() const { return Lanes::bits(f); }
};

struct Bytes64 {
    Lanes::Reg r[kRegisters];
    explicit Bytes64(const char* p) {
        for (int k = 0; k < kRegisters; ++k) r[k] = Lanes::load(p + k * Lanes::kBytes);
    }
    // A byte spread over a register (Lanes::splat), made once for many windows.
    Flags64 operator==(Lanes::Reg c) const {
        Flags64 m;
        for (int k = 0; k < kRegisters; ++k) m.f[k] = Lanes::eq(r[k], c);
        return m;
    }
    Flags64 inRange(char lo, char hi) const {
        Flags64 m;
        for (int k = 0; k < kRegisters; ++k) m.f[k] = Lanes::inRange(r[k], lo, hi);
        return m;
    }
    // The bytes equal to the entry of the table (Lanes::table) at their low four bits (widths
    // with kLookup).
    template <typename L = Lanes>
    Flags64 inTable(typename L::Reg table) const {
        Flags64 m;
        for (int k = 0; k < kRegisters; ++k) m.f[k] = L::eq(r[k], L::lookup(table, r[k]));
        return m;
    }
};

}  // namespace
}  // namespace tagsift::window
