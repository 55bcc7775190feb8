// A key database file: a DBF table with seven fixed columns whose record 0 holds the database's
// description and lock-open time code, and whose further records hold one key each.
#pragma once

#include <glibmm/ustring.h>

#include <cstdint>
#include <filesystem>
#include <functional>

#include "keys/CDbf.h"
#include "keys/KeyTypes.h"

class CKeyDbTimes;

class CKeyDb : public CDbf {
public:
    enum Column : int {
        kColId = 0,
        kColAttr = 1,
        kColType = 2,
        kColShortNum = 3,
        kColKeyNum = 4,
        kColComment = 5,
        kColCreate = 6,
        kColumnCount = 7,
    };
    static constexpr char kFileExtension[] = ".dbf"; // every database file in the database folder has it
    static constexpr std::uint16_t kDefaultOpenTimeCode = 46; // 3.0084 s
    static constexpr std::uint16_t kRecordLength = 154;
    static constexpr std::uint16_t kHeaderLength = 257;
    static constexpr std::size_t kCommentOffset = 38; // COMMENT inside a record
    static constexpr std::size_t kCommentLength = 100;

    CKeyDb() = default;
    // Writes a modified record, then closes.
    ~CKeyDb() override;

    // Creates a new database when `create` is set or nothing exists at path, otherwise opens it for reading
    // and writing and checks its columns ("Bad database format."). Ends with a database record 0.
    void Connect(const std::filesystem::path& path, bool create);
    bool CheckFormat() const;

    // Record 0. The setters only change the record buffer; Post, a record move or Close writes it.
    Glib::ustring GetComment();
    void SetComment(const Glib::ustring& text);
    std::uint16_t GetOpenTimeCode();
    void SetOpenTimeCode(std::uint16_t code);

    // Keys stored after the database record.
    std::uint32_t GetKeyCount() const { return GetRecordCount() > 0 ? GetRecordCount() - 1 : 0; }
    // Reads key k (record k + 1).
    void ReadKey(std::uint32_t k, key_info& info);
    // Reads every key in file order, handing each to sink in one reused record (sink may take its values).
    void ReadKeys(const std::function<void(std::uint32_t k, key_info& info)>& sink);
    // Appends a record holding info. Throws CDbfException "Bad Value" when a value does not fit its column.
    void AddKey(const key_info& info);
    // The same for many keys in a row, with the time zone looked at once for all of them.
    void AddKey(const key_info& info, const CKeyDbTimes& times);

    // Description and key count straight from the file's first bytes, for the database list. False when
    // the file cannot be read or holds no description (the key count is still set when it is known).
    static bool GetKeyDbInfo(const std::filesystem::path& path, Glib::ustring& description, int& key_count);

protected:
    void GetKeyInfo(key_info& info, const CKeyDbTimes& times) const;
    void SetKeyInfo(const key_info& info, const CKeyDbTimes& times);
    // Fills a blank record from info where every value surely fits; false when one needs SetKeyInfo.
    bool PutKeyInfo(const key_info& info, const CKeyDbTimes& times);
};

// The attribute code a key database stores for attr, and the attribute a stored code stands for.
int key_attr_to_db_code(KeyAttr attr);
KeyAttr key_attr_from_db_code(long code);
