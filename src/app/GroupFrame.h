#pragma once

#include <QGroupBox>

// A group frame drawn the way the layout places its children: the caption
// sits in the frame's top line, which runs through the caption's middle, so
// the children's positions (relative to the frame's top-left corner) fall
// inside the box. The line is etched, the caption on the window's background.
//
// Its option buttons form one exclusive group (they share this parent) and
// one tab stop: Tab lands on the checked one and leaves the group next.
class GroupFrame : public QGroupBox
{
    Q_OBJECT
public:
    static constexpr int CaptionLeft = 8; // pixels from the frame's left edge
    static constexpr int CaptionGap = 2;  // line left open either side of it

    using QGroupBox::QGroupBox;

    // Where the top line runs, in pixels from the frame's top.
    int lineY() const;
    // Makes the checked option button the group's only tab stop, now and
    // whenever the selection changes. Call once the buttons exist.
    void tabToCheckedOption();

protected:
    void paintEvent(QPaintEvent *event) override;
};
