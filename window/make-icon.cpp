// Writes the application's icon as a PNG file of the given size, for the icon theme:
//   tazel-icon SIZE FILE
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "window/AppIcon.h"

int main(int argc, char** argv)
{
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size <= 0) {
        std::fprintf(stderr, "usage: tazel-icon SIZE FILE\n");
        return 2;
    }
    if (!DrawAppIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "tazel-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
