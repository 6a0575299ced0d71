// The program: prepares the process, shows the wizard and hands it the DFU API's events.
#include "DebugLog.h"
#include "DfuApi.h"
#include "MainWidget.h"
#include "startup/Lifecycle.h"
#include "startup/Startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (!prepareProcess(argc > 0 ? argv[0] : nullptr))
        return 0;

    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QApplication app(argc, argv);
    MainWidget widget;

    debugLogOpen();
    DFU_SetLogCallback(debugLogSink);
    DFU_Init(dfuEventCallback, &widget);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, &onAboutToQuit, Qt::DirectConnection);

    widget.setState(1);
    widget.show();
    return app.exec();
}
