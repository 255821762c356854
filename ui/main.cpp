#include "printer_app.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    CPrinterApp app;
    if (!app.InitInstance()) return 0;
    return application.exec();
}
