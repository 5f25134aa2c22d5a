#ifndef VELTRANE_APP_VELTRANE_H
#define VELTRANE_APP_VELTRANE_H

#include "ui_veltrane.h"

#include <QMainWindow>

class QTextCodec;

class Veltrane : public QMainWindow
{
    Q_OBJECT

public:
    explicit Veltrane(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~Veltrane() override;

public slots:
    void SLOT_OnTranslate();

private:
    // Each returns false, having changed nothing, when its result would not fit in memory.
    bool EncodeTextToHex();
    bool DecodeHexToText();
    QTextCodec *selectedCodec() const;

    Ui::VeltraneClass ui;
    // Whether the hex box holds what EncodeTextToHex() last wrote, unchanged since.
    bool hexIsOwnOutput = false;
};

#endif // VELTRANE_APP_VELTRANE_H
