#include "GroupFrame.h"

#include <QPainter>
#include <QRadioButton>
#include <QStyle>

int GroupFrame::lineY() const
{
    return fontMetrics().height() / 2;
}

void GroupFrame::tabToCheckedOption()
{
    for (QRadioButton *b : findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly)) {
        const auto follow = [b](bool checked) { b->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus); };
        follow(b->isChecked());
        connect(b, &QRadioButton::toggled, b, follow);
    }
}

void GroupFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const QRect caption(CaptionLeft, 0, fm.horizontalAdvance(title()), fm.height());
    // The last line pixel before the caption and the first after it.
    const int gapLeft = caption.left() - CaptionGap - 1;
    const int gapRight = caption.right() + CaptionGap + 1;

    // Etched: a shadow rectangle, and a light one a pixel right and below.
    // Filled one-pixel strips rather than lines, so any scale stays crisp.
    const auto rectangle = [&](int offset, const QColor &colour) {
        const int left = offset, top = lineY() + offset;
        const int right = width() - 2 + offset, bottom = height() - 2 + offset;
        p.fillRect(QRect(QPoint(left, top), QPoint(gapLeft, top)), colour);
        p.fillRect(QRect(QPoint(gapRight, top), QPoint(right, top)), colour);
        p.fillRect(QRect(QPoint(left, top), QPoint(left, bottom)), colour);
        p.fillRect(QRect(QPoint(right, top), QPoint(right, bottom)), colour);
        p.fillRect(QRect(QPoint(left, bottom), QPoint(right, bottom)), colour);
    };
    rectangle(0, palette().color(QPalette::Dark));
    rectangle(1, palette().color(QPalette::Light));

    style()->drawItemText(&p, caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, palette(), isEnabled(),
                          title(), QPalette::WindowText);
}
