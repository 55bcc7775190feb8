// Colour of the status-bar lamp that shows the key-reading state machine: grey while idle, then from red
// towards green as the machine advances, dimmer while the adapter does not report full power.
#pragma once

struct LampColour {
    double red;
    double green;
    double blue;
};

// state: the reading state 0..6; power: 0 no answer, 1 low power answer, 2 full power answer.
LampColour com_mode_lamp_colour(int state, int power);
