#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x5f, 0x8b));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);

    // A radio signal: a dot and three arcs above it.
    const QPointF centre(s * 0.5, s * 0.74);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, s * 0.07, s * 0.07);
    QPen arcPen(Qt::white, qMax(1.0, s * 0.07), Qt::SolidLine, Qt::RoundCap);
    painter.setPen(arcPen);
    painter.setBrush(Qt::NoBrush);
    for (int ring = 1; ring <= 3; ++ring) {
        const qreal r = s * 0.16 * ring;
        painter.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
    return pixmap;
}
} // namespace

QIcon appIcon()
{
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 40, 48, 64, 256})
        icon.addPixmap(drawIcon(size));
    return icon;
}
