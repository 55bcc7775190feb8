// The glyph cell of the key tables draws every text exactly as GtkInscription draws it: the texts it puts
// together from glyphs shaped once (pairs kerned as in a shaped line) and those it leaves to Pango (other
// letters, highlights, texts too long for the cell).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/GlyphCell.h"
#include "widgets_TestSupport.h"

namespace {

class GlyphCellTest : public ::testing::Test {
protected:
    GlyphCellTest() {
        m_window = gtk_window_new();
        gtk_window_set_default_size(GTK_WINDOW(m_window), 320, 80);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        m_inscription = gtk_inscription_new(nullptr);
        gtk_inscription_set_text_overflow(GTK_INSCRIPTION(m_inscription),
                                          GTK_INSCRIPTION_OVERFLOW_ELLIPSIZE_END);
        gtk_inscription_set_min_chars(GTK_INSCRIPTION(m_inscription), 14);
        gtk_inscription_set_xalign(GTK_INSCRIPTION(m_inscription), 0.0f);
        m_cell = glyph_cell::create();
        glyph_cell::set_width_chars(m_cell, 14, 14);
        gtk_box_append(GTK_BOX(box), m_inscription);
        gtk_box_append(GTK_BOX(box), m_cell);
        gtk_window_set_child(GTK_WINDOW(m_window), box);
        gtk_window_present(GTK_WINDOW(m_window));
        EXPECT_TRUE(widgets_test::pump_until([&] { return gtk_widget_get_width(m_cell) > 0; }));
    }
    ~GlyphCellTest() override { gtk_window_destroy(GTK_WINDOW(m_window)); }

    // The widget as the window draws it, in bytes of its pixels.
    std::vector<guint8> pixels(GtkWidget* widget) {
        const int width = gtk_widget_get_width(widget);
        const int height = gtk_widget_get_height(widget);
        GdkPaintable* paintable = gtk_widget_paintable_new(widget);
        GtkSnapshot* snapshot = gtk_snapshot_new();
        gdk_paintable_snapshot(paintable, snapshot, width, height);
        GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
        std::vector<guint8> bytes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
        if (node != nullptr) {
            const graphene_rect_t bounds =
                GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
            GdkTexture* texture =
                gsk_renderer_render_texture(gtk_native_get_renderer(GTK_NATIVE(m_window)), node, &bounds);
            gdk_texture_download(texture, bytes.data(), static_cast<gsize>(width) * 4);
            g_object_unref(texture);
            gsk_render_node_unref(node);
        }
        g_object_unref(paintable);
        return bytes;
    }

    // Both show the text; true once the window has drawn them.
    void show(const char* text, const char* markup = nullptr) {
        if (markup != nullptr) {
            gtk_inscription_set_markup(GTK_INSCRIPTION(m_inscription), markup);
            glyph_cell::set_markup(m_cell, markup);
        } else {
            gtk_inscription_set_attributes(GTK_INSCRIPTION(m_inscription), nullptr);
            gtk_inscription_set_text(GTK_INSCRIPTION(m_inscription), text);
            glyph_cell::set_text(m_cell, text);
        }
        bool painted = false;
        GdkFrameClock* clock = gtk_widget_get_frame_clock(m_window);
        const gulong handler = g_signal_connect_swapped(
            clock, "after-paint", G_CALLBACK(+[](bool* done) { *done = true; }), &painted);
        gtk_widget_queue_draw(m_window);
        EXPECT_TRUE(widgets_test::pump_until([&] { return painted; }));
        g_signal_handler_disconnect(clock, handler);
    }

    widgets_test::GtkReady m_gtk;
    GtkWidget* m_window;
    GtkWidget* m_inscription;
    GtkWidget* m_cell;
};

// Glyphs, Pango, or glyphs unless the font joins letters of the text into one glyph.
enum class Way { glyphs, pango, glyphs_unless_joined };

// Whether Pango shapes the text into a glyph per letter.
bool glyph_per_letter(GtkWidget* widget, const char* text) {
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, text);
    int glyphs = 0;
    for (GSList* run = pango_layout_get_line_readonly(layout, 0)->runs; run; run = run->next)
        glyphs += static_cast<PangoGlyphItem*>(run->data)->glyphs->num_glyphs;
    g_object_unref(layout);
    return glyphs == g_utf8_strlen(text, -1);
}

