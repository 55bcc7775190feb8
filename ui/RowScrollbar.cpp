// The table's scroll bar: the nodes GTK's scroll bar has, so that the theme draws it alike, laid out once for
// a slider length and drawn with the slider moved to the adjustment's value.
#include "ui/RowScrollbar.h"

#include <algorithm>

extern "C" {

struct KestrixRowScrollbar;

// A node of the scroll bar (its range, trough and slider) for the theme to style. A part lays its one child
// out over itself; the trough gives its slider the length the scroll bar asks for, and draws it moved.
struct KestrixScrollPart {
    GtkWidget parent;
    KestrixRowScrollbar* bar; // the trough's scroll bar; null in the other parts
    int length;               // the trough's length and its slider's, margins and borders included
    int child_length;
};

struct KestrixScrollPartClass {
    GtkWidgetClass parent_class;
};

G_DEFINE_TYPE(KestrixScrollPart, kestrix_scroll_part, GTK_TYPE_WIDGET)

struct KestrixRowScrollbar {
    GtkWidget parent;
    GtkAdjustment* adjustment;
    GtkWidget* range;
    GtkWidget* trough;
    GtkWidget* slider;
    double grab;       // where in the slider a drag holds it
    double drag_start; // where the drag began, in the trough
};

struct KestrixRowScrollbarClass {
    GtkWidgetClass parent_class;
};

G_DEFINE_TYPE(KestrixRowScrollbar, kestrix_row_scrollbar, GTK_TYPE_WIDGET)

} // extern "C"

namespace {

KestrixRowScrollbar* bar_of(GtkWidget* widget) {
    return reinterpret_cast<KestrixRowScrollbar*>(widget);
}

KestrixScrollPart* part_of(GtkWidget* widget) {
    return reinterpret_cast<KestrixScrollPart*>(widget);
}

// The slider's length in a trough of the length: the share of the rows on screen, at least as long as
// the theme wants a slider.
double slider_length(const KestrixRowScrollbar& bar, double trough_length) {
    int minimum = 0;
    gtk_widget_measure(bar.slider, GTK_ORIENTATION_VERTICAL, -1, &minimum, nullptr, nullptr, nullptr);
    const double span = gtk_adjustment_get_upper(bar.adjustment) - gtk_adjustment_get_lower(bar.adjustment);
    const double share = span > 0 ? gtk_adjustment_get_page_size(bar.adjustment) / span : 1.0;
    return std::clamp(trough_length * std::min(share, 1.0), std::min<double>(minimum, trough_length),
                      trough_length);
}

// How far the value goes: from the lower bound to the last page.
double value_range(GtkAdjustment* adjustment) {
    return gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment) -
           gtk_adjustment_get_lower(adjustment);
}

row_scrollbar::SliderPlace place(const KestrixRowScrollbar& bar) {
    const double trough_length = part_of(bar.trough)->length;
    const double length = part_of(bar.trough)->child_length;
    const double range = value_range(bar.adjustment);
    const double room = std::max(0.0, trough_length - length);
    const double share =
        range > 0
            ? (gtk_adjustment_get_value(bar.adjustment) - gtk_adjustment_get_lower(bar.adjustment)) / range
            : 0.0;
    return {room * std::clamp(share, 0.0, 1.0), length, trough_length};
}

// Puts the slider's top at the place in the trough (as far as it goes), which moves the rows.
void move_slider_to(const KestrixRowScrollbar& bar, double top) {
    const row_scrollbar::SliderPlace now = place(bar);
    const double room = now.trough_length - now.length;
    if (room <= 0)
        return;
    gtk_adjustment_set_value(bar.adjustment,
                             gtk_adjustment_get_lower(bar.adjustment) +
                                 value_range(bar.adjustment) * std::clamp(top / room, 0.0, 1.0));
}

double trough_y(const KestrixRowScrollbar& bar, double x, double y) {
    double trough_x = 0;
    double trough_y = 0;
    gtk_widget_translate_coordinates(GTK_WIDGET(&bar), bar.trough, x, y, &trough_x, &trough_y);
    return trough_y;
}

bool over_slider(const KestrixRowScrollbar& bar, double at) {
    const row_scrollbar::SliderPlace now = place(bar);
    return at >= now.top && at < now.top + now.length;
}

// GTK changes nothing (and restyles nothing) when the flag is already as asked.
void set_state(GtkWidget* widget, GtkStateFlags flag, bool on) {
    if (on)
        gtk_widget_set_state_flags(widget, flag, FALSE);
    else
        gtk_widget_unset_state_flags(widget, flag);
}

