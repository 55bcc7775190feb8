// Translation macros for every user-visible text: _() translates now, N_() marks a text for later
// translation, C_() translates with a context. The text domain is "kestrix", bound by main.
#pragma once

#include <glib/gi18n.h>

// A text that shows a count: the catalogue picks the plural form for `n`; the English text is the same for
// every count.
#define NP_(text, n) g_dngettext(GETTEXT_PACKAGE, text, text, n)