struct DrawCase {
    const char* text;
    const char* markup;
    Way way;
};

TEST_F(GlyphCellTest, DrawsEachTextAsAnInscriptionDoes) {
    ASSERT_EQ(gtk_widget_get_width(m_inscription), gtk_widget_get_width(m_cell));
    ASSERT_EQ(gtk_widget_get_height(m_inscription), gtk_widget_get_height(m_cell));
    const DrawCase cases[] = {
        {"0000000A1B2C", nullptr, Way::glyphs},
        {"[FA7C] 255,65535", nullptr, Way::glyphs},
        {"17.09.2020 12:00", nullptr, Way::glyphs},
        // Capitals that kern in most fonts.
        {"AVATAR TYPO LT", nullptr, Way::glyphs},
        {"M1K+", nullptr, Way::glyphs},
        {"7", nullptr, Way::glyphs},
        {"   ", nullptr, Way::glyphs},
        {"Flat 12, entrance 3", nullptr, Way::glyphs},
        {"#4 (B) & \"Tom's\" ~5%!", nullptr, Way::glyphs},
        {"office fire flat", nullptr, Way::glyphs_unless_joined},
        {"Подъезд 1, кв. 12", nullptr, Way::glyphs},
        {"Ключ", nullptr, Way::glyphs},
        {"Office Подъезд 12", nullptr, Way::glyphs_unless_joined},
        {"Κλειδί 7", nullptr, Way::pango},
        // Wider than the cell: it ends in an ellipsis.
        {"0123456789ABCDEF0123456789ABCDEF0123456789", nullptr, Way::pango},
        {"0000000A1B2C", "0000000<span background=\"yellow\">A1B</span>2C", Way::pango},
        {"", nullptr, Way::pango},
    };
    for (const DrawCase& c : cases) {
        show(c.text, c.markup);
        EXPECT_STREQ(c.text, glyph_cell::text(m_cell));
        const bool from_glyphs =
            c.way == Way::glyphs_unless_joined ? glyph_per_letter(m_cell, c.text) : c.way == Way::glyphs;
        EXPECT_EQ(from_glyphs, glyph_cell::draws_from_glyphs(m_cell)) << c.text;
        EXPECT_TRUE(pixels(m_inscription) == pixels(m_cell)) << '"' << c.text << '"';
    }
}

// The text takes the colour its style gives it, as a difference of a comparison is marked, and its font.
TEST_F(GlyphCellTest, TheStyleColoursTheTextAndSetsItsFont) {
    show("0000000A1B2C");
    const auto plain = pixels(m_cell);
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        provider, "label.error { color: #B00020; } label.large { font-size: 17px; font-weight: bold; }", -1);
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_USER);
    gtk_widget_add_css_class(m_inscription, "error");
    gtk_widget_add_css_class(m_cell, "error");
    show("0000000A1B2C");
    EXPECT_TRUE(pixels(m_cell) != plain);
    EXPECT_TRUE(pixels(m_inscription) == pixels(m_cell));
    // Another font: the cell's glyphs are those of the new font.
    gtk_widget_add_css_class(m_inscription, "large");
    gtk_widget_add_css_class(m_cell, "large");
    show("0000000A1B2C");
    ASSERT_EQ(gtk_widget_get_height(m_inscription), gtk_widget_get_height(m_cell));
    EXPECT_TRUE(glyph_cell::draws_from_glyphs(m_cell));
    EXPECT_TRUE(pixels(m_inscription) == pixels(m_cell));
    gtk_style_context_remove_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(provider));
    g_object_unref(provider);
}

// In a right-to-left window a text starts where its own direction starts: numbers still on the left.
TEST_F(GlyphCellTest, RightToLeftStartsATextWhereItsDirectionStarts) {
    gtk_widget_set_direction(m_inscription, GTK_TEXT_DIR_RTL);
    gtk_widget_set_direction(m_cell, GTK_TEXT_DIR_RTL);
    for (const char* text : {"0000000A1B2C", "Flat 1", "מפתח 12"}) {
        show(text);
        EXPECT_TRUE(pixels(m_inscription) == pixels(m_cell)) << '"' << text << '"';
    }
}

} // namespace
