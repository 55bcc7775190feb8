// The key-reading lamp: a filled circle with a black outline.
#include "ui/CComModeView.h"

#include <algorithm>
#include <numbers>

#include "adapter/ComModeLamp.h"

namespace {
constexpr int kLampSize = 18; // the status bar reserves 18 x 18 for the lamp
constexpr double kOutlineWidth = 1.0;
} // namespace

CComModeView::CComModeView() {
    set_content_width(kLampSize);
    set_content_height(kLampSize);
    set_draw_func(sigc::mem_fun(*this, &CComModeView::on_draw));
}

void CComModeView::SetStatus(CAdapterThread::ComMode mode, CAdapterThread::PowerMode power) {
    if (mode == m_mode && power == m_power)
        return;
    m_mode = mode;
    m_power = power;
    queue_draw();
}

void CComModeView::on_draw(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height) {
    const double radius = (std::min(width, height) - 1) / 2.0;
    cr->arc(width / 2.0, height / 2.0, radius, 0.0, 2 * std::numbers::pi);
    const LampColour colour = com_mode_lamp_colour(m_mode, m_power);
    cr->set_source_rgb(colour.red, colour.green, colour.blue);
    cr->fill_preserve();
    cr->set_source_rgb(0.0, 0.0, 0.0);
    cr->set_line_width(kOutlineWidth);
    cr->stroke();
}
