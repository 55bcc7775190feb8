// A column view column of plain left-aligned text, the text taken from each row's item of type Rec.
#pragma once

#include <gtkmm/columnviewcolumn.h>
#include <gtkmm/label.h>
#include <gtkmm/listitem.h>
#include <gtkmm/signallistitemfactory.h>

template <class Rec>
Glib::RefPtr<Gtk::ColumnViewColumn> make_text_column(const Glib::ustring& title, bool expand,
                                                     Glib::ustring (*text_of)(const Rec&)) {
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto* label = Gtk::make_managed<Gtk::Label>();
        label->set_xalign(0.0f);
        item->set_child(*label);
    });
    factory->signal_bind().connect([text_of](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto rec = std::dynamic_pointer_cast<Rec>(item->get_item());
        auto* label = dynamic_cast<Gtk::Label*>(item->get_child());
        if (rec && label)
            label->set_text(text_of(*rec));
    });
    auto column = Gtk::ColumnViewColumn::create(title, factory);
    column->set_expand(expand);
    column->set_resizable(true);
    return column;
}
