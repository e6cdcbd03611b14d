#pragma once
// The program's icon set: SVG pictures drawn for Propagon (shell/icons/),
// compiled into the program as resources.
//
// Each action icon carries a normal and a greyed picture: the greyed one is
// rendered from the same drawing (grey tones at reduced contrast), so a
// disabled Perform/Pause/Stop/Open/Parameter Settings button looks greyed
// in every style, not just in styles that grey icons themselves.

#include <QIcon>
#include <QString>

namespace Shell {

// "perform", "pause", ... (file names without ".svg"); a null icon for an
// unknown name.
QIcon ActionIcon(const QString& name);
// The application icon (window icon, about box, introduction window).
QIcon ApplicationIcon();
// A picture of the application icon at the given size in pixels.
QPixmap ApplicationPicture(int size);

} // namespace Shell
