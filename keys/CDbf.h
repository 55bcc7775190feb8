// A dBASE III table file read and written one record at a time, with character fields kept in a Cyrillic
// single-byte code page and handed out as UTF-8. It knows nothing about keys.
#pragma once

#include <glibmm/ustring.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "keys/CDbfException.h"
#include "keys/DbfCodePage.h"

// The conversions of character fields, answered from tables that iconv fills once per code page: the same
// results and errors as ansiToUtf8 and utf8_to_ansi, without an iconv call per field.
std::string dbf_decode_text(DbfCodePage cp, std::string_view bytes);
std::string dbf_encode_text(DbfCodePage cp, std::string_view text);

class CDbf {
public:
    // One field descriptor, exactly as it stands in the file.
    struct DBFFIELD {
        char name[11];         // ASCII, zero-padded
        char type;             // 'C', 'N', 'F', 'D', 'L'
        std::uint8_t addr[4];  // field data address: kept as given, never used
        std::uint8_t length;   // bytes in the record
        std::uint8_t decimals; // used by 'F'
        std::uint8_t reserved[14];
    };
    static_assert(sizeof(DBFFIELD) == 32, "a field descriptor is 32 bytes");

    static constexpr std::size_t kHeaderSize = 32;
    static constexpr std::size_t kDescriptorSize = 32;
    static constexpr std::uint8_t kVersion = 0x03;     // dBASE III without memo
    static constexpr std::uint8_t kTerminator = 0x0D;  // ends the field descriptors
    static constexpr std::uint8_t kLangCp866 = 0x26;   // '&'
    static constexpr std::uint8_t kLangWin1251 = 0x57; // 'W'
    static constexpr char kLiveFlag = ' ';
    static constexpr char kDeletedFlag = '*';

    CDbf();
    CDbf(const CDbf&) = delete;
    CDbf& operator=(const CDbf&) = delete;
    // Closes the file without writing a modified record buffer (records already written are kept).
    virtual ~CDbf();

    // Opens an existing table. Throws std::runtime_error "Failed to open database \"<path>\": <error>", or
    // "Bad database format." when the header or field descriptors do not describe the file.
    void Open(const std::filesystem::path& path, bool read_only);
    // Creates (or truncates) a table with these fields and no records, CP866.
    void Create(const std::filesystem::path& path, const DBFFIELD* fields, int count);
    // Writes a modified record and everything pending, then closes. The file is closed even on failure.
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    void GoToRecord(std::int32_t index);
    void Append(int n = 1);
    // Writes a modified record buffer and everything still pending, so the file on disk is complete.
    void Post();
    // Post, then flush the file to the storage device.
    void Sync();

    Glib::ustring GetFieldData(int field) const;
    void SetFieldData(int field, const Glib::ustring& value);
    // SetFieldData of UTF-8 text that is not a Glib::ustring (saves building one per field).
    void SetFieldText(int field, std::string_view value);

    void SetDeleteStatus(bool deleted);
    bool GetDeleteStatus() const;
    void PackTable();
    void EmptyTable();
    void Insert(int n);
    void CopyTo(std::int32_t dest, int n);
    void Cancel();
    void SetCodePage(int cp);
    void SetDbfDate(int day, int month, int year);

    const std::string& GetFileName() const { return m_file_name; }
    std::uint32_t GetRecordCount() const { return m_record_count; }
    int GetFieldCount() const { return static_cast<int>(m_fields.size()); }
    const DBFFIELD& GetField(int field) const { return m_fields.at(static_cast<std::size_t>(field)); }
    const std::vector<DBFFIELD>& GetFields() const { return m_fields; }
    std::uint16_t GetHeaderLength() const;
    std::uint16_t GetRecordLength() const;
    std::int32_t GetCurrentRecord() const { return m_current; }
    DbfCodePage GetCodePage() const { return m_code_page; }
    bool IsModified() const { return m_modified; }

protected:
    // The field's bytes in the record buffer with blanks stripped at both ends (no conversion).
    std::string_view GetFieldRaw(int field) const;
    // GetFieldRaw of fields 0 ... count - 1 at once (count at most the field count).
    void GetFieldsRaw(std::string_view* raw, int count) const;
    // A character field's text from its GetFieldRaw bytes, as GetFieldData gives it.
    Glib::ustring DecodeCharField(std::string_view raw) const;
    // Puts a value straight into a blank field of the record buffer when it surely fits without checks or
    // conversions: bytes of a field of `type` that take no conversion (any bytes in an 'N' field, plain
    // ASCII in a 'C' field) and are no more than the field (right-aligned when `right`), or text whose
    // every character the code page has (left-aligned). False, with the field unspecified, otherwise: the
    // caller then sets it through SetFieldData. Does not mark the buffer modified.
    bool PutFieldAscii(int field, char type, std::string_view value, bool right);
    bool PutFieldText(int field, std::string_view value);
    // Writes the record buffer at the current record. Appended records are collected in memory and reach
    // the file in large writes, at the latest with Post, Close or the destructor.
    void WriteRecord();

private:
    void ReadHeader(std::uint64_t file_size);
    void ReadDescriptors();
    void SetUp(DbfCodePage cp);
    void ReadRecordAt(std::uint32_t index, std::uint8_t* dst);
    void WriteRecordAt(std::uint32_t index, const std::uint8_t* src);
    void WriteModified();
    void FlushPending();
    void WriteHeader();
    void Truncate(std::uint32_t count);
    void StampToday();
    void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    void CloseFile() noexcept;
    std::uint64_t RecordOffset(std::uint32_t index) const;
    void SetFieldDate(const DBFFIELD& f, char* dst, const Glib::ustring& value);
    void SetFieldFloat(const DBFFIELD& f, char* dst, const Glib::ustring& value);
    void SetFieldChar(const DBFFIELD& f, char* dst, std::string_view value);
    const DBFFIELD& CheckedField(int field) const;

    std::string m_file_name;
    int m_fd = -1;
    std::uint8_t m_header[kHeaderSize] = {};
    std::vector<DBFFIELD> m_fields;
    std::vector<std::uint8_t> m_record;
    std::int32_t m_current = -1;
    DbfCodePage m_code_page = DbfCodePage::kNone;
    bool m_modified = false;

    std::vector<std::uint32_t> m_offsets; // of each field in the record
    std::uint32_t m_record_count = 0;     // records the file really holds (pending ones included)
    bool m_header_dirty = false;
    // Appended records not yet in the file: indices m_tail_first ... m_record_count - 1.
    std::vector<std::uint8_t> m_tail;
    std::uint32_t m_tail_first = 0;
    // A window of records read ahead from the file, so that a scan does not cost a system call per record.
    std::vector<std::uint8_t> m_cache;
    std::uint32_t m_cache_first = 0;
    std::uint32_t m_cache_count = 0;
};
