#include "freedmemory.h"
#include "veltrane.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    keepFreedMemoryForReuse();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 scales the whole window to the screen's scale factor, fractions included; Qt 5 does so
    // only when asked, before the application exists, and otherwise scales fonts alone.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
    QApplication app(argc, argv);
    Veltrane window(nullptr, {});
    window.show();
    return QApplication::exec();
}
