// Drawing of the graphical buttons and the window icon.
#include "app/picturebutton.h"

#include <QLinearGradient>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

PictureButton::PictureButton(const QString& caption, QSize pictureSize, QWidget* parent)
    : QPushButton(caption, parent)
    , picture_(buttonPicture(pictureSize))
{
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    // The picture is larger than the button: show its centre part.
    const QPoint offset((picture_.width() - width()) / 2, (picture_.height() - height()) / 2);
    painter.drawPixmap(rect(), picture_, QRect(offset, size()));
    if (isDown()) {
        painter.fillRect(rect(), QColor(0, 0, 0, 40));
    }
    painter.setPen(QColor(80, 110, 160));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    if (isDown())
        option.rect.translate(1, 1);
    painter.drawControl(QStyle::CE_PushButtonLabel, option);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

QPixmap buttonPicture(QSize size)
{
    QPixmap pixmap(size);
    QPainter painter(&pixmap);
    QLinearGradient body(0, 0, 0, size.height());
    body.setColorAt(0.0, QColor(250, 252, 255));
    body.setColorAt(0.45, QColor(221, 233, 250));
    body.setColorAt(0.55, QColor(200, 218, 244));
    body.setColorAt(1.0, QColor(226, 236, 252));
    painter.fillRect(pixmap.rect(), body);
    painter.setPen(QColor(150, 175, 215));
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}

QIcon programIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Keyword lines on a page.
    painter.fillRect(QRect(3, 2, 20, 26), Qt::white);
    painter.setPen(Qt::darkGray);
    painter.drawRect(QRect(3, 2, 20, 26));
    painter.setPen(Qt::blue);
    for (int y = 7; y <= 23; y += 4)
        painter.drawLine(6, y, 19, y);
    // The magnifier.
    painter.setPen(QPen(Qt::darkBlue, 3));
    painter.setBrush(Qt::cyan);
    painter.drawEllipse(QRect(13, 11, 11, 11));
    painter.setPen(QPen(Qt::red, 4));
    painter.drawLine(23, 22, 29, 28);
    return QIcon(pixmap);
}
