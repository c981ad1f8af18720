#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rivetone"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Rivetone"));
    window.resize(800, 420);
    window.show();
    return app.exec();
}
