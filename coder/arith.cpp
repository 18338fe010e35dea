// Start and flush of the range coder.
#include "coder/arith.h"

arithcoder* start_encoding(arithcoder* coder, byteout* out, uint8_t first)
{
    coder->in = nullptr;
    coder->out = out;
    coder->held = first;
    coder->low = 0;
    coder->range = coder_top;
    coder->aux = 0;
    return coder;
}

void done_encoding(arithcoder* coder)
{
    // The middle of the final interval; bit 31 is a carry into held.
    coder->low += coder->range >> 1;
    const uint32_t carry = coder->low >> 31;
    putbyte(coder->out, coder->held + carry);
    for (; coder->aux != 0; --coder->aux) putbyte(coder->out, carry ? 0x00 : 0xFF);
    // Bits 30..0 of low, most significant first, and one 0 bit.
    putbyte(coder->out, coder->low >> 23);
    putbyte(coder->out, coder->low >> 15);
    putbyte(coder->out, coder->low >> 7);
    putbyte(coder->out, coder->low << 1);
}

int start_decoding(arithcoder* coder, bytein* in)
{
    coder->in = in;
    coder->out = nullptr;
    coder->aux = 0;
    const int first = getbyte(in);
    coder->held = static_cast<uint8_t>(getbyte(in));
    coder->low = coder->held >> 1;
    coder->range = 0x80;
    return first;
}
