#include "app/InstanceChannel.h"
#include "app/RivetoneApp.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    RivetoneApp::configure(application);
    const QString settingsFile = DefaultsStore::standardFilePath();
    InstanceChannel channel(settingsFile);
    QString error;
    switch (channel.claimOrHandOver({application.arguments().mid(1), QDir::currentPath()}, &error)) {
    case InstanceChannel::Role::HandedOver:
        return 0;
    case InstanceChannel::Role::Failed:
        std::fprintf(stderr, "rivetone: %s\n", qPrintable(error));
        return 1;
    case InstanceChannel::Role::First:
        break;
    }
    RivetoneApp rivetone(settingsFile);
    QObject::connect(&channel, &InstanceChannel::handedOver, &channel,
                     [&rivetone](const InstanceChannel::Message& message) { rivetone.takeHandOver(message); });
    rivetone.showMainWindow();
    rivetone.startMediaControlsAfterFirstPaint();
    return application.exec();
}
