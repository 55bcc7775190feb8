// What the adapter worker needs of the reader library for Temic (T5557) tags: the block words that carry an
// Em-Marine or HID number, and writing blocks through one of the library's readers. The window hands the
// worker an implementation; the adapter itself never links the reader library.
#pragma once

#include <string>
#include <vector>

#include "keys/CCardUID.h"
#include "rdx.h"

class ITemicLibrary {
public:
    struct Block {
        unsigned int first; // first block number
        const unsigned int* words;
        unsigned int count;
    };

    virtual ~ITemicLibrary() = default;
    // Failures throw with the library's own text.
    virtual void EncodeEmMarine(const CCardUID& number, unsigned int* words, unsigned int count) = 0;
    virtual void EncodeHid(const CCardUID& number, unsigned int* words, unsigned int count,
                           unsigned int bits) = 0;
    // Connects the reader on the port, writes the blocks in order in the given mode, then resets the tag.
    virtual void WriteThroughReader(rdx_port_type type, const std::string& port_name, unsigned int mode,
                                    const std::vector<Block>& blocks) = 0;
};
