// The DS1996L content question: a modal window with the text for the key's first byte and Yes / No.
#include "ui/CReadDS1996Dialog.h"

#include "app/i18n.h"
#include "layouts/DS1996Image.h"

namespace {
constexpr unsigned int kCodePrepared = kDs1996Prepared;
constexpr unsigned int kCodeReadAndReady = kDs1996BaseComplete;
constexpr unsigned int kCodeIncomplete = kDs1996BaseIncomplete;
constexpr unsigned int kCodeNoText = 128; // asked with no text of its own
constexpr int kQuestionSpacing = 12;      // roomier than the forms: a short question and two buttons
} // namespace

CReadDS1996Dialog::CReadDS1996Dialog(unsigned int code) : m_yes(_("Yes")), m_no(_("No")) {
    set_title(_("Reading DS1996L"));
    set_modal(true);
    set_resizable(false);
    m_label.set_text(text_for_code(code));
    m_label.set_wrap(true);
    m_label.set_max_width_chars(60);
    m_box.set_spacing(kQuestionSpacing);
    m_box.set_margin(kQuestionSpacing);
    m_buttons.set_spacing(kQuestionSpacing);
    m_buttons.set_halign(Gtk::Align::END);
    m_buttons.append(m_yes);
    m_buttons.append(m_no);
    m_box.append(m_label);
    m_box.append(m_buttons);
    set_child(m_box);
    m_yes.signal_clicked().connect(sigc::mem_fun(*this, &CReadDS1996Dialog::on_yes_button_clicked));
    m_no.signal_clicked().connect(sigc::mem_fun(*this, &CReadDS1996Dialog::on_no_button_clicked));
    set_default_widget(m_yes);
}

Glib::ustring CReadDS1996Dialog::text_for_code(unsigned int code) {
    switch (code) {
    case kCodePrepared:
        return _("The key is ready for reading of the base from the controller. Continue?");
    case kCodeReadAndReady:
        return _("The key is ready for recording of the base to the controller and the base has been "
                 "successfully read. Continue?");
    case kCodeIncomplete:
        return _(
            "The data has been recorded to the key by the controller Q4T incompletely. Continue?\n1. The "
            "key has been hold in the controller during an insufficient period of time\n2. Recording to "
            "the key has been cancelled by the user\n3. Hardware and software failure");
    case kCodeNoText:
        return "";
    default:
        return _("The type of information cannot be detected. Do you want to read key data as Q4 base?\n1. "
                 "Data has been recorded with the help of the function \"File --> DS1996...\" menu "
                 "\"DS1996\". Read with the function \"DS1996 --> file...\"\n2. The data has been recorded "
                 "with an unknown device");
    }
}

void CReadDS1996Dialog::on_yes_button_clicked() {
    m_answer = true;
    set_visible(false);
}

void CReadDS1996Dialog::on_no_button_clicked() {
    m_answer = false;
    set_visible(false);
}
