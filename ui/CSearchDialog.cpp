// The find-in-files window: criteria controls, the result list and the search run on a worker thread.
#include "ui/CSearchDialog.h"

#include <gtkmm/columnviewcolumn.h>
#include <gtkmm/listitem.h>
#include <gtkmm/signallistitemfactory.h>
#include <gtkmm/stringlist.h>

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "settings/CAppSettings.h"
#include "ui/Accessible.h"
#include "ui/CMainWindow.h"
#include "ui/LayoutSpacing.h"
#include "ui/TextColumn.h"

namespace {
constexpr KeyAttr kAttrOfButton[4] = {KA_NORMAL, KA_BLOCKING, KA_MASTER, KA_INACTIVE};

std::uint32_t attr_bit(KeyAttr attr) {
    return 1u << static_cast<unsigned>(attr);
}

Glib::ustring database_text(const CSearchDialog::CSearchRec& rec) {
    return rec.database();
}
Glib::ustring description_text(const CSearchDialog::CSearchRec& rec) {
    return rec.description();
}
Glib::ustring record_text(const CSearchDialog::CSearchRec& rec) {
    return Glib::ustring::format(rec.record() + 1);
}

// A window counter raised while the dialog sets its own controls.
class Raised {
public:
    explicit Raised(int& counter) : m_counter(counter) { ++m_counter; }
    ~Raised() { --m_counter; }
    Raised(const Raised&) = delete;
    Raised& operator=(const Raised&) = delete;

private:
    int& m_counter;
};
} // namespace

CSearchDialog::CSearchRec::CSearchRec(const Glib::ustring& database, const Glib::ustring& description,
                                      int record)
    : Glib::ObjectBase(typeid(CSearchRec)), m_database(database), m_description(description),
      m_record(record) {}

Glib::RefPtr<CSearchDialog::CSearchRec> CSearchDialog::CSearchRec::create(const Glib::ustring& database,
                                                                          const Glib::ustring& description,
                                                                          int record) {
    return Glib::make_refptr_for_instance(new CSearchRec(database, description, record));
}

CSearchDialog::CSearchDialog(CKeyDocument* docs, int count)
    : m_docs(docs), m_doc_count(count), m_box(Gtk::Orientation::VERTICAL, kLayoutSpacing),
      m_results(Gio::ListStore<CSearchRec>::create()) {
    set_title(_("Search"));
    set_hide_on_close(true);
    if (g_AppSet) {
        set_default_size(g_AppSet->get_search_width(), g_AppSet->get_search_height());
        m_criteria.flags = g_AppSet->get_search_flags();
        m_criteria.number = g_AppSet->get_search_number();
        m_criteria.is_short = g_AppSet->get_search_short();
        m_criteria.added_from = g_AppSet->get_search_added_from();
        m_criteria.added_to = g_AppSet->get_search_added_to();
        m_criteria.attr_mask = g_AppSet->get_search_attributes();
        m_criteria.description = g_AppSet->get_search_description();
        m_criteria.text_options = g_AppSet->get_search_desc_flags();
        m_format = g_AppSet->get_key_format();
    }
    build_layout();
    UpdateCtrlData(false);
    m_dispatcher.connect(sigc::mem_fun(*this, &CSearchDialog::on_search_finished));
}

CSearchDialog::~CSearchDialog() {
    m_search.cancel();
}

