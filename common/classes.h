// The model's four symbol classes, which the coder's tables also know: a
// table of all symbols keeps in coding only those of the last class. Each
// symbol has one class at a time (the model's sym2mod); symbols age from
// the ring through the two lists into the full table, and come back to the
// ring when used.
#pragma once

#include <cstdint>

enum : int32_t {
    ringclass = 0,   // the recency ring of the last 30 new symbols
    list1class = 1,  // move-to-front list 1: symbols that last left the ring
    list2class = 2,  // move-to-front list 2: symbols that last left list 1
    fullclass = 3,   // every other symbol, coded by its own count
};
