#ifndef VELTRANE_TESTS_WINDOWDRIVER_H
#define VELTRANE_TESTS_WINDOWDRIVER_H

#include "veltrane.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

// What a message box showed before the watcher closed it.
struct ShownMessage
{
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *parent = nullptr;
};

// Drives a real window the way a user would, and closes every modal message box it opens so
// that no test waits on one.
class WindowDriver
{
public:
    WindowDriver()
    {
        window.show();
        messageCloser.setInterval(5);
        QObject::connect(&messageCloser, &QTimer::timeout, [this] { closeMessage(); });
        messageCloser.start();
    }

    QPlainTextEdit *textBox() const { return child<QPlainTextEdit>("plainTextEdit_res"); }
    QPlainTextEdit *hexBox() const { return child<QPlainTextEdit>("plainTextEdit_hex"); }

    void choose(const QString &radioButtonName) const
    {
        auto *button = window.findChild<QRadioButton *>(radioButtonName);
        QVERIFY2(button, qPrintable(radioButtonName));
        button->click();
    }

    void clickTranslate() const
    {
        QTest::mouseClick(child<QPushButton>("pushButton"), Qt::LeftButton);
    }

    Veltrane window;
    QList<ShownMessage> messages;

private:
    template<typename T> T *child(const char *name) const
    {
        return window.findChild<T *>(QLatin1String(name));
    }

    void closeMessage()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        messages.append({ box->windowTitle(), box->text(), box->standardButtons(), box->icon(),
            box->parentWidget() });
        box->done(QMessageBox::Ok);
    }

    QTimer messageCloser;
};

#endif // VELTRANE_TESTS_WINDOWDRIVER_H