void CSearchDialog::build_layout() {
    Controls& c = m_controls;
    m_grid.set_row_spacing(kLayoutSpacing);
    m_grid.set_column_spacing(kLayoutSpacing);
    int row = 0;

    c.number_check.set_label(_("Key number:"));
    set_accessible_label(c.number_entry, _("Key number"));
    c.number_entry.set_hexpand(true);
    c.format.set_model(Gtk::StringList::create({_("Hexadecimal"), _("Em-Marine"), _("Em-Marine + code"),
                                                _("Decimal"), _("Decimal bytes"), _("Keypad code")}));
    set_accessible_label(c.format, _("Key number format"));
    c.short_check.set_label(_("Short"));
    m_grid.attach(c.number_check, 0, row);
    m_grid.attach(c.number_entry, 1, row, 2, 1);
    m_grid.attach(c.format, 3, row);
    m_grid.attach(c.short_check, 4, row++);

    c.date_check.set_label(_("Date the key was added"));
    c.from_label.set_text(_("From:"));
    c.to_label.set_text(_("To:"));
    set_accessible_label(c.from.entry(), _("Added from"));
    set_accessible_label(c.to.entry(), _("Added to"));
    m_grid.attach(c.date_check, 0, row);
    m_grid.attach(c.from_label, 1, row);
    m_grid.attach(c.from, 2, row);
    m_grid.attach(c.to_label, 3, row);
    m_grid.attach(c.to, 4, row++);

    c.attr_check.set_label(_("Key attribute"));
    auto* attrs = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, kLayoutSpacing);
    const char* attr_names[4] = {N_("Normal"), N_("Blocking"), N_("Master"), N_("Inactive")};
    for (int i = 0; i < 4; ++i) {
        c.attrs[i].set_label(_(attr_names[i]));
        attrs->append(c.attrs[i]);
    }
    m_grid.attach(c.attr_check, 0, row);
    m_grid.attach(*attrs, 1, row++, 4, 1);

    c.description_check.set_label(_("Description:"));
    set_accessible_label(c.description_entry, _("Description"));
    c.description_entry.set_hexpand(true);
    m_grid.attach(c.description_check, 0, row);
    m_grid.attach(c.description_entry, 1, row++, 4, 1);
    auto* options = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, kLayoutSpacing);
    c.whole_word.set_label(_("Match whole word"));
    c.match_case.set_label(_("Match case"));
    c.regex.set_label(_("Use Regular Expressions"));
    options->append(c.whole_word);
    options->append(c.match_case);
    options->append(c.regex);
    m_grid.attach(*options, 1, row++, 4, 1);

    c.result_label.set_text(_("Result:"));
    c.result_label.set_xalign(0.0f);

    m_selection = Gtk::SingleSelection::create(m_results);
    m_selection->set_autoselect(false);
    m_selection->set_can_unselect(true);
    c.view.set_model(m_selection);
    c.view.add_css_class("data-table");
    set_accessible_label(c.view, _("Result"));
    append_column(_("Database"), false, &database_text);
    append_column(_("Description"), true, &description_text);
    append_column(_("Record #"), false, &record_text);
    c.view.signal_activate().connect(sigc::mem_fun(*this, &CSearchDialog::on_columnview_activate));
    m_scrolled.set_child(c.view);
    m_scrolled.set_vexpand(true);
    m_scrolled.set_hexpand(true);

    auto* buttons = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, kLayoutSpacing);
    buttons->set_halign(Gtk::Align::END);
    c.find.set_label(_("Find"));
    c.stop.set_label(_("Stop"));
    c.stop.set_sensitive(false);
    buttons->append(c.stop);
    buttons->append(c.find);
    c.find.signal_clicked().connect(sigc::mem_fun(*this, &CSearchDialog::on_find_button_clicked));
    c.stop.signal_clicked().connect(sigc::mem_fun(*this, &CSearchDialog::on_stop_button_clicked));

    for (Gtk::CheckButton* check : {&c.number_check, &c.date_check, &c.attr_check, &c.description_check})
        check->signal_toggled().connect([this] {
            if (m_programmatic == 0)
                update_sensitivity();
        });
    c.format.property_selected().signal_changed().connect(
        sigc::mem_fun(*this, &CSearchDialog::on_format_changed));

    m_box.set_margin(kLayoutMargin);
    m_box.append(m_grid);
    m_box.append(c.result_label);
    m_box.append(m_scrolled);
    m_box.append(*buttons);
    set_child(m_box);
    set_default_widget(c.find);
}

void CSearchDialog::append_column(const Glib::ustring& title, bool expand,
                                  Glib::ustring (*text_of)(const CSearchRec&)) {
    m_controls.view.append_column(make_text_column(title, expand, text_of));
}

