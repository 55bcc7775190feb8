// The gaps of the window's and the dialogs' forms, the same everywhere so that they look alike.
#pragma once

inline constexpr int kLayoutMargin = 5;  // around the content of a box, grid or frame
inline constexpr int kLayoutSpacing = 5; // between neighbouring widgets of a box or grid
