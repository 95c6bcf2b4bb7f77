#include "FlatButton.h"

#include <QPainter>

void FlatButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette &pal = palette();
    const bool down = isDown() || isChecked();
    const QColor face = pal.color(QPalette::Button);
    p.fillRect(rect(), down ? face.darker(115) : face);

    // A one-pixel outline inside the edge, in the colour of a frame's shadow.
    p.setPen(QPen(hasFocus() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Dark), 1));
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));

    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    const QPixmap pm = icon().pixmap(iconSize(), devicePixelRatioF(), mode);
    const QSize shown = pm.deviceIndependentSize().toSize();
    QPoint at((width() - shown.width()) / 2, (height() - shown.height()) / 2);
    if (down)
        at += QPoint(1, 1);
    p.drawPixmap(at, pm);
}
