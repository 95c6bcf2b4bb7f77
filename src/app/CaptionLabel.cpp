#include "CaptionLabel.h"

void CaptionLabel::setCaption(const QString &newCaption)
{
    caption_ = newCaption;
    setText(displayed(newCaption));
}

QString CaptionLabel::displayed(QString caption)
{
    return caption.replace(QChar(u'\r'), QChar(u'\n'));
}
