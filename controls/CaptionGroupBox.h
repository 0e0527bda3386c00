#pragma once

// A group box drawn as on the suite's forms: the caption sits on the frame's
// top line, bold, in the active-caption colour (the selection colour is the
// nearest the palette offers). The controls inside keep the ordinary font and
// colours; they are placed for a frame whose line runs through the caption.

#include <QGroupBox>

class CaptionGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit CaptionGroupBox(QWidget *parent = nullptr);
    explicit CaptionGroupBox(const QString &title, QWidget *parent = nullptr);

    QFont captionFont() const;
    QColor captionColor() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};
