// Translation macros for every user-visible text: _() translates now, N_() marks a text for later
// translation, C_() translates with a context. The text domain is "kestrix", bound by main.
#pragma once

#include <glib/gi18n.h>