void CSearchDialog::update_sensitivity() {
    Controls& c = m_controls;
    const bool number = c.number_check.get_active();
    for (Gtk::Widget* w : std::initializer_list<Gtk::Widget*>{&c.number_entry, &c.format, &c.short_check})
        w->set_sensitive(number);
    const bool date = c.date_check.get_active();
    for (Gtk::Widget* w : std::initializer_list<Gtk::Widget*>{&c.from_label, &c.from, &c.to_label, &c.to})
        w->set_sensitive(date);
    for (auto& attr : c.attrs)
        attr.set_sensitive(c.attr_check.get_active());
    const bool text = c.description_check.get_active();
    for (Gtk::Widget* w :
         std::initializer_list<Gtk::Widget*>{&c.description_entry, &c.whole_word, &c.match_case, &c.regex})
        w->set_sensitive(text);
}

void CSearchDialog::on_format_changed() {
    if (m_programmatic != 0)
        return;
    // The number keeps its value and is shown in the new format when the entry held a valid one.
    CCardUID number;
    if (try_str_to_key_number(m_controls.number_entry.get_text(), number, m_format))
        m_criteria.number = number;
    m_format = static_cast<key_format>(m_controls.format.get_selected());
    Raised raised(m_programmatic);
    if (!m_criteria.number.empty())
        m_controls.number_entry.set_text(format_key_number(m_criteria.number, m_format));
}

bool CSearchDialog::UpdateCtrlData(bool read) {
    Controls& c = m_controls;
    if (!read) {
        Raised raised(m_programmatic);
        c.number_check.set_active(m_criteria.flags & kSearchNumber);
        c.date_check.set_active(m_criteria.flags & kSearchAdded);
        c.attr_check.set_active(m_criteria.flags & kSearchAttribute);
        c.description_check.set_active(m_criteria.flags & kSearchDescription);
        c.format.set_selected(static_cast<guint>(m_format));
        c.number_entry.set_text(!m_criteria.number.empty() ? format_key_number(m_criteria.number, m_format)
                                                           : Glib::ustring());
        c.short_check.set_active(m_criteria.is_short);
        if (m_criteria.added_from != 0)
            c.from.set_date(static_cast<std::time_t>(m_criteria.added_from));
        if (m_criteria.added_to != 0)
            c.to.set_date(static_cast<std::time_t>(m_criteria.added_to));
        for (int i = 0; i < 4; ++i)
            c.attrs[i].set_active(m_criteria.attr_mask & attr_bit(kAttrOfButton[i]));
        c.description_entry.set_text(m_criteria.description);
        c.whole_word.set_active(m_criteria.text_options & kMatchWholeWord);
        c.match_case.set_active(m_criteria.text_options & kMatchCase);
        c.regex.set_active(m_criteria.text_options & kUseRegex);
        update_sensitivity();
        return true;
    }

    std::uint32_t flags = 0;
    if (c.number_check.get_active())
        flags |= kSearchNumber;
    if (c.date_check.get_active())
        flags |= kSearchAdded;
    if (c.attr_check.get_active())
        flags |= kSearchAttribute;
    if (c.description_check.get_active())
        flags |= kSearchDescription;
    m_criteria.flags = flags;

    bool valid = true;
    m_format = static_cast<key_format>(c.format.get_selected());
    CCardUID number;
    if (try_str_to_key_number(c.number_entry.get_text(), number, m_format))
        m_criteria.number = number;
    else if (flags & kSearchNumber)
        valid = false;
    m_criteria.is_short = c.short_check.get_active();

    std::time_t from = 0;
    std::time_t to = 0;
    const bool dates = c.from.get_date(from) && c.to.get_date(to);
    if (dates) {
        m_criteria.added_from = from;
        m_criteria.added_to = to;
    } else if (flags & kSearchAdded) {
        valid = false;
    }

    std::uint32_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        if (c.attrs[i].get_active())
            mask |= attr_bit(kAttrOfButton[i]);
    }
    m_criteria.attr_mask = mask;
    m_criteria.description = c.description_entry.get_text();
    m_criteria.text_options = (c.whole_word.get_active() ? kMatchWholeWord : 0u) |
                              (c.match_case.get_active() ? kMatchCase : 0u) |
                              (c.regex.get_active() ? kUseRegex : 0u);
    if (!valid)
        m_invalid =
            !dates && (flags & kSearchAdded) ? _("The date is not valid") : _("The key number is not valid");
    return valid;
}

