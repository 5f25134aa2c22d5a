#include "freedmemory.h"
#include "veltrane.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    keepFreedMemoryForReuse();
    QApplication app(argc, argv);
    Veltrane window(nullptr, {});
    window.show();
    return QApplication::exec();
}
