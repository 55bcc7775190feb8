// The reader library wrapper: initialisation, handle ownership, exceptions and the small value types.
#include "readers/RdxWrapper.h"

#include <algorithm>
#include <cstring>

namespace rdx {

namespace {
constexpr int kMfClassicFirst = RDX_CARD_MF_MINI;
constexpr int kMfClassicLast = RDX_CARD_MF_CLASSIC_4K;
constexpr int kMfPlusFirst = RDX_CARD_MF_PLUS;
constexpr int kMfPlusLast = RDX_CARD_SMART_MX_4K;
// A Mifare Plus card at security level 1 answers the Mifare Classic commands.
constexpr rdx_mf_plus_sl kMfPlusClassicLevel = 1;
} // namespace

const char* const kPortTypeNames[kPortTypeCount] = {"", "COM", "CCID", "Server", "Client", "Proxy"};

// Roles the program relies on: 4 and 5 programming adapters; 2, 3 and 12 desktop Mifare readers; 8, 9 and 11
// other Mifare-capable readers; 1 and 4 write Temic tags.
const char* const kReaderModelNames[RDX_MODEL_COUNT] = {"",
                                                        "TW-1 Tag Writer",
                                                        "DR-2 Desk Reader",
                                                        "DR-3 Desk Reader",
                                                        "PA-4 Adapter",
                                                        "PA-5 Adapter",
                                                        "WR-6 Wall Reader",
                                                        "WR-7 Wall Reader",
                                                        "MR-8 Module",
                                                        "MR-9 Module",
                                                        "WR-10 Wall Reader",
                                                        "MR-11 Module",
                                                        "DR-12 Desk Reader"};

const char* ReaderModelName(rdx_reader_model model) noexcept {
    if (model < 0 || model >= RDX_MODEL_COUNT)
        return "";
    return kReaderModelNames[model];
}

const char* CRDXException::what() const noexcept {
    const char* text = rdx_get_error_text(m_status);
    return text ? text : "";
}

void RDXCheck(rdx_status status) {
    if (status != RDX_OK)
        throw CRDXException(status);
}

CRDX::CRDX(bool init) {
    if (init)
        Init();
}

CRDX::~CRDX() {
    if (m_initialized)
        rdx_cleanup();
}

void CRDX::Init() {
    if (m_initialized)
        return;
    RDXCheck(rdx_init(kLibraryVersion));
    m_initialized = true;
}

void CRDX::Finalize() {
    if (!m_initialized)
        return;
    m_initialized = false;
    rdx_cleanup();
}

CRDXHandle::~CRDXHandle() {
    if (m_handle)
        rdx_close_handle(m_handle); // a destructor never throws; the handle is gone either way
}

CRDXHandle& CRDXHandle::operator=(CRDXHandle&& other) noexcept {
    if (this != &other) {
        if (m_handle)
            rdx_close_handle(m_handle);
        m_handle = other.Detach();
    }
    return *this;
}

void CRDXHandle::MoveFrom(CRDXHandle& other) {
    if (this == &other)
        return;
    Close();
    m_handle = other.Detach();
}

void CRDXHandle::Close() {
    if (!m_handle)
        return;
    void* handle = Detach();
    RDXCheck(rdx_close_handle(handle));
}

void CRDXHandle::Attach(void* handle) {
    if (handle == m_handle)
        return;
    Close();
    m_handle = handle;
}

void* CRDXHandle::Detach() noexcept {
    void* handle = m_handle;
    m_handle = nullptr;
    return handle;
}

void CRDXHandle::Swap(CRDXHandle& other) noexcept {
    std::swap(m_handle, other.m_handle);
}

CCardUID::CCardUID(const rdx_card_uid& uid) noexcept {
    length = std::min<uint8_t>(uid.length, kMaxBytes);
    std::memcpy(bytes, uid.bytes, length);
}

CCardUID::CCardUID(uint64_t number, std::size_t count) noexcept {
    length = static_cast<uint8_t>(std::min(count, kMaxBytes));
    for (std::size_t i = 0; i < length && i < sizeof(number); ++i)
        bytes[i] = static_cast<uint8_t>(number >> (8 * i));
}

CCardUID::CCardUID(const uint8_t* data, std::size_t count) noexcept {
    length = static_cast<uint8_t>(std::min(count, kMaxBytes));
    if (length)
        std::memcpy(bytes, data, length);
}

std::string CCardUID::ToString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * length);
    for (std::size_t i = length; i-- > 0;) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

bool operator==(const CCardUID& a, const CCardUID& b) noexcept {
    return a.length == b.length && std::memcmp(a.bytes, b.bytes, a.length) == 0;
}

CMifareClassicKey::CMifareClassicKey(const uint8_t* data, std::size_t count) noexcept : m_value(0) {
    for (std::size_t i = 0; i < std::min(count, kKeySize); ++i)
        m_value |= static_cast<uint64_t>(data[i]) << (8 * i);
}

void CMifareClassicKey::CopyTo(uint8_t* out) const noexcept {
    for (std::size_t i = 0; i < kKeySize; ++i)
        out[i] = byte(i);
}

bool IsMfClassic(rdx_card_type type) noexcept {
    return type >= kMfClassicFirst && type <= kMfClassicLast;
}

bool IsMfPlus(rdx_card_type type) noexcept {
    return type >= kMfPlusFirst && type <= kMfPlusLast;
}

bool IsMfClassicMode(rdx_card_type type, rdx_mf_plus_sl sl) noexcept {
    return IsMfClassic(type) || (IsMfPlus(type) && sl == kMfPlusClassicLevel);
}

} // namespace rdx
