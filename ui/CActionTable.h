// The window's actions as one table: name, kind, accelerator, handler, and what decides whether the action
// is enabled and what state a toggle shows. CMainWindow creates every action from it and recomputes every
// action's enabled flag and toggle state from it in one place.
#pragma once

#include <span>

#include "adapter/CAdapterThread.h"

class CMainWindow;

struct ActionEntry {
    enum class Kind {
        Plain,      // a command
        ModeToggle, // a key edit mode; on while the window's key edit mode is `value`
        CmdToggle,  // an adapter command; on while the worker runs command `value`
        Setting,    // a boolean settings key of the same name
    };
    // When the action can be used.
    enum class Need {
        Always,
        DatabaseList, // view mode 0
        OpenDatabase, // view modes 1 and 2
        CutCopy,      // something to cut or copy where the focus is
        Paste,        // the clipboard holds what the focus can take
    };
    using Handler = void (CMainWindow::*)();

    const char* name;
    Kind kind;
    const char* accel; // nullptr: none
    // nullptr for a CmdToggle: the common rule (break the running command or start this one). nullptr for any
    // other kind: the work behind the action is not in this program yet and the action stays disabled.
    Handler handler;
    Need need = Need::Always;
    int value = 0;
    // Window actions ("win.") rather than the "main" group.
    bool window_scope = false;
    // False while the window cannot yet do the steps around the action's command (a file to choose, keys
    // to hand over or take back): the action stays disabled.
    bool ready = true;
};

// Every action of the window, in the order they are created.
std::span<const ActionEntry> main_window_actions();
