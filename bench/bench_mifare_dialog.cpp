// How smoothly the window and the Mifare dialog keep drawing while a full key list (1,363 keys) is written
// over twelve 1K cards: the real window writes through the real dialog and its worker to the stand-in reader
// library; both windows keep their frame clocks running, and the longest gap between two frames painted
// (and the 99th percentile) is reported. A gap above 50 ms would be a main loop held up by the transfer.
// Run: xvfb-run -a build-rel/bench/bench_mifare_dialog
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gdkmm/frameclock.h>
#include <giomm/settings.h>
#include <glibmm/main.h>
#include <gtkmm/application.h>

#include "MifareBench.h"
#include "WindowBench.h"
#include "keys/CKeyDocument.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"
#include "ui/CMifareDialog.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kReader = "bench-desk";
using namespace mifare_bench;

using window_bench::g_app;
using window_bench::g_home;

void make_database(const std::filesystem::path& file) {
    CKeyDocument doc;
    doc.set_filename(file);
    doc.open();
    for (unsigned i = 0; i < kKeys; ++i)
        doc.add_key(doc.generate_key_id(), CT_DALLAS, key_number(i), false, KA_NORMAL, "key");
    doc.save();
    doc.close(false);
}

bool run_until(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
    auto context = Glib::MainContext::get_default();
    const auto end = Clock::now() + limit;
    auto tick = Glib::signal_timeout().connect([] { return true; }, 20);
    while (!done() && Clock::now() < end)
        context->iteration(true);
    tick.disconnect();
    return done();
}

// Frames painted by one window: a tick callback keeps its frame clock running, as an animation would.
class CFrameLog {
public:
    void attach(Gtk::Widget& widget) {
        m_id = widget.add_tick_callback([this](const Glib::RefPtr<Gdk::FrameClock>&) {
            m_times.push_back(Clock::now());
            return true;
        });
        m_widget = &widget;
    }
    void detach() {
        if (m_widget != nullptr)
            m_widget->remove_tick_callback(m_id);
        m_widget = nullptr;
    }
    void clear() { m_times.clear(); }
    std::vector<double> gaps_ms() const {
        std::vector<double> gaps;
        for (size_t i = 1; i < m_times.size(); ++i)
            gaps.push_back(std::chrono::duration<double, std::milli>(m_times[i] - m_times[i - 1]).count());
        return gaps;
    }

private:
    Gtk::Widget* m_widget = nullptr;
    guint m_id = 0;
    std::vector<Clock::time_point> m_times;
};

void BM_RedrawWhileWritingAMifareSet(benchmark::State& state) {
    const std::filesystem::path world = g_home / "world";
    std::filesystem::create_directories(world / "readers");
    std::filesystem::create_directories(world / "cards");
    write_file(world / "devices", std::string("COM\t") + kReader + "\t2\t1\t0\n");
    put_card(world, kReader, "");
    setenv("RDX_SIM_DIR", world.c_str(), 1);
    make_database(g_home / "bases" / "bench.dbf");

    auto* window = new CMainWindow(g_app);
    window->present();
    window->OpenDatabases({"bench"});
    std::vector<double> window_gaps;
    std::vector<double> dialog_gaps;
    unsigned round = 0;
    for (auto _ : state) {
        const auto cards = make_blank_cards(world, 'D', round++);
        window->main_actions()->activate_action("mf_from_db");
        if (!run_until([&] {
                return window->mifare_dialog() != nullptr && window->mifare_dialog()->get_mapped();
            })) {
            state.SkipWithError("the Mifare dialog did not open");
            break;
        }
        CMifareDialog& dialog = *window->mifare_dialog();
        CFrameLog window_frames;
        CFrameLog dialog_frames;
        window_frames.attach(*window);
        dialog_frames.attach(dialog);
        run_until([&] { return dialog_frames.gaps_ms().size() > 5; });
        window_frames.clear();
        dialog_frames.clear();
        for (unsigned i = 0; i < kCards; ++i) {
            put_card(world, kReader, cards[i]);
            const char* done =
                i + 1 == kCards ? "Ready." : "Ready. Swipe the following card Mifare Classic 4K/1K.";
            if (!run_until([&] {
                    return dialog.card_rows()->get_n_items() >= i + 1 &&
                           dialog.get_status_text().raw() == done;
                })) {
                state.SkipWithError(("card not finished: " + dialog.get_status_text()).c_str());
                break;
            }
        }
        const auto w = window_frames.gaps_ms();
        const auto d = dialog_frames.gaps_ms();
        window_gaps.insert(window_gaps.end(), w.begin(), w.end());
        dialog_gaps.insert(dialog_gaps.end(), d.begin(), d.end());
        window_frames.detach();
        dialog_frames.detach();
        dialog.set_visible(false);
        run_until([&] { return window->mifare_dialog() == nullptr; });
        put_card(world, kReader, "");
    }
    const auto percentile = [](std::vector<double> gaps, double p) {
        if (gaps.empty())
            return 0.0;
        std::sort(gaps.begin(), gaps.end());
        return gaps[std::min(gaps.size() - 1, static_cast<size_t>(p * static_cast<double>(gaps.size())))];
    };
    state.counters["window_max_gap_ms"] = percentile(window_gaps, 1.0);
    state.counters["window_p99_gap_ms"] = percentile(window_gaps, 0.99);
    state.counters["dialog_max_gap_ms"] = percentile(dialog_gaps, 1.0);
    state.counters["dialog_p99_gap_ms"] = percentile(dialog_gaps, 0.99);
    state.counters["frames"] = static_cast<double>(window_gaps.size() + dialog_gaps.size());
    window_bench::close_window(window);
}
BENCHMARK(BM_RedrawWhileWritingAMifareSet)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return window_bench::main(argc, argv, "bench_mifare_dialog",
                              [](const Glib::RefPtr<Gio::Settings>& settings) {
                                  // The full list fills the set exactly: no question before the write.
                                  settings->set_boolean("key-list-confirm", false);
                              });
}
