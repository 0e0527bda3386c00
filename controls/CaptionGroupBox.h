#pragma once

// A group box whose caption is bold and drawn in the active-caption colour
// (the selection colour is the nearest the palette offers), while the controls
// inside keep the ordinary window-text font and colour.

#include <QGroupBox>

class CaptionGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit CaptionGroupBox(QWidget *parent = nullptr);
    explicit CaptionGroupBox(const QString &title, QWidget *parent = nullptr);

protected:
    void childEvent(QChildEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyCaptionLook();
    void keepChildLook(QWidget *child);
    bool m_applying = false;
};
