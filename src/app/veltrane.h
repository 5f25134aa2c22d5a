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
    void EncodeTextToHex();
    void DecodeHexToText();
    QTextCodec *selectedCodec() const;

    Ui::VeltraneClass ui;
};

#endif // VELTRANE_APP_VELTRANE_H