void CSearchDialog::on_find_button_clicked() {
    if (is_searching())
        return;
    if (!UpdateCtrlData(true)) {
        ShowMessage(m_invalid, Gtk::MessageType::ERROR);
        return;
    }
    SearchRequest request;
    request.db_dir = GetDbDir();
    // The "to" date is a day: the matcher takes its whole last second into the range.
    request.criteria = m_criteria;
    for (int i = 0; i < m_doc_count; ++i) {
        if (m_docs[i].is_open())
            request.open_databases.push_back(snapshot_for_search(m_docs[i]));
    }
    m_results->remove_all();
    try {
        m_search.start(std::move(request), [this] { m_dispatcher.emit(); });
    } catch (const std::exception& e) {
        ShowMessage(e.what(), Gtk::MessageType::ERROR);
        return;
    }
    m_searching = true;
    m_controls.find.set_sensitive(false);
    m_controls.stop.set_sensitive(true);
}

void CSearchDialog::on_stop_button_clicked() {
    m_search.cancel();
}

void CSearchDialog::on_search_finished() {
    std::optional<SearchResult> result = m_search.take_result();
    if (!result)
        return;
    m_searching = false;
    m_controls.find.set_sensitive(true);
    m_controls.stop.set_sensitive(false);
    if (!result->error.empty()) {
        ShowMessage(result->error, Gtk::MessageType::ERROR);
        return;
    }
    std::vector<Glib::RefPtr<CSearchRec>> rows;
    rows.reserve(result->hits.size());
    for (const SearchHit& hit : result->hits)
        rows.push_back(CSearchRec::create(hit.database, hit.db_description, hit.record));
    m_results->splice(0, m_results->get_n_items(), rows);
    const auto found = static_cast<unsigned>(rows.size());
    if (result->cancelled)
        ShowMessage(Glib::ustring::sprintf(NP_("Search stopped. Found %u keys.", found), found),
                    Gtk::MessageType::INFO);
    else if (found == 0)
        ShowMessage(_("Search completed. Nothing found."), Gtk::MessageType::INFO);
    else
        ShowMessage(Glib::ustring::sprintf(NP_("Search completed. Found %u keys.", found), found),
                    Gtk::MessageType::INFO);
}

void CSearchDialog::on_columnview_activate(guint position) {
    auto rec = m_results->get_item(position);
    auto* window = dynamic_cast<CMainWindow*>(get_transient_for());
    if (rec && window != nullptr)
        window->DoOpenAndSelect(rec->database(), rec->record(), true);
}

void CSearchDialog::ShowMessage(const Glib::ustring& text, Gtk::MessageType type) {
    if (!m_message) {
        m_message =
            std::make_unique<Gtk::MessageDialog>(*this, text, false, type, Gtk::ButtonsType::OK, false);
        m_message->signal_response().connect([this](int) { m_closed_windows.release(m_message); });
    }
    m_message->set_message(text);
    m_message->set_visible(true);
}

void CSearchDialog::on_hide() {
    m_search.cancel();
    UpdateCtrlData(true);
    int width = get_width();
    int height = get_height();
    if (width <= 0 || height <= 0)
        get_default_size(width, height);
    if (g_AppSet)
        g_AppSet->set_search_params(width, height, m_criteria.flags, m_criteria.number, m_criteria.is_short,
                                    m_criteria.added_from, m_criteria.added_to, m_criteria.attr_mask,
                                    m_criteria.description, m_criteria.text_options);
    Gtk::Window::on_hide();
}
