// The status-bar lamp of the adapter's key-reading mode: a small circle whose colour follows the reading
// state machine and the adapter's power answer.
#pragma once

#include <gtkmm/drawingarea.h>

#include "adapter/CAdapterThread.h"

class CComModeView : public Gtk::DrawingArea {
public:
    CComModeView();
    // Stores both values and redraws only when either changed.
    void SetStatus(CAdapterThread::ComMode mode, CAdapterThread::PowerMode power);
    CAdapterThread::ComMode mode() const { return m_mode; }

protected:
    void on_draw(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height);

private:
    CAdapterThread::ComMode m_mode = CAdapterThread::COM_IDLE;
    CAdapterThread::PowerMode m_power = CAdapterThread::POWER_NONE;
};