void on_drag_begin(GtkGestureDrag* gesture, double x, double y, gpointer data) {
    auto& bar = *static_cast<KestrixRowScrollbar*>(data);
    const double at = trough_y(bar, x, y);
    const row_scrollbar::SliderPlace now = place(bar);
    bar.drag_start = at;
    if (over_slider(bar, at)) {
        bar.grab = at - now.top;
    } else {
        bar.grab = now.length / 2;
        move_slider_to(bar, at - bar.grab);
    }
    set_state(bar.slider, GTK_STATE_FLAG_ACTIVE, true);
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
}

void on_drag_update(GtkGestureDrag*, double, double dy, gpointer data) {
    auto& bar = *static_cast<KestrixRowScrollbar*>(data);
    move_slider_to(bar, bar.drag_start + dy - bar.grab);
}

void on_drag_end(GtkGestureDrag*, double, double, gpointer data) {
    set_state(static_cast<KestrixRowScrollbar*>(data)->slider, GTK_STATE_FLAG_ACTIVE, false);
}

// The slider is lit while the pointer is over the place it is drawn at (not where it is laid out).
void on_motion(GtkEventControllerMotion*, double x, double y, gpointer data) {
    const auto& bar = *static_cast<KestrixRowScrollbar*>(data);
    set_state(bar.slider, GTK_STATE_FLAG_PRELIGHT, over_slider(bar, trough_y(bar, x, y)));
}

void on_leave(GtkEventControllerMotion*, gpointer data) {
    set_state(static_cast<KestrixRowScrollbar*>(data)->slider, GTK_STATE_FLAG_PRELIGHT, false);
}

void tell_value(KestrixRowScrollbar& bar) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(&bar), GTK_ACCESSIBLE_PROPERTY_VALUE_NOW,
                                   gtk_adjustment_get_value(bar.adjustment), -1);
}

// A new value only moves the slider where it is drawn.
void on_value_changed(GtkAdjustment*, gpointer data) {
    auto& bar = *static_cast<KestrixRowScrollbar*>(data);
    gtk_widget_queue_draw(bar.trough);
    tell_value(bar);
}

// New bounds or a new page lay the slider out again only when its length changes.
void on_bounds_changed(GtkAdjustment* adjustment, gpointer data) {
    auto& bar = *static_cast<KestrixRowScrollbar*>(data);
    const KestrixScrollPart& trough = *part_of(bar.trough);
    if (static_cast<int>(slider_length(bar, trough.length)) != trough.child_length)
        gtk_widget_queue_allocate(bar.trough);
    else
        gtk_widget_queue_draw(bar.trough);
    gtk_accessible_update_property(
        GTK_ACCESSIBLE(&bar), GTK_ACCESSIBLE_PROPERTY_VALUE_MIN, gtk_adjustment_get_lower(adjustment),
        GTK_ACCESSIBLE_PROPERTY_VALUE_MAX,
        gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment), -1);
    tell_value(bar);
}

GtkWidget* new_part(const char* css_name, GtkWidget* parent) {
    GtkWidget* part = GTK_WIDGET(g_object_new(kestrix_scroll_part_get_type(), "css-name", css_name, nullptr));
    // The scroll bar takes the pointer itself: the slider is not drawn where it is laid out.
    gtk_widget_set_can_target(part, FALSE);
    gtk_widget_set_parent(part, parent);
    return part;
}

} // namespace

extern "C" {

static void kestrix_scroll_part_measure(GtkWidget* widget, GtkOrientation orientation, int for_size,
                                        int* minimum, int* natural, int*, int*) {
    if (GtkWidget* child = gtk_widget_get_first_child(widget))
        gtk_widget_measure(child, orientation, for_size, minimum, natural, nullptr, nullptr);
}

static void kestrix_scroll_part_size_allocate(GtkWidget* widget, int width, int height, int) {
    GtkWidget* child = gtk_widget_get_first_child(widget);
    if (child == nullptr)
        return;
    KestrixScrollPart& part = *part_of(widget);
    part.length = height;
    part.child_length = part.bar ? static_cast<int>(slider_length(*part.bar, height)) : height;
    gtk_widget_allocate(child, width, part.child_length, -1, nullptr);
}

static void kestrix_scroll_part_snapshot(GtkWidget* widget, GtkSnapshot* snapshot) {
    GtkWidget* child = gtk_widget_get_first_child(widget);
    if (child == nullptr)
        return;
    const KestrixRowScrollbar* bar = part_of(widget)->bar;
    if (bar == nullptr) {
        gtk_widget_snapshot_child(widget, child, snapshot);
        return;
    }
    gtk_snapshot_save(snapshot);
    const graphene_point_t offset = GRAPHENE_POINT_INIT(0.0f, static_cast<float>(place(*bar).top));
    gtk_snapshot_translate(snapshot, &offset);
    gtk_widget_snapshot_child(widget, child, snapshot);
    gtk_snapshot_restore(snapshot);
}

static void kestrix_scroll_part_dispose(GObject* object) {
    while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(object)))
        gtk_widget_unparent(child);
    G_OBJECT_CLASS(kestrix_scroll_part_parent_class)->dispose(object);
}

