#include "window/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

QImage DrawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);  // drawn on a 64-unit grid

    // The tile.
    QLinearGradient tile(0, 4, 0, 60);
    tile.setColorAt(0, QColor(0x3d, 0x7e, 0xdb));
    tile.setColorAt(1, QColor(0x1f, 0x4e, 0x9c));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 11, 11);

    // The envelope and its flap.
    const QRectF envelope(13, 20, 38, 26);
    p.setBrush(QColor(0xf7, 0xf9, 0xfc));
    p.drawRoundedRect(envelope, 3, 3);
    QPainterPath flap;
    flap.moveTo(envelope.left() + 1.5, envelope.top() + 2);
    flap.lineTo(envelope.center().x(), envelope.top() + 15);
    flap.lineTo(envelope.right() - 1.5, envelope.top() + 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x1f, 0x4e, 0x9c), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(flap);

    // The dot: a server that answers.
    p.setPen(QPen(QColor(0xf7, 0xf9, 0xfc), 2.5));
    p.setBrush(QColor(0x2e, 0xb8, 0x5c));
    p.drawEllipse(QPointF(48, 44), 8, 8);
    return image;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    return icon;
}
