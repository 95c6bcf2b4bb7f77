#pragma once

#include <QLabel>

// A label whose caption keeps its carriage returns exactly as written, while
// showing each of them as a line break. Q_OBJECT lets findChild and
// qobject_cast find it by its own type.
class CaptionLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    void setCaption(const QString &newCaption);
    const QString &caption() const { return caption_; }

    // A caption as the toolkit shows it: \r becomes a line break.
    static QString displayed(QString caption);

private:
    QString caption_;
};
