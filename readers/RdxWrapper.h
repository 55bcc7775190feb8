// The program's side of the reader library: library initialisation and handle ownership, failing statuses as
// exceptions, the card-number and Mifare Classic key value types and the Mifare Classic mode test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "rdx.h"

namespace rdx {

// The interface version the program was written against.
inline constexpr uint32_t kLibraryVersion = 0x010103C0;

// A library status other than 0; what() is the library's own text for it.
class CRDXException : public std::exception {
public:
    explicit CRDXException(rdx_status status) noexcept : m_status(status) {}

    rdx_status status() const noexcept { return m_status; }
    const char* what() const noexcept override;

private:
    rdx_status m_status;
};

// Returns for 0, throws CRDXException for any other status.
void RDXCheck(rdx_status status);

// One owner's share of the library's initialisation: rdx_init and rdx_cleanup in pairs.
class CRDX {
public:
    explicit CRDX(bool init = false);
    ~CRDX();
    CRDX(const CRDX&) = delete;
    CRDX& operator=(const CRDX&) = delete;

    // rdx_init unless already initialised; a failure throws.
    void Init();
    // rdx_cleanup if initialised.
    void Finalize();
    bool IsInitialized() const noexcept { return m_initialized; }

private:
    bool m_initialized = false;
};

// Owns one library handle. The destructor and the base's move assignment close the old handle and ignore
// the status; Close and Attach throw on it, and so do the derived classes' move assignments.
class CRDXHandle {
public:
    CRDXHandle() noexcept = default;
    explicit CRDXHandle(void* handle) noexcept : m_handle(handle) {}
    virtual ~CRDXHandle();
    CRDXHandle(CRDXHandle&& other) noexcept : m_handle(other.Detach()) {}
    CRDXHandle& operator=(CRDXHandle&& other) noexcept;
    CRDXHandle(const CRDXHandle&) = delete;
    CRDXHandle& operator=(const CRDXHandle&) = delete;

    explicit operator bool() const noexcept { return m_handle != nullptr; }
    operator void*() const noexcept { return m_handle; }
    void* Get() const noexcept { return m_handle; }

    void Close();
    void Attach(void* handle);
    void* Detach() noexcept;
    void Swap(CRDXHandle& other) noexcept;

protected:
    // Closes the current handle (throwing on failure) and takes the other's.
    void MoveFrom(CRDXHandle& other);

    void* m_handle = nullptr;
};

// A command started in the background (rdx_reader_begin_connect).
class CAsyncCommand : public CRDXHandle {
public:
    using CRDXHandle::CRDXHandle;
    CAsyncCommand() noexcept = default;
    ~CAsyncCommand() override = default;
    CAsyncCommand(CAsyncCommand&& other) noexcept = default;
    CAsyncCommand& operator=(CAsyncCommand&& other) {
        MoveFrom(other);
        return *this;
    }
};

// The device search (rdx_get_search).
class CReaderSearch : public CRDXHandle {
public:
    using CRDXHandle::CRDXHandle;
    CReaderSearch() noexcept = default;
    ~CReaderSearch() override = default;
    CReaderSearch(CReaderSearch&& other) noexcept = default;
    CReaderSearch& operator=(CReaderSearch&& other) {
        MoveFrom(other);
        return *this;
    }
};

// One reader on one port (rdx_get_reader).
class CReader : public CRDXHandle {
public:
    using CRDXHandle::CRDXHandle;
    CReader() noexcept = default;
    ~CReader() override = default;
    CReader(CReader&& other) noexcept = default;
    CReader& operator=(CReader&& other) {
        MoveFrom(other);
        return *this;
    }
};

// A card number: length byte (0-15) and 15 bytes, least significant first; the library's layout.
class CCardUID {
public:
    static constexpr std::size_t kMaxBytes = 15;

    uint8_t length = 0;
    uint8_t bytes[kMaxBytes] = {};

    CCardUID() noexcept = default;
    explicit CCardUID(const rdx_card_uid& uid) noexcept;
    // The count lowest bytes of number, least significant first (at most 15; bytes beyond 8 are zero).
    CCardUID(uint64_t number, std::size_t count) noexcept;
    CCardUID(const uint8_t* data, std::size_t count) noexcept;

    // The bytes from the last to the first, two upper-case hexadecimal digits each.
    std::string ToString() const;

    friend bool operator==(const CCardUID& a, const CCardUID& b) noexcept;
};

static_assert(sizeof(CCardUID) == sizeof(rdx_card_uid), "CCardUID keeps the library's card-number layout");

// A Mifare Classic key: the low 6 bytes of one 64-bit value, key byte 0 least significant, as
// rdx_reader_load_mf_ckey takes it. A default-constructed key is the factory transport key.
class CMifareClassicKey {
public:
    static constexpr std::size_t kKeySize = 6;
    static constexpr uint64_t kKeyMask = 0xFFFFFFFFFFFFull;
    static constexpr uint64_t kTransportKey = 0xFFFFFFFFFFFFull;
    static const CMifareClassicKey kDefault;

    constexpr CMifareClassicKey() noexcept : m_value(kTransportKey) {}
    constexpr explicit CMifareClassicKey(uint64_t value) noexcept : m_value(value & kKeyMask) {}
    // Up to 6 bytes, key byte 0 first; missing bytes are 0.
    CMifareClassicKey(const uint8_t* data, std::size_t count) noexcept;

    constexpr uint64_t value() const noexcept { return m_value; }
    const uint64_t* data() const noexcept { return &m_value; }
    // Key byte i (0-5).
    constexpr uint8_t byte(std::size_t i) const noexcept { return static_cast<uint8_t>(m_value >> (8 * i)); }
    // Writes the 6 key bytes, key byte 0 first (the layout of key A in a sector trailer).
    void CopyTo(uint8_t* out) const noexcept;

    friend constexpr bool operator==(const CMifareClassicKey& a, const CMifareClassicKey& b) noexcept {
        return a.m_value == b.m_value;
    }

private:
    uint64_t m_value;
};

inline constexpr CMifareClassicKey CMifareClassicKey::kDefault{};

// Names of rdx_port_type 0-5.
inline constexpr std::size_t kPortTypeCount = 6;
extern const char* const kPortTypeNames[kPortTypeCount];
// Display names indexed by rdx_reader_model (0 = no model).
extern const char* const kReaderModelNames[RDX_MODEL_COUNT];
// The model's display name; "" for a model outside the table.
const char* ReaderModelName(rdx_reader_model model) noexcept;

// Mifare Classic cards (Mini, 1K, 2K, 4K).
bool IsMfClassic(rdx_card_type type) noexcept;
// Mifare Plus and Smart MX cards.
bool IsMfPlus(rdx_card_type type) noexcept;
// A card that answers Mifare Classic commands: Mifare Classic, or Mifare Plus at security level 1.
bool IsMfClassicMode(rdx_card_type type, rdx_mf_plus_sl sl) noexcept;

} // namespace rdx
