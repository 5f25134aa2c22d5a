#ifndef VELTRANE_APP_VELTRANE_H
#define VELTRANE_APP_VELTRANE_H

#include <QMainWindow>

#include <memory>

class BoxReplacer;
class QTextCodec;

namespace Ui {
class VeltraneClass;
}

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

    std::unique_ptr<Ui::VeltraneClass> ui;
    // Owned by their boxes.
    BoxReplacer *textReplacer = nullptr;
    BoxReplacer *hexReplacer = nullptr;
};

#endif // VELTRANE_APP_VELTRANE_H