static void kestrix_scroll_part_class_init(KestrixScrollPartClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_scroll_part_dispose;
    auto* widget_class = GTK_WIDGET_CLASS(klass);
    widget_class->measure = kestrix_scroll_part_measure;
    widget_class->size_allocate = kestrix_scroll_part_size_allocate;
    widget_class->snapshot = kestrix_scroll_part_snapshot;
    gtk_widget_class_set_accessible_role(widget_class, GTK_ACCESSIBLE_ROLE_PRESENTATION);
}

static void kestrix_scroll_part_init(KestrixScrollPart*) {}

static void kestrix_row_scrollbar_measure(GtkWidget* widget, GtkOrientation orientation, int for_size,
                                          int* minimum, int* natural, int*, int*) {
    gtk_widget_measure(bar_of(widget)->range, orientation, for_size, minimum, natural, nullptr, nullptr);
}

static void kestrix_row_scrollbar_size_allocate(GtkWidget* widget, int width, int height, int) {
    gtk_widget_allocate(bar_of(widget)->range, width, height, -1, nullptr);
}

static void kestrix_row_scrollbar_dispose(GObject* object) {
    auto* bar = reinterpret_cast<KestrixRowScrollbar*>(object);
    if (bar->adjustment != nullptr) {
        g_signal_handlers_disconnect_by_data(bar->adjustment, bar);
        g_clear_object(&bar->adjustment);
    }
    g_clear_pointer(&bar->range, gtk_widget_unparent);
    G_OBJECT_CLASS(kestrix_row_scrollbar_parent_class)->dispose(object);
}

static void kestrix_row_scrollbar_class_init(KestrixRowScrollbarClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_row_scrollbar_dispose;
    auto* widget_class = GTK_WIDGET_CLASS(klass);
    widget_class->measure = kestrix_row_scrollbar_measure;
    widget_class->size_allocate = kestrix_row_scrollbar_size_allocate;
    gtk_widget_class_set_css_name(widget_class, "scrollbar");
    gtk_widget_class_set_accessible_role(widget_class, GTK_ACCESSIBLE_ROLE_SCROLLBAR);
}

static void kestrix_row_scrollbar_init(KestrixRowScrollbar* bar) {
    GtkWidget* widget = GTK_WIDGET(bar);
    gtk_widget_add_css_class(widget, "vertical");
    bar->range = new_part("range", widget);
    gtk_widget_add_css_class(bar->range, "vertical");
    bar->trough = new_part("trough", bar->range);
    part_of(bar->trough)->bar = bar;
    bar->slider = new_part("slider", bar->trough);

    GtkGesture* drag = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
    g_signal_connect(drag, "drag-begin", G_CALLBACK(on_drag_begin), bar);
    g_signal_connect(drag, "drag-update", G_CALLBACK(on_drag_update), bar);
    g_signal_connect(drag, "drag-end", G_CALLBACK(on_drag_end), bar);
    gtk_widget_add_controller(widget, GTK_EVENT_CONTROLLER(drag));

    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "enter", G_CALLBACK(on_motion), bar);
    g_signal_connect(motion, "motion", G_CALLBACK(on_motion), bar);
    g_signal_connect(motion, "leave", G_CALLBACK(on_leave), bar);
    gtk_widget_add_controller(widget, motion);

    gtk_accessible_update_property(GTK_ACCESSIBLE(bar), GTK_ACCESSIBLE_PROPERTY_ORIENTATION,
                                   GTK_ORIENTATION_VERTICAL, -1);
}

} // extern "C"

namespace row_scrollbar {

GtkWidget* create(GtkAdjustment* adjustment) {
    auto* bar = static_cast<KestrixRowScrollbar*>(g_object_new(kestrix_row_scrollbar_get_type(), nullptr));
    bar->adjustment = GTK_ADJUSTMENT(g_object_ref_sink(adjustment));
    g_signal_connect(adjustment, "value-changed", G_CALLBACK(on_value_changed), bar);
    g_signal_connect(adjustment, "changed", G_CALLBACK(on_bounds_changed), bar);
    on_bounds_changed(adjustment, bar);
    return GTK_WIDGET(bar);
}

SliderPlace slider_place(GtkWidget* scrollbar) {
    return place(*bar_of(scrollbar));
}

} // namespace row_scrollbar
