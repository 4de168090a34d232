#pragma once
// The application's icon, drawn in code so that the window and the installed PNG files show the
// very same picture: a blue tile holding a white envelope, with a green dot for "managed".

#include <QIcon>
#include <QImage>

QImage DrawAppIcon(int size);
QIcon AppIcon();
