// The choice cell: its inscriptions are laid out alike over the whole cell and drawn one at a time.
#include "ui/ChoiceCell.h"

extern "C" {

struct KestrixChoiceCell {
    GtkWidget parent;
    GtkWidget* chosen; // one of the children, or null
};

struct KestrixChoiceCellClass {
    GtkWidgetClass parent_class;
};

G_DEFINE_TYPE(KestrixChoiceCell, kestrix_choice_cell, GTK_TYPE_WIDGET)

// The choices are alike in size: the first one measures for all.
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
    if (GtkWidget* chosen = reinterpret_cast<KestrixChoiceCell*>(widget)->chosen)
        gtk_widget_snapshot_child(widget, chosen, snapshot);
}

static void kestrix_choice_cell_dispose(GObject* object) {
    reinterpret_cast<KestrixChoiceCell*>(object)->chosen = nullptr;
    while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(object)))
        gtk_widget_unparent(child);
    G_OBJECT_CLASS(kestrix_choice_cell_parent_class)->dispose(object);
}

static void kestrix_choice_cell_class_init(KestrixChoiceCellClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_choice_cell_dispose;
    auto* widget_class = GTK_WIDGET_CLASS(klass);
    widget_class->measure = kestrix_choice_cell_measure;
    widget_class->size_allocate = kestrix_choice_cell_size_allocate;
    widget_class->snapshot = kestrix_choice_cell_snapshot;
    gtk_widget_class_set_css_name(widget_class, "choice");
    gtk_widget_class_set_accessible_role(widget_class, GTK_ACCESSIBLE_ROLE_LABEL);
}

static void kestrix_choice_cell_init(KestrixChoiceCell*) {}

} // extern "C"

namespace choice_cell {

GtkWidget* create(const std::vector<Choice>& choices, int width_chars) {
    GtkWidget* cell = GTK_WIDGET(g_object_new(kestrix_choice_cell_get_type(), nullptr));
    for (const Choice& choice : choices) {
        // The cell speaks for the choice it shows; the others are never heard.
        auto* text = GTK_INSCRIPTION(
            g_object_new(GTK_TYPE_INSCRIPTION, "accessible-role", GTK_ACCESSIBLE_ROLE_PRESENTATION, nullptr));
        gtk_inscription_set_text(text, choice.text.c_str());
        gtk_inscription_set_xalign(text, 0.0f);
        gtk_inscription_set_text_overflow(text, GTK_INSCRIPTION_OVERFLOW_ELLIPSIZE_END);
        gtk_inscription_set_min_chars(text, static_cast<guint>(width_chars));
        gtk_inscription_set_nat_chars(text, static_cast<guint>(width_chars));
        if (choice.css_class != nullptr)
            gtk_widget_add_css_class(GTK_WIDGET(text), choice.css_class);
        // The pointer meets the cell, not whichever choice happens to lie on top.
        gtk_widget_set_can_target(GTK_WIDGET(text), FALSE);
        gtk_widget_set_parent(GTK_WIDGET(text), cell);
    }
    return cell;
}

bool is_choice_cell(GtkWidget* widget) {
    return G_TYPE_CHECK_INSTANCE_TYPE(widget, kestrix_choice_cell_get_type());
}

void choose(GtkWidget* widget, int choice) {
    GtkWidget* wanted = choice < 0 ? nullptr : gtk_widget_get_first_child(widget);
    for (int i = 0; wanted != nullptr && i < choice; ++i)
        wanted = gtk_widget_get_next_sibling(wanted);
    auto& cell = *reinterpret_cast<KestrixChoiceCell*>(widget);
    if (wanted == cell.chosen)
        return;
    cell.chosen = wanted;
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   wanted ? gtk_inscription_get_text(GTK_INSCRIPTION(wanted)) : "", -1);
    gtk_widget_queue_draw(widget);
}

GtkWidget* chosen(GtkWidget* cell) {
    return reinterpret_cast<KestrixChoiceCell*>(cell)->chosen;
}

void set_css_class(GtkWidget* cell, const char* css_class, bool on) {
    for (GtkWidget* child = gtk_widget_get_first_child(cell); child;
         child = gtk_widget_get_next_sibling(child)) {
        if (on)
            gtk_widget_add_css_class(child, css_class);
        else
            gtk_widget_remove_css_class(child, css_class);
    }
}

} // namespace choice_cell
