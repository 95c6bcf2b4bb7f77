#include "CaptionLabel.h"

void CaptionLabel::setCaption(const QString &caption)
{
    caption_ = caption;
    setText(displayed(caption));
}

QString CaptionLabel::displayed(QString caption)
{
    return caption.replace(QChar(u'\r'), QChar(u'\n'));
}
