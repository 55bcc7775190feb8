// Temic tags through the reader library.
#include "readers/CRdxTemicLibrary.h"

#include "readers/RdxWrapper.h"

void CRdxTemicLibrary::EncodeEmMarine(const CCardUID& number, unsigned int* words, unsigned int count) {
    const rdx_card_uid uid = number.to_rdx();
    rdx::RDXCheck(rdx_encode_temic_emmarine(&uid, words, count));
}

void CRdxTemicLibrary::EncodeHid(const CCardUID& number, unsigned int* words, unsigned int count,
                                 unsigned int bits) {
    const rdx_card_uid uid = number.to_rdx();
    rdx::RDXCheck(rdx_encode_temic_hid(&uid, words, count, bits));
}

void CRdxTemicLibrary::WriteThroughReader(rdx_port_type type, const std::string& port_name, unsigned int mode,
                                          const std::vector<Block>& blocks) {
    // The library stays initialised for as long as the reader is open.
    rdx::CRDX library{true};
    rdx_handle handle = nullptr;
    rdx::RDXCheck(rdx_get_reader(type, port_name.c_str(), &handle));
    rdx::CReader reader(handle);
    rdx::RDXCheck(rdx_reader_connect(reader, 0));
    for (const Block& block : blocks)
        rdx::RDXCheck(rdx_reader_write_temic(reader, block.first, block.words, block.count, 0, mode, 0));
    rdx::RDXCheck(rdx_reader_reset_temic(reader, 1));
}
