// End-to-end tests of the Mifare worker against the stand-in reader library: each test makes a simulated
// world in a temporary folder (one desktop reader, card files written in the world's text format), starts
// real workers on that reader, lays cards on it one after the other and waits for the worker's answers.
// A notify callback plays the Mifare dialog: it fetches the flags, the status text and the card rows.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/HexDiff.h"
#include "readers/CMifareThread.h"
#include "readers/ReaderWorldFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using reader_world::trailer_block;
constexpr const char* kPort = "sim-mifare-0";
constexpr uint64_t kForeignKey = 0x0123456789ABull;
// Key B of the test cards: readable under the transport access bits, so a trailer read back carries it and
// a trailer written back must keep it.
constexpr uint64_t kCardKeyB = 0xB6B5B4B3B2B1ull;
const Bytes kTransportKey(6, 0xFF);
const Bytes kTransportAccess = {0xFF, 0x07, 0x80, 0x69};

Bytes key_bytes(const rdx::CMifareClassicKey& key) {
    Bytes bytes(6);
    key.CopyTo(bytes.data());
    return bytes;
}

// A list standing in for the dialog's Gtk::StringList.
struct CRowList {
    std::vector<Glib::ustring> rows;
    unsigned get_n_items() const { return static_cast<unsigned>(rows.size()); }
    void append(const Glib::ustring& row) { rows.push_back(row); }
    void splice(unsigned position, unsigned removals, const std::vector<Glib::ustring>& additions) {
        rows.erase(rows.begin() + position, rows.begin() + position + removals);
        rows.insert(rows.begin() + position, additions.begin(), additions.end());
    }
};

// What the dialog has seen of one worker.
struct CSeen {
    unsigned msgs = 0;
    Glib::ustring status;
    std::vector<Glib::ustring> statuses; // every status text in turn
    std::shared_ptr<CRowList> rows = std::make_shared<CRowList>();
    int selected = -1;
    unsigned selections = 0; // selected-card notifications so far
    size_t finished = 0;
};

class CMifareThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir / "readers");
        std::filesystem::create_directories(m_dir / "cards");
        // port type 1 (COM), model 2 (a desktop Mifare reader), serial 77, firmware 1.1.0
        test::replace_text(m_dir / "devices", std::string("1\t") + kPort + "\t2\t77\t1.1.0\n");
        put_card("");
    }
    void TearDown() override {
        m_threads.clear();
        if (m_log_library.IsInitialized())
            rdx_set_log_callback(nullptr, nullptr); // waits for a running callback
    }

    // A blank card as delivered (see blank_card_blocks); key A of the `locked` sectors is a foreign key.
    std::string make_card(unsigned serial, const char* size, const std::vector<unsigned>& locked = {}) {
        char uid[16];
        std::snprintf(uid, sizeof uid, "C0DE%04X", serial);
        auto blocks =
            reader_world::blank_card_blocks(uid, size, key_bytes(rdx::CMifareClassicKey(kCardKeyB)));
        const Bytes foreign = key_bytes(rdx::CMifareClassicKey(kForeignKey));
        for (unsigned s : locked)
            std::copy(foreign.begin(), foreign.end(), blocks[trailer_block(s)].begin());
        test::replace_text(m_dir / "cards" / uid, reader_world::card_text(uid, size, blocks));
        return uid;
    }
    Bytes block(const std::string& uid, unsigned index) {
        return reader_world::card_block(m_dir / "cards" / uid, index);
    }
    Bytes key_a(const std::string& uid, unsigned sector) {
        Bytes trailer = block(uid, trailer_block(sector));
        trailer.resize(6);
        return trailer;
    }
    // Access bits and key B of a trailer: what re-keying and clearing must leave as they were.
    Bytes trailer_rest(const std::string& uid, unsigned sector) {
        Bytes trailer = block(uid, trailer_block(sector));
        return Bytes(trailer.begin() + 6, trailer.end());
    }
    // Every trailer of a 1K card: key A as given, access bits and key B as the card was delivered.
    void expect_trailers(const std::string& uid, const Bytes& key) {
        Bytes rest = kTransportAccess;
        const Bytes key_b = key_bytes(rdx::CMifareClassicKey(kCardKeyB));
        rest.insert(rest.end(), key_b.begin(), key_b.end());
        for (unsigned sector = 0; sector < 16; ++sector) {
            EXPECT_BYTES_EQ(key, key_a(uid, sector)) << "sector " << sector;
            EXPECT_BYTES_EQ(rest, trailer_rest(uid, sector)) << "sector " << sector;
        }
    }
    // Arms faults of the simulated reader (one "<kind> <after>" a line).
    void arm_faults(const std::string& lines) {
        std::filesystem::create_directories(m_dir / "faults");
        test::replace_text(m_dir / "faults" / kPort, lines);
    }
    void put_card(const std::string& uid) {
        test::replace_text(m_dir / "readers" / kPort,
                           "card " + (uid.empty() ? std::string("-") : uid) + "\n");
    }

    CMifareThread& new_thread() {
        m_threads.push_back(std::make_unique<CMifareThread>());
        m_seen.push_back(std::make_unique<CSeen>());
        CMifareThread& thread = *m_threads.back();
        CSeen& seen = *m_seen.back();
        thread.SetOnNotify([this, &thread, &seen] {
            std::lock_guard lock(m_wait_mutex);
            unsigned msgs = 0;
            thread.GetNMsgs(msgs);
            seen.msgs |= msgs;
            if (msgs & CMifareThread::NMSG_STATUS_TEXT) {
                seen.status = thread.GetStatusText();
                seen.statuses.push_back(seen.status);
            }
            if (msgs & CMifareThread::NMSG_CARD_ROWS)
                thread.get_card_status(seen.rows);
            if (msgs & CMifareThread::NMSG_SELECTED_CARD) {
                seen.selected = thread.GetSelectedCardIndex();
                ++seen.selections;
            }
            std::vector<CCardUID> done;
            thread.GetFinCards(done);
            seen.finished = done.size();
            m_changed.notify_all();
        });
        thread.set_port(RDX_PORT_COM, kPort);
        return thread;
    }
    CSeen& seen_of(const CMifareThread& thread) {
        for (size_t i = 0; i < m_threads.size(); ++i)
            if (m_threads[i].get() == &thread)
                return *m_seen[i];
        throw std::logic_error("unknown worker");
    }

    // Waits, with a generous deadline, until what the dialog has seen satisfies pred.
    template <class Pred>
    bool wait_seen(const CMifareThread& thread, Pred pred) {
        CSeen& seen = seen_of(thread);
        std::unique_lock lock(m_wait_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return pred(seen); });
    }
    bool wait_finished(const CMifareThread& thread, size_t cards) {
        return wait_seen(thread,
                         [&](const CSeen& seen) { return seen.finished >= cards || is_error(seen.status); });
    }
    bool wait_status(const CMifareThread& thread, const Glib::ustring& text) {
        return wait_seen(thread, [&](const CSeen& seen) { return seen.status.raw() == text.raw(); });
    }
    static bool is_error(const Glib::ustring& status) {
        return status.find("error") != Glib::ustring::npos || status.find("Wrong") != Glib::ustring::npos ||
               status.find("do not hold") != Glib::ustring::npos;
    }
    // What the dialog has seen of the worker, read (or changed) under the lock.
    template <class Read>
    auto seen(const CMifareThread& thread, Read read) {
        std::lock_guard lock(m_wait_mutex);
        return read(seen_of(thread));
    }
    Glib::ustring status(const CMifareThread& thread) {
        return seen(thread, [](const CSeen& s) { return s.status; });
    }
    std::vector<Glib::ustring> rows(const CMifareThread& thread) {
        return seen(thread, [](const CSeen& s) { return s.rows->rows; });
    }
    size_t seen_finished(const CMifareThread& thread) {
        return seen(thread, [](const CSeen& s) { return s.finished; });
    }
    unsigned msgs(const CMifareThread& thread) {
        return seen(thread, [](const CSeen& s) { return s.msgs; });
    }
    // The keys and lock time code a finished read handed over.
    static std::pair<std::vector<m6::_db_key>, unsigned short> db_data(CMifareThread& reader) {
        std::pair<std::vector<m6::_db_key>, unsigned short> data{{}, 0};
        reader.GetDbData(data.first, data.second);
        return data;
    }
    static size_t finished_cards(CMifareThread& thread) {
        std::vector<CCardUID> done;
        thread.GetFinCards(done);
        return done.size();
    }

    // Presents every card in turn and waits until the worker has finished it.
    void present_all(CMifareThread& thread, const std::vector<std::string>& cards) {
        const size_t done = seen_finished(thread);
        for (size_t i = 0; i < cards.size(); ++i) {
            seen(thread, [](CSeen& s) { s.status.clear(); });
            put_card(cards[i]);
            ASSERT_TRUE(wait_finished(thread, done + i + 1)) << "card " << i << ": " << status(thread);
            ASSERT_FALSE(is_error(status(thread))) << "card " << i << ": " << status(thread);
        }
    }
    std::vector<std::string> make_cards(const std::vector<const char*>& sizes) {
        std::vector<std::string> cards;
        for (const char* size : sizes)
            cards.push_back(make_card(m_next_serial++, size));
        return cards;
    }

    static std::vector<m6::_db_key> make_keys(unsigned count) {
        std::vector<m6::_db_key> keys;
        for (unsigned i = 0; i < count; ++i) {
            m6::_db_key key;
            if (i % 5 == 4) {
                key.number = CCardUID(uint64_t{0x30000} + i, 3);
                key.is_short = true;
            } else {
                key.number = CCardUID(uint64_t{0x0B0000000000} + uint64_t{i} * 104729u, 6);
            }
            key.attr = static_cast<KeyAttr>(1 + i % 4);
            keys.push_back(key);
        }
        return keys;
    }
    // Writes keys over the cards with a worker that is stopped afterwards, and takes the last card away.
    void write_set(const std::vector<std::string>& cards, const std::vector<m6::_db_key>& keys,
                   unsigned short lock_code = 46) {
        CMifareThread& writer = new_thread();
        writer.StartWriteDb(keys, lock_code);
        present_all(writer, cards);
        EXPECT_EQ(status(writer), "Ready.");
        EXPECT_TRUE(msgs(writer) & CMifareThread::NMSG_FINISHED);
        writer.Stop();
        put_card("");
    }

    // Reads the cards back in order with a new worker and compares the keys with those written.
    void expect_reads_back(const std::vector<std::string>& cards, const std::vector<m6::_db_key>& keys) {
        put_card("");
        CMifareThread& reader = new_thread();
        reader.StartReadDb();
        present_all(reader, cards);
        EXPECT_EQ(status(reader), "Ready.");
        const auto [read, lock_code] = db_data(reader);
        ASSERT_EQ(read.size(), keys.size());
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(read[i].number, keys[i].number) << "key " << i;
        reader.Stop();
    }
    // Puts each card on the reader in turn and waits until the worker has finished it as the (i+1)-th card
    // of its set, or shows it as the finished card i; error texts on the way are allowed.
    // take_off: between cards, wait until the reader has seen its field empty (needs library_log_start).
    void present_in_turn(CMifareThread& thread, const std::vector<std::string>& cards,
                         bool take_off = false) {
        for (size_t i = 0; i < cards.size(); ++i) {
            const size_t statuses = seen(thread, [](const CSeen& s) { return s.statuses.size(); });
            const unsigned selections = seen(thread, [](const CSeen& s) { return s.selections; });
            if (i > 0 && take_off) {
                // The reader must have seen the field empty, so the next card is a change however fast
                // the cards follow each other.
                const unsigned taken_off = log_count(kPort, "card taken off");
                put_card("");
                ASSERT_TRUE(wait_log_count(kPort, "card taken off", taken_off + 1));
            }
            put_card(cards[i]);
            ASSERT_TRUE(wait_seen(
                thread,
                [&](const CSeen& seen) {
                    const bool ready =
                        std::any_of(seen.statuses.begin() + statuses, seen.statuses.end(),
                                    [](const Glib::ustring& t) { return t.raw().rfind("Ready", 0) == 0; });
                    return (ready && seen.finished == i + 1) ||
                           (seen.selections > selections && seen.selected == static_cast<int>(i));
                }))
                << "card " << i << ": " << status(thread);
        }
    }
    // The library's own log (level 4), to see what the worker asked of the reader.
    void library_log_start() {
        m_log_library.Init();
        ASSERT_EQ(rdx_set_log_callback(&CMifareThreadTest::on_library_log, this), RDX_OK);
        ASSERT_EQ(rdx_set_log_level(4), RDX_OK);
    }
    static void on_library_log(int32_t, const char*, const char* message, void* ctx) {
        auto* self = static_cast<CMifareThreadTest*>(ctx);
        std::lock_guard lock(self->m_wait_mutex);
        self->m_log.push_back(message);
        self->m_changed.notify_all();
    }
    // Library log lines holding both a and b; the caller holds m_wait_mutex.
    unsigned log_lines_with(const std::string& a, const std::string& b) const {
        return static_cast<unsigned>(std::count_if(m_log.begin(), m_log.end(), [&](const std::string& line) {
            return line.find(a) != std::string::npos && line.find(b) != std::string::npos;
        }));
    }
    bool wait_log_count(const std::string& a, const std::string& b, unsigned count) {
        std::unique_lock lock(m_wait_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30),
                                  [&] { return log_lines_with(a, b) >= count; });
    }
    bool wait_log(const std::string& part) { return wait_log_count(part, "", 1); }
    unsigned log_count(const std::string& a, const std::string& b) {
        std::lock_guard lock(m_wait_mutex);
        return log_lines_with(a, b);
    }

    test::CSimWorldDir m_dir; // the world of the stand-in reader library
    unsigned m_next_serial = 1;
    rdx::CRDX m_log_library;
    std::vector<std::string> m_log;
    std::mutex m_wait_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<CSeen>> m_seen;
    std::vector<std::unique_ptr<CMifareThread>> m_threads;
};

