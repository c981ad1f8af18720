#include "app/RivetoneApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    RivetoneApp::configure(application);
    RivetoneApp rivetone;
    rivetone.showMainWindow();
    return application.exec();
}
