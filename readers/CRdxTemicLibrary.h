// Temic tags through the reader library: the adapter worker's Temic interface over the rdx_ calls.
#pragma once

#include "adapter/TemicLibrary.h"

class CRdxTemicLibrary : public ITemicLibrary {
public:
    void EncodeEmMarine(const CCardUID& number, unsigned int* words, unsigned int count) override;
    void EncodeHid(const CCardUID& number, unsigned int* words, unsigned int count,
                   unsigned int bits) override;
    void WriteThroughReader(rdx_port_type type, const std::string& port_name, unsigned int mode,
                            const std::vector<Block>& blocks) override;
};
