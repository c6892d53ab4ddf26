#pragma once

#include <QFont>

class QWidget;

namespace wendmoor {

// The windows' typeface: "MS Sans Serif" where it exists, the system's sans-serif elsewhere.
[[nodiscard]] QFont msSansSerif(double points, bool bold = false);

// A button's back colour, written as &H00BBGGRR; it shows in the Fusion style the program uses.
void setBackColour(QWidget* button, unsigned bgr);

} // namespace wendmoor
