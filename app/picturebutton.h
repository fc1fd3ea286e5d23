// Graphical command buttons: the caption drawn over the centre part of a picture of a fixed pixel
// size, and the window icon. The pictures are drawn in code, so the program ships no image files.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QPushButton>

class PictureButton : public QPushButton
{
    Q_OBJECT
public:
    PictureButton(const QString& caption, QSize pictureSize, QWidget* parent = nullptr);

    QSize pictureSize() const { return picture_.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture_;
};

// A picture of the given size: a soft vertical gradient with a glossy upper half and a thin frame.
QPixmap buttonPicture(QSize size);

// The program's 32 x 32 icon, in 16 colours: a magnifier over a stack of keyword lines. Named apart
// from QWidget::windowIcon(), which would hide it inside the window's own members.
QIcon programIcon();
