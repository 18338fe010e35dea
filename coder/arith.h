// Carry-propagating 32-bit range coder.
//
// The encoder narrows an interval [low, low + range) inside a 31-bit window
// by each decision (symfreq, cumfreq, totfreq) and sends out a byte whenever
// range has fallen to 2^23 or below. A byte that a later carry could still
// change is held back (held), and a run of 0xFF bytes that a carry would turn
// into 0x00 is only counted (aux). The decoder mirrors every step, reading
// the bytes one bit out of step with their boundaries, because the encoder's
// window starts one bit below the top of its first byte.
//
// Decisions need 1 <= symfreq, cumfreq + symfreq <= totfreq <= 2^23. Bytes go
// to and come from the buffered output and input (byteio.h) that the coder
// was started on. A coder is used in one direction; each stream has its own.
#pragma once

#include <array>
#include <cstdint>

#include "coder/byteio.h"
#include "coder/cumtable.h"
#include "coder/divide.h"

struct arithcoder {
    uint8_t held;    // encoder: newest unwritten byte; decoder: last byte read
    uint32_t low;    // low end of the interval (decoder: coded value - low end)
    uint32_t range;  // width of the interval
    uint32_t aux;    // encoder: deferred 0xFF bytes; decoder: unit of the last query
    bytein* in;      // decoder: where the bytes come from
    byteout* out;    // encoder: where the bytes go
};

constexpr uint32_t coder_top = 0x80000000u;        // initial range: the whole window
constexpr uint32_t coder_threshold = 0x800000u;    // normalise while range <= this
constexpr uint32_t coder_carryfree = 0x7F800000u;  // below: the top byte is settled

// Reciprocals for the table variants, indexed by totals 1..511:
// rv_tbl[t] = floor(2^16 / t), and 0xFFFF for t = 1 (2^16 does not fit), so
// that a unit of range * rv_tbl[t] / 2^16, taken t times, never exceeds range.
constexpr std::array<uint16_t, 512> make_rv_tbl()
{
    std::array<uint16_t, 512> t{};
    t[1] = 0xFFFF;
    for (uint32_t i = 2; i < 512; ++i) t[i] = static_cast<uint16_t>(65536u / i);
    return t;
}
inline constexpr std::array<uint16_t, 512> rv_tbl = make_rv_tbl();

// ---- encoder -------------------------------------------------------------

arithcoder* start_encoding(arithcoder* coder, byteout* out, uint8_t first);

// Sends out one byte per step until range is above the threshold.
inline void encode_normalise(arithcoder* coder)
{
    while (coder->range <= coder_threshold) {
        if (coder->low < coder_carryfree) {
            putbyte(coder->out, coder->held);
            for (; coder->aux != 0; --coder->aux) putbyte(coder->out, 0xFF);
            coder->held = static_cast<uint8_t>(coder->low >> 23);
        } else if (coder->low & coder_top) {
            putbyte(coder->out, coder->held + 1);
            for (; coder->aux != 0; --coder->aux) putbyte(coder->out, 0x00);
            coder->held = static_cast<uint8_t>(coder->low >> 23);
        } else {
            ++coder->aux;
        }
        coder->low = (coder->low << 8) & 0x7FFFFF00u;
        coder->range <<= 8;
    }
}

// Narrows the interval to [cumfreq, cumfreq + symfreq) in units of unit;
// the topmost symbol takes the remainder that truncation left over.
inline void encode_narrow(arithcoder* coder, uint32_t unit, uint32_t symfreq, uint32_t cumfreq, bool topmost)
{
    const uint32_t step = unit * cumfreq;
    coder->low += step;
    if (topmost)
        coder->range -= step;
    else
        coder->range = unit * symfreq;
}

inline void encode_freq(arithcoder* coder, uint32_t symfreq, uint32_t cumfreq, uint32_t totfreq)
{
    encode_normalise(coder);
    const uint32_t unit = divide(coder->range, totfreq);
    encode_narrow(coder, unit, symfreq, cumfreq, cumfreq + symfreq >= totfreq);
}