TEST_F(CMifareThreadTest, EmptyListFitsOneCardAndIsReadyAtOnce) {
    const std::string card = make_card(1, "1k");
    CMifareThread& writer = new_thread();
    writer.StartWriteDb({}, 46);
    put_card(card);
    ASSERT_TRUE(wait_status(writer, "Ready.")) << status(writer);
    EXPECT_TRUE(msgs(writer) & CMifareThread::NMSG_FINISHED);

    // Block 1: the card's own UID bytes as group, sequence 0; block 2: header and closing record.
    EXPECT_BYTES_EQ(Bytes({0x01, 0x00, 0xDE, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), block(card, 1));
    EXPECT_BYTES_EQ(Bytes({0x34, 0xFF, 0xFF, 0xFF, 0xD1, 0x15, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0, 0xFF, 0xFF,
                           0xFF, 0xFF}),
                    block(card, 2));
    expect_trailers(card, key_bytes(CMifareThread::kMfDsKey));
    EXPECT_BYTES_EQ(Bytes(16, 0), block(card, 4)) << "data after the stream stays as it was";
}

// The full list over a mixed set, read back in order by a second worker with the lock time code.
TEST_F(CMifareThreadTest, FullListReadsBackOverMixedCards) {
    const auto cards = make_cards({"2k", "1k", "4k", "1k", "4k"});
    const auto keys = make_keys(1363);
    write_set(cards, keys, 0x1234);
    CMifareThread& reader = new_thread();
    reader.StartReadDb();
    present_all(reader, cards);
    EXPECT_EQ(status(reader), "Ready.");
    EXPECT_EQ(rows(reader).at(1), "1. C0DE0002 1k - keys 249 - 372"); // the reader counts cards from 0
    const auto [read, lock_code] = db_data(reader);
    EXPECT_EQ(lock_code, 0x1234);
    ASSERT_EQ(read.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(read[i].number, keys[i].number) << "key " << i;
        EXPECT_EQ(read[i].is_short, keys[i].is_short) << "key " << i;
        EXPECT_EQ(read[i].attr, keys[i].attr) << "key " << i;
    }
}

TEST_F(CMifareThreadTest, CardsOutOfOrderGiveWrongSequence) {
    const auto cards = make_cards({"1k", "1k"});
    write_set(cards, make_keys(150));
    CMifareThread& reader = new_thread();
    reader.StartReadDb();
    put_card(cards[1]);
    ASSERT_TRUE(wait_status(reader, "Wrong sequence of ID code.")) << status(reader);
    // The rejected card stays unfinished; the set still reads in the right order.
    present_all(reader, cards);
    EXPECT_EQ(status(reader), "Ready.");
    const auto [read, lock_code] = db_data(reader);
    EXPECT_EQ(read.size(), 150u);
}

TEST_F(CMifareThreadTest, CardOfAnotherSetGivesWrongGroup) {
    const auto set_a = make_cards({"1k", "1k"});
    const auto set_b = make_cards({"1k", "1k"});
    write_set(set_a, make_keys(150));
    write_set(set_b, make_keys(150));
    CMifareThread& reader = new_thread();
    reader.StartReadDb();
    present_all(reader, {set_a[0]});
    put_card(set_b[1]);
    ASSERT_TRUE(wait_status(reader, "Wrong group.")) << status(reader);
}

TEST_F(CMifareThreadTest, SectorOpeningWithNeitherKeyStopsTheCard) {
    const std::string card = make_card(1, "1k", {3});
    CMifareThread& writer = new_thread();
    writer.StartWriteDb(make_keys(10), 46);
    put_card(card);
    ASSERT_TRUE(wait_status(writer, "Authentication error for sector 3 of key")) << status(writer);
    EXPECT_EQ(finished_cards(writer), 0u);
    // The sectors before it were written and locked; the locked sector and those after it were not touched.
    EXPECT_BYTES_EQ(key_bytes(CMifareThread::kMfDsKey), key_a(card, 2));
    EXPECT_BYTES_EQ(key_bytes(rdx::CMifareClassicKey(kForeignKey)), key_a(card, 3));
    EXPECT_BYTES_EQ(kTransportKey, key_a(card, 4));
}

TEST_F(CMifareThreadTest, FinishedCardPresentedAgainOnlySelectsItsRow) {
    const auto cards = make_cards({"1k", "1k"});
    CMifareThread& preparer = new_thread();
    preparer.StartPrepare();
    present_all(preparer, cards);
    const std::string before = test::read_text(m_dir / "cards" / cards[0]);
    put_card(cards[0]);
    ASSERT_TRUE(wait_seen(preparer, [](const CSeen& seen) { return seen.selected == 0; }));
    EXPECT_EQ(test::read_text(m_dir / "cards" / cards[0]), before);
    EXPECT_EQ(finished_cards(preparer), 2u);
}

TEST_F(CMifareThreadTest, PrepareLeavesAnEmptySetLockedWithTheProgramKey) {
    const auto cards = make_cards({"1k", "1k"});
    CMifareThread& preparer = new_thread();
    preparer.StartPrepare();
    present_all(preparer, cards);
    EXPECT_EQ(status(preparer), "Ready. Swipe the following card Mifare Classic 4K/1K.");
    EXPECT_BYTES_EQ(Bytes({0x01, 0x00, 0xDE, 0xC0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), block(cards[1], 1));
    EXPECT_BYTES_EQ(Bytes({0x01, 0x00, 0xFF, 0xFF, 0xD1, 0x15, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x04, 0xFF,
                           0xFF, 0xFF}),
                    block(cards[1], 2));
    EXPECT_BYTES_EQ(Bytes(16, 0xFF), block(cards[1], 4));
    expect_trailers(cards[1], key_bytes(CMifareThread::kMfDsKey));
    const auto row_texts = rows(preparer);
    ASSERT_EQ(row_texts.size(), 2u);
    EXPECT_EQ(row_texts[1], "2. C0DE0002 1k - 100%");

    // A prepared first card reads back as an empty list with the default lock time.
    put_card("");
    CMifareThread& reader = new_thread();
    reader.StartReadDb();
    present_all(reader, {cards[0]});
    EXPECT_EQ(status(reader), "Ready.");
    std::vector<m6::_db_key> read(1);
    unsigned short lock_code = 0;
    reader.GetDbData(read, lock_code);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(lock_code, 46);
}

TEST_F(CMifareThreadTest, ClearZeroesDataAndRestoresTheTransportKey) {
    const auto cards = make_cards({"1k"});
    write_set(cards, make_keys(100));
    CMifareThread& cleaner = new_thread();
    cleaner.StartClear();
    present_all(cleaner, cards);
    EXPECT_EQ(status(cleaner), "Ready. Swipe the following card Mifare Classic 4K/1K.");
    for (unsigned b = 1; b < 64; ++b) {
        if (b == trailer_block(b / 4))
            continue;
        EXPECT_BYTES_EQ(Bytes(16, 0), block(cards[0], b)) << "block " << b;
    }
    expect_trailers(cards[0], kTransportKey);
    EXPECT_EQ(rows(cleaner).at(0), "1. C0DE0001 1k - 100%");
}

// Once the whole list is on cards, a further card is left as it is.
TEST_F(CMifareThreadTest, CardsAfterTheSetIsCompleteAreNotWritten) {
    const auto cards = make_cards({"1k", "1k"});
    CMifareThread& writer = new_thread();
    writer.StartWriteDb(make_keys(10), 46);
    present_all(writer, {cards[0]});
    ASSERT_EQ(status(writer), "Ready.");
    const std::string before = test::read_text(m_dir / "cards" / cards[1]);
    library_log_start();
    put_card(cards[1]);
    ASSERT_TRUE(wait_log("card info " + cards[1])) << "the worker looked at the card";
    // A reconnect runs after the worker is through with that card.
    const size_t statuses = seen(writer, [](const CSeen& s) { return s.statuses.size(); });
    writer.reconnect();
    ASSERT_TRUE(wait_seen(writer, [&](const CSeen& seen) {
        return std::any_of(seen.statuses.begin() + statuses, seen.statuses.end(),
                           [](const Glib::ustring& t) { return t.raw() == "Connecting to the reader..."; });
    }));
    EXPECT_EQ(test::read_text(m_dir / "cards" / cards[1]), before);
    EXPECT_EQ(seen_finished(writer), 1u);
}

// The dialog asks for a connection when it sees the reader listed again, maybe after the library has
// connected it by itself: a connected reader is left as it is, and the card on it is written once.
TEST_F(CMifareThreadTest, AConnectionAskedForWhileConnectedKeepsTheConnection) {
    const auto cards = make_cards({"1k"});
    CMifareThread& writer = new_thread();
    writer.StartWriteDb(make_keys(10), 46);
    ASSERT_TRUE(wait_seen(writer, [](const CSeen& seen) {
        return seen.status.raw().rfind("The reader is connected", 0) == 0;
    }));
    const size_t statuses = seen(writer, [](const CSeen& s) { return s.statuses.size(); });
    writer.ensure_connected();
    // The worker takes the request before it comes to the card.
    present_all(writer, {cards[0]});
    EXPECT_EQ(status(writer), "Ready.");
    const auto after = seen(writer, [&](const CSeen& s) {
        return std::vector<Glib::ustring>(s.statuses.begin() + statuses, s.statuses.end());
    });
    EXPECT_EQ(std::find(after.begin(), after.end(), "Connecting to the reader..."), after.end());
}

// A blank card opens with the transport key from sector 0 on: only the first try with the program's key
// fails. Every failed authentication halts the card, which the reader must then select again.
TEST_F(CMifareThreadTest, KeyThatOpenedThePreviousSectorIsTriedFirst) {
    library_log_start();
    const auto cards = make_cards({"1k"});
    CMifareThread& writer = new_thread();
    writer.StartWriteDb(make_keys(10), 46);
    present_all(writer, cards);
    writer.Stop();
    EXPECT_EQ(log_count("authentication of sector", "failed"), 1u);
}

// Handing over a new key list starts a new set: the cards of the set before are written again.
TEST_F(CMifareThreadTest, NewKeyListStartsANewSet) {
    const auto cards = make_cards({"1k", "1k"});
    CMifareThread& writer = new_thread();
    writer.StartWriteDb(make_keys(150), 46);
    present_all(writer, cards);
    ASSERT_EQ(status(writer), "Ready.");
    put_card("");
    const auto keys = make_keys(200);
    writer.StartWriteDb(keys, 46);
    present_in_turn(writer, cards);
    EXPECT_EQ(status(writer), "Ready.");
    writer.Stop();
    expect_reads_back(cards, keys);
}

// A new key list handed over while a card is being written: whatever the timing, the set that ends up on
// the cards is the new list (the card under work is not counted for the new set).
TEST_F(CMifareThreadTest, KeyListReplacedWhileACardIsWritten) {
    const auto cards = make_cards({"4k", "4k", "4k"});
    CMifareThread& writer = new_thread();
    writer.StartWriteDb(make_keys(1000), 46);
    put_card(cards[0]);
    ASSERT_TRUE(wait_seen(writer, [](const CSeen& seen) {
        return std::find(seen.statuses.begin(), seen.statuses.end(), "Recording card...") !=
               seen.statuses.end();
    }));
    auto keys = make_keys(1363);            // three 4K cards
    std::reverse(keys.begin(), keys.end()); // no stretch of the stream the same as before
    writer.StartWriteDb(keys, 46);
    // The card under work ends (counted for the old set, or taken again for the new one) before it goes.
    ASSERT_TRUE(wait_seen(writer, [](const CSeen& seen) {
        const auto began = std::find(seen.statuses.begin(), seen.statuses.end(), "Recording card...");
        return std::any_of(began, seen.statuses.end(),
                           [](const Glib::ustring& t) { return t.raw().rfind("Ready", 0) == 0; });
    }));
    library_log_start();
    put_card("");
    ASSERT_TRUE(wait_log("card taken off"));
    present_in_turn(writer, cards);
    EXPECT_EQ(status(writer), "Ready.");
    writer.Stop();
    expect_reads_back(cards, keys);
}

// A fault of the reader in the middle of the first card: the card stays unfinished, auto scan comes back
// (the next card is noticed), the failed card is finished when presented again, and the set reads back.
TEST_F(CMifareThreadTest, ReaderFaultLeavesTheCardForItsNextPresentation) {
    struct Case {
        const char* fault;
        const char* status; // the text the failure shows, empty: the library's own text
    };
    const Case cases[] = {
        {"auth-fail 5", "Authentication error for sector 4 of key"},
        {"read-fail 2", ""},
        {"write-fail 4", ""},
        {"take-card 8", ""},
        {"lose-device 9", ""},
        {"garble-read 1", "The access bits of sector 1 are not valid; its trailer was left as it is"},
    };
    library_log_start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        put_card("");
        const auto cards = make_cards({"1k", "1k"});
        const auto keys = make_keys(150);
        CMifareThread& writer = new_thread();
        writer.StartWriteDb(keys, 46);
        ASSERT_TRUE(wait_seen(writer, [](const CSeen& seen) {
            return seen.status.raw().rfind("The reader is connected", 0) == 0;
        }));
        arm_faults(std::string(c.fault) + "\n");
        const Bytes trailer_before = block(cards[0], trailer_block(1));
        put_card(cards[0]);
        // The first status after the card's work began tells how it ended.
        Glib::ustring ending;
        ASSERT_TRUE(wait_seen(writer, [&](const CSeen& seen) {
            const auto began = std::find(seen.statuses.begin(), seen.statuses.end(), "Recording card...");
            if (began == seen.statuses.end() || began + 1 == seen.statuses.end())
                return false;
            ending = *(began + 1);
            return true;
        }));
        EXPECT_NE(ending.raw().rfind("Ready", 0), 0u) << ending;
        if (*c.status) {
            EXPECT_EQ(ending, c.status);
        }
        if (std::string(c.fault).rfind("garble-read", 0) == 0) {
            EXPECT_BYTES_EQ(trailer_before, block(cards[0], trailer_block(1)));
        }
        EXPECT_EQ(seen_finished(writer), 0u) << status(writer);
        // The failed card comes second in the set.
        present_in_turn(writer, {cards[1], cards[0]}, true);
        EXPECT_EQ(status(writer), "Ready.");
        writer.Stop();
        expect_reads_back({cards[1], cards[0]}, keys);
    }
}

} // namespace
