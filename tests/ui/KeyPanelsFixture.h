// The window with key databases made for the key panel tests, and the key editor's controls found as a user
// finds them: inside the "Key", "Lock" and "Comparison" frames by their visible text or accessible name.
#pragma once

#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/frame.h>
#include <gtkmm/label.h>
#include <gtkmm/spinbutton.h>

#include <algorithm>
#include <string>
#include <vector>

#include "WindowFixture.h"
#include "keys/KeyNumber.h"
#include "ui/ChoiceCell.h"
#include "ui/GlyphCell.h"

class KeyPanelsFixture : public WindowFixture {
public:
    // One stored key: number in hexadecimal as the database keeps it (most significant byte first).
    struct StoredKey {
        const char* number;
        bool is_short = false;
        KeyAttr attr = KA_NORMAL;
        const char* description = "";
        CardType type = CT_DALLAS;
    };

protected:
    static CCardUID hex(const char* text) {
        CCardUID number;
        number.TryParse(text);
        return number;
    }

    void make_keys(const std::string& name, const std::vector<StoredKey>& keys) {
        make_database_with(name, [&](CKeyDocument& doc) {
            for (const StoredKey& key : keys)
                doc.add_key(doc.generate_key_id(), key.type, hex(key.number), key.is_short, key.attr,
                            key.description);
        });
    }

    Gtk::Entry& number_entry() { return labelled<Gtk::Entry>("Key", "Key number"); }
    Gtk::Entry& description_entry() { return labelled<Gtk::Entry>("Key", "Key description"); }
    Gtk::CheckButton& key_check(const char* label) { return labelled<Gtk::CheckButton>("Key", label); }
    Gtk::Button& key_button(const char* label) { return labelled<Gtk::Button>("Key", label); }
    Gtk::CheckButton& compare_check(const char* label) {
        return labelled<Gtk::CheckButton>("Comparison", label);
    }
    Gtk::SpinButton& lock_spin() { return labelled<Gtk::SpinButton>("Lock", "Lock open time, seconds"); }

    // What the user types: the entry learns it was edited.
    static void type_into(Gtk::Entry& entry, const char* text) {
        entry.grab_focus();
        entry.set_text(text);
    }
    // The press and the release of a button that acts while held down.
    static void press_and_release(Gtk::Button& button, const std::function<void()>& while_held = {}) {
        GtkEventController* gesture = widgets_test::find_controller(button, [](GtkEventController* c) {
            return GTK_IS_GESTURE_CLICK(c) &&
                   gtk_event_controller_get_propagation_phase(c) == GTK_PHASE_CAPTURE;
        });
        ASSERT_NE(nullptr, gesture) << "the button has no press-and-release handling";
        g_signal_emit_by_name(gesture, "pressed", 1, 0.0, 0.0);
        if (while_held)
            while_held();
        g_signal_emit_by_name(gesture, "released", 1, 0.0, 0.0);
    }

    // The rows the table shows, as numbers in hexadecimal.
    static std::vector<std::string> shown_numbers(CKeyPanel& panel) {
        std::vector<std::string> numbers;
        for (guint i = 0; i < panel.shown_count(); ++i)
            numbers.push_back(panel.shown_key(i)->number().ToString());
        return numbers;
    }
    static std::vector<std::string> selected_numbers(CKeyPanel& panel) {
        std::vector<std::string> numbers;
        for (const auto& key : panel.selected_keys())
            numbers.push_back(key->number().ToString());
        return numbers;
    }
    // Selects the shown rows with these numbers (hexadecimal, as stored).
    static void select_numbers(CKeyPanel& panel, const std::vector<std::string>& wanted) {
        const auto numbers = shown_numbers(panel);
        std::vector<guint> positions;
        for (guint i = 0; i < numbers.size(); ++i)
            if (std::find(wanted.begin(), wanted.end(), numbers[i]) != wanted.end())
                positions.push_back(i);
        panel.select_positions(positions);
    }

    Glib::RefPtr<CKey> stored(int document, const char* number) {
        const auto& keys = m_window->key_document(document).get_keys();
        const int position = find_key_by_number(keys, hex(number), false, 0);
        return position < 0 ? nullptr : keys->get_item(static_cast<guint>(position));
    }

    // The cells of a table's rows, row by row: a cell of few values as the inscription it shows (or itself
    // when it shows none).
    static std::vector<GtkWidget*> cells(CKeyPanel& panel) {
        std::vector<GtkWidget*> found;
        for (Gtk::Widget* widget : descendants(panel.view())) {
            GtkWidget* cell = widget->gobj();
            if (choice_cell::is_choice_cell(cell))
                found.push_back(choice_cell::chosen(cell) ? choice_cell::chosen(cell) : cell);
            else if (glyph_cell::is_glyph_cell(cell))
                found.push_back(cell);
        }
        return found;
    }
    static std::string cell_text(GtkWidget* cell) {
        const char* text = glyph_cell::is_glyph_cell(cell) ? glyph_cell::text(cell)
                           : GTK_IS_INSCRIPTION(cell)      ? gtk_inscription_get_text(GTK_INSCRIPTION(cell))
                                                           : nullptr;
        return text ? text : "";
    }
    static std::vector<std::string> cell_texts(CKeyPanel& panel) {
        std::vector<std::string> texts;
        for (GtkWidget* cell : cells(panel))
            texts.push_back(cell_text(cell));
        return texts;
    }
    // Cells of a table that carry the style class.
    static int cells_with_class(CKeyPanel& panel, const char* css_class) {
        const auto found = cells(panel);
        return static_cast<int>(std::count_if(found.begin(), found.end(), [&](GtkWidget* cell) {
            return gtk_widget_has_css_class(cell, css_class);
        }));
    }
    // The parts of a cell's text drawn on a background colour (the highlight).
    static std::vector<std::string> highlighted_parts(GtkWidget* cell) {
        std::vector<std::string> parts;
        PangoAttrList* attributes = glyph_cell::attributes(cell);
        if (attributes == nullptr)
            return parts;
        const std::string text = cell_text(cell);
        GSList* list = pango_attr_list_get_attributes(attributes);
        for (GSList* it = list; it != nullptr; it = it->next) {
            const auto* attribute = static_cast<PangoAttribute*>(it->data);
            if (attribute->klass->type == PANGO_ATTR_BACKGROUND)
                parts.push_back(text.substr(attribute->start_index,
                                            std::min<std::size_t>(attribute->end_index, text.size()) -
                                                attribute->start_index));
        }
        g_slist_free_full(list, reinterpret_cast<GDestroyNotify>(pango_attribute_destroy));
        return parts;
    }
};
