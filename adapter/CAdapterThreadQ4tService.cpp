// Controller service commands: the memory test (random pattern written, read back across page boundaries,
// then an empty list restored) and formatting.
#include <cstring>
#include <random>
#include <vector>

#include "adapter/CAdapterThread.h"
#include "adapter/CommandText.h"
#include "app/i18n.h"

namespace {

constexpr unsigned int kHalfPage = CAdapterThread::kPage / 2;
const char* const kTestFailed = N_("Testing not completed, please try again");

// The page 0 a formatted 4 or 8 KB controller starts from (offset, bytes); everything else is 0xFF.
struct FormatBytes {
    unsigned int offset;
    std::vector<unsigned char> bytes;
};
const FormatBytes kFormatPage[] = {
    {0, {0x67, 0x07}},
    {3, {0xFF, 0xD1}},
    {6, {0x67, 0x07}},
    {10, {0xD1, 0xE5, 0x67, 0x07, 0x26, 0x39, 0x40, 0xEF}},
    {18, {0x1E, 0xD4, 0x45, 0x08}},
    {22, {0x00, 0xE0}},
    {32, {0xC2, 0x00, 0x00, 0x40}},
    {41, {0x4F}},
    {47, {0xEF}},
};

// An empty Q6 list (types 3 and 4) or, for types 1 and 2, an image the controller formats itself.
void build_restore_image(unsigned char* image, m6::M6MemType type) {
    std::memset(image, 0xFF, m6::kMaxMemSize);
    if (m6::IsQ6Type(type))
        m6::PrepareEmptyQ6(image, type);
    else
        m6::PrepareEmptyList(image, m6::MemTypeToKeyCount(type));
}

} // namespace

void CAdapterThread::DoQ4tTest() {
    const Cmd cmd = CMD_Q4T_TEST;
    RunCommand(cmd, CmdExit::KeepReading, [this] {
        std::vector<unsigned char> image(m6::kMaxMemSize, 0xFF);
        m6::M6MemType type;
        if (!OpenController(cmd, _("Testing the controller"), true, image.data(), type))
            return;
        const unsigned int size = m6::MemTypeToMemSize(type);
        SetStatusText(format_text(_("Q4T: size of memory = %u byte"), size), true);
        if (size == 0) {
            SetStatusText(_(kTestFailed), true);
            return;
        }
        CProgressLine progress([this](unsigned int v) {
            SetStatusText(format_text(_("Controller memory test %u %%"), v), false);
        });
        progress.set(0);
        std::random_device device("default");
        std::mt19937 generator(device());
        std::uniform_int_distribution<int> draw(0, 255);
        for (unsigned int i = 0; i < size; ++i)
            image[i] = static_cast<unsigned char>(draw(generator));
        const unsigned int pages = size / kPage;
        if (!WriteImagePages(cmd, false, image.data(), 0, pages,
                             [&](unsigned int done) { progress.set(done * 50 / pages); })) {
            SetStatusText(_(kTestFailed), true);
            return;
        }
        // Reads straddle the page boundaries, so that a page that overwrote its neighbour shows up.
        unsigned char back[kPage];
        auto read_back = [&](unsigned int address) {
            return PortStep([&] { return M6_ReadPage(cmd, false, address, back); });
        };
        unsigned int bad = 0;
        bool passed = read_back(0) && std::memcmp(back, image.data(), kHalfPage) == 0;
        for (unsigned int i = 1; passed && i < pages; ++i) {
            const unsigned int address = i * kPage - kHalfPage;
            passed = read_back(address) && std::memcmp(back, image.data() + address, kPage) == 0;
            if (!passed)
                bad = i;
            progress.set(50 + (i + 1) * 50 / pages);
        }
        if (passed) {
            passed = read_back(pages * kPage - kHalfPage) &&
                     std::memcmp(back, image.data() + size - kHalfPage, kHalfPage) == 0;
            if (!passed)
                bad = pages - 1;
        }
        // Without the port there is no memory to judge and no empty list to restore.
        if (!m_port) {
            SetStatusText(_(kTestFailed), true);
            return;
        }
        build_restore_image(image.data(), type);
        const unsigned int restore = m6::EmptyListPages(m6::MemTypeToKeyCount(type));
        CProgressLine recording = RecordingProgress();
        if (!WriteImagePages(cmd, false, image.data(), 0, restore,
                             [&](unsigned int done) { recording.set(done * 100 / restore); })) {
            SetStatusText(_(kTestFailed), true);
            return;
        }
        SetStatusText(passed ? _("No errors found")
                             : format_text(_("An error of the memory has been detected (page #%u)"), bad),
                      true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoQ4tFormat() {
    const Cmd cmd = CMD_Q4T_FORMAT;
    RunCommand(cmd, CmdExit::KeepReading, [this] {
        std::vector<unsigned char> image(m6::kMaxMemSize, 0xFF);
        m6::M6MemType type;
        if (!OpenController(cmd, _("Formatting the controller"), true, image.data(), type))
            return;
        const unsigned int size = m6::MemTypeToMemSize(type);
        SetStatusText(format_text(_("Q4T: size of memory = %u byte"), size), true);
        std::fill(image.begin(), image.end(), 0xFF);
        if (type == m6::MEM_4K || type == m6::MEM_8K) {
            for (const FormatBytes& part : kFormatPage)
                std::copy(part.bytes.begin(), part.bytes.end(), image.begin() + part.offset);
            image[m6::kOffMemCode] = m6::MemTypeToMemCode(type);
        } else if (m6::IsQ6Type(type)) {
            m6::PrepareEmptyQ6(image.data(), type);
        }
        const unsigned int pages = size / kPage;
        CProgressLine progress = RecordingProgress();
        if (pages == 0 || !WriteImagePages(cmd, false, image.data(), 0, pages,
                                           [&](unsigned int done) { progress.set(done * 100 / pages); })) {
            SetStatusText(_("The record has not been made, please try again"), true);
            return;
        }
        SetStatusText(_("Recording has completed successfully"), false);
        FinishCmd(cmd);
    });
}
