#pragma once

#include <QPushButton>

// A picture button with a flat face in its palette's button colour and the
// icon centred on it; the style's buttons would shade the face instead.
// Pressed it darkens and the icon moves down-right by a pixel; with the
// focus its outline takes the highlight colour.
class FlatButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
