#include "veltrane.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Veltrane window(nullptr, {});
    window.show();
    return QApplication::exec();
}
