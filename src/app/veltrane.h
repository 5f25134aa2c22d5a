#ifndef VELTRANE_APP_VELTRANE_H
#define VELTRANE_APP_VELTRANE_H

// The meta-object compiler needs nothing from the generated form. Whether it could read it would
// depend on whether the form compiler had already run, and what it read changes its output, so
// two builds of the same sources would differ.
#ifndef Q_MOC_RUN
#include "ui_veltrane.h"
#endif

#include <QMainWindow>

class BoxReplacer;
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
    // Owned by their boxes.
    BoxReplacer *textReplacer = nullptr;
    BoxReplacer *hexReplacer = nullptr;
};

#endif // VELTRANE_APP_VELTRANE_H
