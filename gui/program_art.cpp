#include "gui/program_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include "gui/dialog_templates.h"

namespace {

const QColor kDeepBlue(21, 67, 120);
const QColor kSkyBlue(64, 146, 214);
const QColor kSignal(255, 196, 61);

// A mast with three signal arcs on a blue tile: the simulated access server calling out.
void PaintEmblem(QPainter& painter, const QRectF& area) {
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(area.width(), area.height());
    const QRectF tile(area.center().x() - side / 2, area.center().y() - side / 2, side, side);

    QLinearGradient background(tile.topLeft(), tile.bottomRight());
    background.setColorAt(0, kSkyBlue);
    background.setColorAt(1, kDeepBlue);
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(tile, side * 0.18, side * 0.18);

    const QPointF top(tile.center().x(), tile.top() + side * 0.42);
    const qreal base = tile.bottom() - side * 0.14;
    QPainterPath mast;
    mast.moveTo(top);
    mast.lineTo(top.x() - side * 0.16, base);
    mast.lineTo(top.x() + side * 0.16, base);
    mast.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(mast);
    painter.setBrush(kSignal);
    painter.drawEllipse(top, side * 0.07, side * 0.07);

    painter.setBrush(Qt::NoBrush);
    for (int ring = 1; ring <= 3; ++ring) {
        const qreal radius = side * (0.09 + 0.09 * ring);
        QPen pen(ring == 1 ? kSignal : QColor(255, 255, 255, 255 - 55 * ring));
        pen.setWidthF(qMax(1.0, side * 0.045));
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        const QRectF circle(top.x() - radius, top.y() - radius, 2 * radius, 2 * radius);
        painter.drawArc(circle, 35 * 16, 110 * 16);   // above, to the right and left
    }
}

QPixmap EmblemPixmap(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    PaintEmblem(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128}) icon.addPixmap(EmblemPixmap(QSize(side, side)));
    return icon;
}

QPixmap AboutBitmap(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    PaintEmblem(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QPixmap BitmapResource(int resourceId, QSize size) {
    if (resourceId != kAboutBitmapResource || size.isEmpty()) return QPixmap();
    return AboutBitmap(size);
}
