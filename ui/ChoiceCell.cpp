// The choice cell: its inscriptions are laid out alike over the whole cell and drawn one at a time.
#include "ui/ChoiceCell.h"

#include <algorithm>

namespace {

struct CellData {
    choice_cell::Choices choices;
    int width_chars;
    std::vector<GtkWidget*> made;   // per choice: its inscription, once chosen
    std::vector<const char*> marks; // style classes every choice carries
    GtkWidget* chosen = nullptr;    // one of `made`, or null
};

} // namespace

extern "C" {

struct KestrixChoiceCell {
    GtkWidget parent;
    CellData* data;
};

struct KestrixChoiceCellClass {
    GtkWidgetClass parent_class;
};

G_DEFINE_TYPE(KestrixChoiceCell, kestrix_choice_cell, GTK_TYPE_WIDGET)

// The choices are alike in size: the first one made measures for all.
static void kestrix_choice_cell_measure(GtkWidget* widget, GtkOrientation orientation, int for_size,
                                        int* minimum, int* natural, int* minimum_baseline,
                                        int* natural_baseline) {
    if (GtkWidget* child = gtk_widget_get_first_child(widget))
        gtk_widget_measure(child, orientation, for_size, minimum, natural, minimum_baseline,
                           natural_baseline);
}

static void kestrix_choice_cell_size_allocate(GtkWidget* widget, int width, int height, int baseline) {
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
         child = gtk_widget_get_next_sibling(child))
        gtk_widget_allocate(child, width, height, baseline, nullptr);
}

static void kestrix_choice_cell_snapshot(GtkWidget* widget, GtkSnapshot* snapshot) {
    if (GtkWidget* chosen = reinterpret_cast<KestrixChoiceCell*>(widget)->data->chosen)
        gtk_widget_snapshot_child(widget, chosen, snapshot);
}

static void kestrix_choice_cell_dispose(GObject* object) {
    CellData& data = *reinterpret_cast<KestrixChoiceCell*>(object)->data;
    data.chosen = nullptr;
    std::fill(data.made.begin(), data.made.end(), nullptr);
    while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(object)))
        gtk_widget_unparent(child);
    G_OBJECT_CLASS(kestrix_choice_cell_parent_class)->dispose(object);
}

static void kestrix_choice_cell_finalize(GObject* object) {
    delete reinterpret_cast<KestrixChoiceCell*>(object)->data;
    G_OBJECT_CLASS(kestrix_choice_cell_parent_class)->finalize(object);
}

static void kestrix_choice_cell_class_init(KestrixChoiceCellClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_choice_cell_dispose;
    G_OBJECT_CLASS(klass)->finalize = kestrix_choice_cell_finalize;
    auto* widget_class = GTK_WIDGET_CLASS(klass);
    widget_class->measure = kestrix_choice_cell_measure;
    widget_class->size_allocate = kestrix_choice_cell_size_allocate;
    widget_class->snapshot = kestrix_choice_cell_snapshot;
    gtk_widget_class_set_css_name(widget_class, "choice");
    gtk_widget_class_set_accessible_role(widget_class, GTK_ACCESSIBLE_ROLE_LABEL);
}

static void kestrix_choice_cell_init(KestrixChoiceCell* cell) {
    cell->data = new CellData{};
}

} // extern "C"

namespace choice_cell {

namespace {

CellData& data_of(GtkWidget* widget) {
    return *reinterpret_cast<KestrixChoiceCell*>(widget)->data;
}

GtkWidget* make_choice(GtkWidget* cell, std::size_t choice) {
    CellData& data = data_of(cell);
    const Choice& wanted = (*data.choices)[choice];
    // The cell speaks for the choice it shows; the others are never heard.
    auto* text = GTK_INSCRIPTION(
        g_object_new(GTK_TYPE_INSCRIPTION, "accessible-role", GTK_ACCESSIBLE_ROLE_PRESENTATION, nullptr));
    gtk_inscription_set_text(text, wanted.text.c_str());
    gtk_inscription_set_xalign(text, 0.0f);
    gtk_inscription_set_text_overflow(text, GTK_INSCRIPTION_OVERFLOW_ELLIPSIZE_END);
    gtk_inscription_set_min_chars(text, static_cast<guint>(data.width_chars));
    gtk_inscription_set_nat_chars(text, static_cast<guint>(data.width_chars));
    if (wanted.css_class != nullptr)
        gtk_widget_add_css_class(GTK_WIDGET(text), wanted.css_class);
    for (const char* mark : data.marks)
        gtk_widget_add_css_class(GTK_WIDGET(text), mark);
    // The pointer meets the cell, not whichever choice happens to lie on top.
    gtk_widget_set_can_target(GTK_WIDGET(text), FALSE);
    gtk_widget_set_parent(GTK_WIDGET(text), cell);
    data.made[choice] = GTK_WIDGET(text);
    return GTK_WIDGET(text);
}

} // namespace

GtkWidget* create(Choices choices, int width_chars) {
    GtkWidget* cell = GTK_WIDGET(g_object_new(kestrix_choice_cell_get_type(), nullptr));
    CellData& data = data_of(cell);
    data.made.assign(choices->size(), nullptr);
    data.choices = std::move(choices);
    data.width_chars = width_chars;
    // The first choice is there from the start, to give the cell its size.
    if (!data.made.empty())
        make_choice(cell, 0);
    return cell;
}

bool is_choice_cell(GtkWidget* widget) {
    return G_TYPE_CHECK_INSTANCE_TYPE(widget, kestrix_choice_cell_get_type());
}

void choose(GtkWidget* cell, int choice) {
    CellData& data = data_of(cell);
    GtkWidget* wanted = nullptr;
    if (choice >= 0 && static_cast<std::size_t>(choice) < data.made.size()) {
        wanted = data.made[static_cast<std::size_t>(choice)];
        if (wanted == nullptr)
            wanted = make_choice(cell, static_cast<std::size_t>(choice));
    }
    if (wanted == data.chosen)
        return;
    data.chosen = wanted;
    gtk_accessible_update_property(GTK_ACCESSIBLE(cell), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   wanted ? gtk_inscription_get_text(GTK_INSCRIPTION(wanted)) : "", -1);
    gtk_widget_queue_draw(cell);
}

GtkWidget* chosen(GtkWidget* cell) {
    return data_of(cell).chosen;
}

void set_css_class(GtkWidget* cell, const char* css_class, bool on) {
    CellData& data = data_of(cell);
    const auto mark = std::find_if(data.marks.begin(), data.marks.end(),
                                   [&](const char* kept) { return g_str_equal(kept, css_class); });
    if (on == (mark != data.marks.end()))
        return;
    if (on)
        data.marks.push_back(css_class);
    else
        data.marks.erase(mark);
    for (GtkWidget* child = gtk_widget_get_first_child(cell); child;
         child = gtk_widget_get_next_sibling(child)) {
        if (on)
            gtk_widget_add_css_class(child, css_class);
        else
            gtk_widget_remove_css_class(child, css_class);
    }
}

} // namespace choice_cell