// Total 2^shift (shift <= 23).
inline void encode_shift(arithcoder* coder, uint32_t symfreq, uint32_t cumfreq, uint32_t shift)
{
    encode_normalise(coder);
    const uint32_t unit = coder->range >> shift;
    encode_narrow(coder, unit, symfreq, cumfreq, ((cumfreq + symfreq) >> shift) != 0);
}

// The unit of the table variants: range * rv_tbl[totfreq] / 2^16, never
// more than range / totfreq and never 0 once range is normalised.
inline uint32_t tbl_unit(uint32_t range, uint32_t totfreq)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(rv_tbl[totfreq]) * range) >> 16);
}

// Total at most 511, unit from rv_tbl instead of a division.
inline void encode_tbl(arithcoder* coder, uint32_t symfreq, uint32_t cumfreq, uint32_t totfreq)
{
    encode_normalise(coder);
    encode_narrow(coder, tbl_unit(coder->range, totfreq), symfreq, cumfreq, cumfreq + symfreq >= totfreq);
}

// Writes the middle of the final interval: 5 bytes plus any deferred ones.
void done_encoding(arithcoder* coder);

// ---- decoder -------------------------------------------------------------

// Reads two bytes from in: returns the first (-1 on empty input), keeps the
// second.
int start_decoding(arithcoder* coder, bytein* in);

inline void decode_normalise(arithcoder* coder)
{
    while (coder->range <= coder_threshold) {
        coder->low = (coder->low << 8) | ((coder->held << 7) & 0x80u);
        coder->held = static_cast<uint8_t>(getbyte(coder->in));
        coder->low |= coder->held >> 1;
        coder->range <<= 8;
    }
}

// A value in [0, totfreq) inside the interval of the coded symbol.
inline uint32_t decode_culfreq(arithcoder* coder, uint32_t totfreq)
{
    decode_normalise(coder);
    coder->aux = divide(coder->range, totfreq);
    const uint32_t v = coder->low / coder->aux;
    return v < totfreq ? v : totfreq - 1;
}

// The same query without its second division, for a caller that finds the
// symbol by comparing with unit * cumfreq (the unit is left in aux): the
// coded value in range units, clamped below unit * totfreq just as
// decode_culfreq clamps its result below totfreq. For every c <= totfreq,
// the result is below aux * c exactly when decode_culfreq's is below c.
inline uint32_t decode_culscaled(arithcoder* coder, uint32_t totfreq)
{
    decode_normalise(coder);
    coder->aux = divide(coder->range, totfreq);
    const uint32_t top = coder->aux * totfreq - 1;
    return coder->low < top ? coder->low : top;
}

inline uint32_t decode_culshift(arithcoder* coder, uint32_t shift)
{
    decode_normalise(coder);
    coder->aux = coder->range >> shift;
    const uint32_t v = coder->low / coder->aux;
    return (v >> shift) != 0 ? (1u << shift) - 1 : v;
}

inline uint32_t decode_cultbl(arithcoder* coder, uint32_t totfreq)
{
    decode_normalise(coder);
    coder->aux = tbl_unit(coder->range, totfreq);
    const uint32_t v = coder->low / coder->aux;
    return v < totfreq ? v : totfreq - 1;
}

// Removes the decoded symbol's interval; the same three values the encoder
// was given.
inline void decode_update(arithcoder* coder, uint32_t symfreq, uint32_t cumfreq, uint32_t totfreq)
{
    const uint32_t step = coder->aux * cumfreq;
    coder->low -= step;
    if (cumfreq + symfreq < totfreq)
        coder->range = coder->aux * symfreq;
    else
        coder->range -= step;
}

inline uint32_t decode_byte(arithcoder* coder)
{
    const uint32_t b = decode_culshift(coder, 8);
    decode_update(coder, 1, b, 256);
    return b;
}

inline uint32_t decode_short(arithcoder* coder)
{
    const uint32_t s = decode_culshift(coder, 16);
    decode_update(coder, 1, s, 65536);
    return s;
}

inline void done_decoding(arithcoder*) {}
