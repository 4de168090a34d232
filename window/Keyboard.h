#pragma once
// The window's keys: Enter in a panel's text box presses that panel's main button, Enter on a
// focused button presses it, Delete in a list presses the list's delete button. Also gives every
// control an accessible name and the panels a Tab order that follows the reading order.

class frmMain;

void WireKeyboard(frmMain& window);
